// The text results of a run in the project's output folder: q_tot.txt,
// balance.txt, q_sub.txt (run mode 2 with reported subbasins) and the maps.
// Records are written as they become complete, to temporary files that
// replace the earlier results only when the run has ended; a run that fails
// leaves the earlier results as they were.
#pragma once

#include <memory>
#include <string>

#include "project_paths.hpp"
#include "result_set.hpp"
#include "result_sink.hpp"

namespace hydro {

class TextResults : public ResultSink {
public:
    explicit TextResults(ProjectPaths paths) : paths_(std::move(paths)) {}
    void begin(const RunInfo& info) override;
    void step(const StepResult& r) override;
    void map(const MapResult& m) override;
    void end() override;

private:
    ProjectPaths paths_;
    RunInfo info_;
    std::unique_ptr<ResultSet> files_;
    ResultFile* q_tot_ = nullptr;
    ResultFile* balance_ = nullptr;
    ResultFile* q_sub_ = nullptr;
    std::string line_;
};

}  // namespace hydro
