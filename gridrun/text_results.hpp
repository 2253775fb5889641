// The text results of a run in the project's output folder: q_tot.txt,
// balance.txt, q_sub.txt (run mode 2 with reported subbasins) and the maps.
// Records are written as they become complete, to temporary files that
// replace the earlier results only when the run has ended; a run that fails
// leaves the earlier results as they were.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "project_paths.hpp"
#include "result_set.hpp"
#include "result_sink.hpp"

namespace hydro {

class TextResults : public ResultSink {
  public:
    // With `shared_set` the files join that set, which the caller commits
    // together with the other formats' files; without, the run's end commits.
    explicit TextResults(ProjectPaths paths, ResultSet* shared_set = nullptr)
        : paths_(std::move(paths)), shared_set_(shared_set) {}
    // The coordinate system (well-known text) written as a ".prj" beside every map.
    void set_map_projection(std::string wkt) { map_projection_ = std::move(wkt); }
    void begin(const RunInfo& info) override;
    void step(const StepResult& r) override;
    void map(const MapResult& m) override;
    void end() override;

    // One line per result file that holds a value too wide for its field
    // (written as asterisks): the file, the column and the first record.
    const std::vector<std::string>& overflow_warnings() const { return overflow_warnings_; }

  private:
    // Finds the first field of `line` (after the four date fields) filled with
    // asterisks and notes it once per file.
    void watch_overflow(int file, const std::string& line, const StepResult& r);

    ProjectPaths paths_;
    RunInfo info_;
    ResultSet* shared_set_ = nullptr;
    std::string map_projection_;
    std::unique_ptr<ResultSet> own_set_;
    ResultSet* files_ = nullptr;
    ResultFile* q_tot_ = nullptr;
    ResultFile* balance_ = nullptr;
    ResultFile* q_sub_ = nullptr;
    std::string line_;
    std::vector<std::string> overflow_warnings_;
    bool overflow_noted_[3] = {false, false, false};
};

}  // namespace hydro
