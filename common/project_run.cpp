#include "project_run.hpp"

#include <cstdio>
#include <exception>
#include <new>

#include "input_error.hpp"
#include "project_check.hpp"

namespace hydro {

std::vector<CommandOption> project_run_options(ProjectRunOptions& o) {
    return {
        {"--project", "DIR", "the project root (holding arcview/ and model/) instead of ../..",
         [&o](const OptionValues& v) { o.paths.root = project_root_argument(v[0]); }},
        {"--no-wait", "",
         "refuse to run while another run (gridrun or areamean) writes to the project's output folder, instead of "
         "waiting for it",
         [&o](const OptionValues&) { o.wait = false; }},
        {"--recover", "",
         "only complete the results of a run that was stopped while it replaced them (every run does this first), "
         "then exit",
         [&o](const OptionValues&) { o.recover_only = true; }},
    };
}

namespace {

const ProjectRunOptions& checked(const ProjectRunOptions& options) {
    check_project_root(options.paths, options.paths.root == ProjectPaths{}.root ? "" : "--project");
    return options;
}

}  // namespace

ProjectRun::ProjectRun(const ProjectRunOptions& options, const char* program)
    : options_(checked(options)),
      program_(program),
      lock_(options.paths.output_folder(), options.wait, program),
      recovered_(recover_result_sets(options.paths.output_folder())) {}

int ProjectRun::answer_recover_only() const {
    if (!options_.recover_only) return -1;
    std::printf("%s: %s\n", program_, describe_recovery(recovered_, options_.paths.output_folder()).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int run_reporting_errors(const char* program, const std::function<int()>& body) {
    treat_file_size_limit_as_write_error();
    try {
        return body();
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "%s: error: not enough memory for the run's arrays: check the sizes the inputs ask "
                     "for (the grids' rows and columns, the number of steps, and in input.txt the map periods)\n",
                     program);
        return 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: error: %s\n", program, printable(e.what()).c_str());
        return 1;
    }
}

int finish_standard_output(const char* program) {
    if (std::fflush(stdout) == 0) return 0;
    std::fprintf(stderr, "%s: error: cannot write to standard output\n", program);
    return 1;
}

}  // namespace hydro
