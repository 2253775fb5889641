// gridcal: calibrates a project's parameters against observed discharge at the
// basin outlet. The project is loaded once; parameter sets are evaluated in
// memory on threads (and, in the MPI build, gridcal_mpi, over the processes of
// a job).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "calibration_run.hpp"
#include "command_options.hpp"
#include "input_error.hpp"

#ifdef HYDRO_WITH_MPI
#include <mpi.h>
#endif

namespace {

using namespace hydro;

#ifdef HYDRO_WITH_MPI
constexpr const char* kProgram = "gridcal_mpi";
#else
constexpr const char* kProgram = "gridcal";
#endif

const CommandLineSpec kCommandLine{
    kProgram,
#ifdef HYDRO_WITH_MPI
    "Usage: mpirun -n P gridcal_mpi --project DIR --observed FILE --parameters FILE --output DIR\n"
    "               [--objective kge|nse|lognse] [--algorithm dds|sce] [--evaluations N]\n"
    "               [--seed S] [--threads N] [--warmup N] [--mode 1|2]\n",
#else
    "Usage: gridcal --project DIR --observed FILE --parameters FILE --output DIR\n"
    "               [--objective kge|nse|lognse] [--algorithm dds|sce] [--evaluations N]\n"
    "               [--seed S] [--threads N] [--warmup N] [--mode 1|2]\n",
#endif
    "Calibrates the parameters of a gridrun project against observed discharge at the basin outlet.", "",
    "See docs/calibration.md.\n"};

// A whole number of `what` in [least, most] for `option`.
template <class T>
std::function<void(const OptionValues&)> count_into(const char* option, long long least, long long most,
                                                    const char* what, T& target) {
    return [=, &target](const OptionValues& v) {
        long long n = 0;
        if (!parse_count(v[0], least, most, n))
            throw UsageError(std::string(option) + " takes " + what + ", not '" + v[0] + "'");
        target = static_cast<T>(n);
    };
}

std::vector<CommandOption> option_table(CalibrationSettings& cs) {
    return {
        {"--project", "DIR", "the project (its root folder)", [&cs](const OptionValues& v) { cs.project = v[0]; }},
        {"--observed", "FILE",
         "observed discharge, CSV date,discharge (m3/s); dates YYYY-MM-DD, YYYY-MM-DD HH:MM or YYYY-MM-DDTHH:MM; "
         "empty, NA, NaN or negative: missing",
         [&cs](const OptionValues& v) { cs.observed = v[0]; }},
        {"--parameters", "FILE",
         "CSV name,lower,upper[,initial]: control-file parameters (interflow_scale ... runoff_rain_threshold) and "
         "grid multipliers (conductivity_multiplier ...)",
         [&cs](const OptionValues& v) { cs.parameters = v[0]; }},
        {"--output", "DIR",
         "new or empty folder: the calibrated project, trace.csv, report.txt, best_flow.csv, and convergence.png, "
         "hydrograph.png when gnuplot is installed",
         [&cs](const OptionValues& v) { cs.output = v[0]; }},
        {"--objective", "NAME", "kge (default), nse or lognse, maximised",
         [&cs](const OptionValues& v) {
             if (v[0] == "kge")
                 cs.objective = ObjectiveKind::kge;
             else if (v[0] == "nse")
                 cs.objective = ObjectiveKind::nse;
             else if (v[0] == "lognse")
                 cs.objective = ObjectiveKind::log_nse;
             else
                 throw UsageError("--objective takes kge, nse or lognse, not '" + v[0] + "'");
         }},
        {"--algorithm", "NAME", "dds (default) or sce (SCE-UA)",
         [&cs](const OptionValues& v) {
             if (v[0] != "dds" && v[0] != "sce") throw UsageError("--algorithm takes dds or sce, not '" + v[0] + "'");
             cs.sce = v[0] == "sce";
         }},
        {"--evaluations", "N", "model runs at most (default 500)",
         count_into("--evaluations", 1, 100000000, "a whole number from 1", cs.evaluations)},
        {"--seed", "S", "seed of the search (default 1): the same seed gives the same result",
         count_into("--seed", 0, INT64_MAX, "a whole number from 0", cs.seed)},
        {"--threads", "N", "evaluations run at the same time (default: every processor)",
         count_into("--threads", 1, 1024, "a whole number from 1 to 1024", cs.threads)},
        {"--warmup", "N", "steps left out of the scores at the start (default 0)",
         count_into("--warmup", 0, INT32_MAX, "a number of steps from 0", cs.warmup)},
        {"--mode", "1|2", "run mode (default 2)", count_into("--mode", 1, 2, "1 or 2", cs.mode)},
    };
}

// The settings of the command line; on --help, --version or a usage error
// the exit status (what to say is said on the first process only).
std::optional<int> read_settings(int argc, char** argv, int rank, CalibrationSettings& cs) {
    try {
        const CommandRequest request =
            parse_command_line(kCommandLine, option_table(cs), std::vector<std::string>(argv + 1, argv + argc));
        if (request != CommandRequest::run) {
            if (rank == 0)
                std::fputs((request == CommandRequest::help ? help_text(kCommandLine, option_table(cs))
                                                            : version_text(kCommandLine))
                               .c_str(),
                           stdout);
            return 0;
        }
        if (cs.project.empty() || cs.observed.empty() || cs.parameters.empty() || cs.output.empty())
            throw UsageError("--project, --observed, --parameters and --output are needed");
        return std::nullopt;
    } catch (const UsageError& e) {
        if (rank == 0) std::fputs(usage_error_text(kCommandLine, e.what()).c_str(), stderr);
        return 2;
    }
}

}  // namespace

int main(int argc, char** argv) {
    int rank = 0;
#ifdef HYDRO_WITH_MPI
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    struct Finalize {
        ~Finalize() { MPI_Finalize(); }
    } finalize;
    const int default_threads = 1;
#else
    const int default_threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
#endif
    CalibrationSettings cs;
    cs.threads = default_threads;
    if (const std::optional<int> status = read_settings(argc, argv, rank, cs)) return *status;
    try {
#ifdef HYDRO_WITH_MPI
        auto evaluation = mpi_evaluation(cs.threads);
#else
        auto evaluation = threaded_evaluation(cs.threads);
#endif
        run_calibration(cs, *evaluation, stderr);
        if (rank == 0) std::printf("%s: done; see %s/report.txt\n", kProgram, cs.output.c_str());
        return 0;
    } catch (const std::exception& e) {
        if (rank == 0) std::fprintf(stderr, "%s: error: %s\n", kProgram, e.what());
        return 1;
    }
}
