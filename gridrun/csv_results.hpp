// q_tot.csv, balance.csv and (run mode 2 with reported subbasins) q_sub.csv:
// the series of the text files as comma-separated values, beside them in the
// output folder. First column "time" (ISO 8601), then the text file's own
// columns under its own names (q_sub.csv: the reported subbasin numbers),
// every value in the shortest form that reads back as the same float. The
// files are written as the steps arrive, into the caller's result set, which
// replaces the earlier results when the run has completed.
#pragma once

#include <string>

#include "project_paths.hpp"
#include "result_set.hpp"
#include "result_sink.hpp"

namespace hydro {

class CsvResults : public ResultSink {
  public:
    CsvResults(const ProjectPaths& paths, ResultSet& files);
    void begin(const RunInfo& run) override;
    void step(const StepResult& s) override;
    void end() override;

  private:
    ProjectPaths paths_;
    bool with_temperature_ = false;
    ResultSet& files_;
    ResultFile* q_tot_ = nullptr;
    ResultFile* balance_ = nullptr;
    ResultFile* q_sub_ = nullptr;
    std::string line_;
};

}  // namespace hydro
