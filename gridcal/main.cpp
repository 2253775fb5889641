// gridcal: calibrates a project's parameters against observed discharge at the
// basin outlet. The project is loaded once; parameter sets are evaluated in
// memory on threads (and, in the MPI build, over the processes of a job).
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

#include "calibration_run.hpp"
#include "free_format.hpp"
#include "input_error.hpp"

#ifdef HYDRO_WITH_MPI
#include <mpi.h>
#endif

namespace {

using namespace hydro;

const char* const kUsage =
    "Usage: gridcal --project DIR --observed FILE --parameters FILE --output DIR\n"
    "               [--objective kge|nse|lognse] [--algorithm dds|sce] [--evaluations N]\n"
    "               [--seed S] [--threads N] [--warmup N] [--mode 1|2]\n";

const char* const kHelp =
    "Calibrates the parameters of a gridrun project against observed discharge at the basin outlet.\n"
    "\n"
    "  --project DIR      the project (its root folder)\n"
    "  --observed FILE    observed discharge, CSV date,discharge (m3/s); dates YYYY-MM-DD,\n"
    "                     YYYY-MM-DD HH:MM or YYYY-MM-DDTHH:MM; empty, NA, NaN or negative: missing\n"
    "  --parameters FILE  CSV name,lower,upper[,initial]: control-file parameters (interflow_scale ...\n"
    "                     runoff_rain_threshold) and grid multipliers (conductivity_multiplier ...)\n"
    "  --output DIR       new or empty folder: the calibrated project, trace.csv, report.txt,\n"
    "                     best_flow.csv, and convergence.png, hydrograph.png when gnuplot is installed\n"
    "  --objective        kge (default), nse or lognse, maximised\n"
    "  --algorithm        dds (default) or sce (SCE-UA)\n"
    "  --evaluations N    model runs at most (default 500)\n"
    "  --seed S           seed of the search (default 1): the same seed gives the same result\n"
    "  --threads N        evaluations run at the same time (default: every processor)\n"
    "  --warmup N         steps left out of the scores at the start (default 0)\n"
    "  --mode 1|2         run mode (default 2)\n"
    "See docs/calibration.md.\n";

bool number(const char* text, long long low, long long high, long long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text, &end, 10);
    return *text && *end == '\0' && errno == 0 && out >= low && out <= high && std::strchr("+-", *text) == nullptr;
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
    auto usage = [&](const std::string& why) {
        if (rank == 0) std::fprintf(stderr, "gridcal: %s\n%s", why.c_str(), kUsage);
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            if (rank == 0) std::printf("%s\n%s", kUsage, kHelp);
            return 0;
        }
        if (a == "--version") {
            if (rank == 0) std::printf("gridcal %s\n", HYDRO_VERSION);
            return 0;
        }
        if (i + 1 >= argc) return usage("option " + a + " needs a value");
        const char* v = argv[++i];
        long long n = 0;
        if (a == "--project")
            cs.project = v;
        else if (a == "--observed")
            cs.observed = v;
        else if (a == "--parameters")
            cs.parameters = v;
        else if (a == "--output")
            cs.output = v;
        else if (a == "--objective") {
            if (!std::strcmp(v, "kge"))
                cs.objective = ObjectiveKind::kge;
            else if (!std::strcmp(v, "nse"))
                cs.objective = ObjectiveKind::nse;
            else if (!std::strcmp(v, "lognse"))
                cs.objective = ObjectiveKind::log_nse;
            else
                return usage("--objective takes kge, nse or lognse, not '" + std::string(v) + "'");
        } else if (a == "--algorithm") {
            if (!std::strcmp(v, "dds"))
                cs.sce = false;
            else if (!std::strcmp(v, "sce"))
                cs.sce = true;
            else
                return usage("--algorithm takes dds or sce, not '" + std::string(v) + "'");
        } else if (a == "--evaluations") {
            if (!number(v, 1, 100000000, n))
                return usage("--evaluations takes a whole number from 1, not '" + std::string(v) + "'");
            cs.evaluations = static_cast<std::size_t>(n);
        } else if (a == "--seed") {
            if (!number(v, 0, INT64_MAX, n))
                return usage("--seed takes a whole number from 0, not '" + std::string(v) + "'");
            cs.seed = static_cast<uint64_t>(n);
        } else if (a == "--threads") {
            if (!number(v, 1, 1024, n))
                return usage("--threads takes a whole number from 1 to 1024, not '" + std::string(v) + "'");
            cs.threads = static_cast<int>(n);
        } else if (a == "--warmup") {
            if (!number(v, 0, INT32_MAX, n))
                return usage("--warmup takes a number of steps from 0, not '" + std::string(v) + "'");
            cs.warmup = static_cast<std::size_t>(n);
        } else if (a == "--mode") {
            if (!number(v, 1, 2, n)) return usage("--mode takes 1 or 2, not '" + std::string(v) + "'");
            cs.mode = static_cast<int32_t>(n);
        } else {
            return usage("unknown option " + a);
        }
    }
    if (cs.project.empty() || cs.observed.empty() || cs.parameters.empty() || cs.output.empty())
        return usage("--project, --observed, --parameters and --output are needed");
    try {
#ifdef HYDRO_WITH_MPI
        auto evaluation = mpi_evaluation(cs.threads);
#else
        auto evaluation = threaded_evaluation(cs.threads);
#endif
        run_calibration(cs, *evaluation, stderr);
        if (rank == 0) std::printf("gridcal: done; see %s/report.txt\n", cs.output.c_str());
        return 0;
    } catch (const std::exception& e) {
        if (rank == 0) std::fprintf(stderr, "gridcal: error: %s\n", e.what());
        return 1;
    }
}
