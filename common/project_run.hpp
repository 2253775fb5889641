// What every run over a project shares: the options that say where the
// project is and how to meet another run, the start (the root checked, the
// output folder locked, the results of a stopped run completed) and the
// last word on an error.
#pragma once

#include <functional>
#include <vector>

#include "command_options.hpp"
#include "output_lock.hpp"
#include "project_paths.hpp"
#include "result_set.hpp"

namespace hydro {

struct ProjectRunOptions {
    ProjectPaths paths;         // the root from --project, or the default ../..
    bool wait = true;           // --no-wait: refuse instead of waiting for another run
    bool recover_only = false;  // --recover: only complete a stopped run's results
};

// The table rows of --project, --no-wait and --recover.
std::vector<CommandOption> project_run_options(ProjectRunOptions& o);

// Holds the project's output folder for this run from construction to
// destruction.
class ProjectRun {
  public:
    ProjectRun(const ProjectRunOptions& options, const char* program);

    // With --recover: says on standard output what was completed and returns
    // the exit status; otherwise -1 (the run goes on).
    int answer_recover_only() const;

  private:
    const ProjectRunOptions& options_;
    const char* program_;
    OutputFolderLock lock_;
    RecoveryReport recovered_;
};

// Runs `body` and returns its status; an error becomes one line
// "PROGRAM: error: ..." on standard error (after what standard output holds)
// and status 1. A write to a file beyond the size limit counts as an error.
int run_reporting_errors(const char* program, const std::function<int()>& body);

// Flushes standard output; a failure (a full disk, a closed pipe) is reported
// as PROGRAM's error. Returns the exit status.
int finish_standard_output(const char* program);

}  // namespace hydro
