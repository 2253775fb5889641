// areamean: mean areal precipitation, potential evapotranspiration and
// temperature of every subbasin and time step by the Thiessen polygon
// method, from the station series and the station grids of a project.
#include <cstdio>
#include <new>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>

#include "ascii_grid.hpp"
#include "counting.hpp"
#include "project_check.hpp"
#include "input_error.hpp"
#include "output_lock.hpp"
#include "project_paths.hpp"
#include "result_set.hpp"
#include "subbasin_series.hpp"
#include "thiessen.hpp"

namespace {

const char* const kUsage =
    "Usage: areamean [--project DIR] [--csv] [--quiet] [--no-wait] [--recover]\n"
    "\n"
    "Averages the station series p.txt, pet.txt and t.txt over every subbasin by the\n"
    "Thiessen polygon grids and writes Subbasin_P.txt, Subbasin_E.txt and Subbasin_T.txt.\n"
    "Without options it runs from a working folder two levels below the project root.\n"
    "\n"
    "  --project DIR  the project root (holding arcview/ and model/) instead of ../..\n"
    "  --csv          also write Subbasin_P.csv, Subbasin_E.csv and Subbasin_T.csv: a column\n"
    "                 time (ISO 8601), then one per subbasin, values in full precision\n"
    "  --quiet        no banner and no run-time line; only errors are printed\n"
    "  --no-wait      refuse to run while another run (gridrun or areamean) writes to\n"
    "                 the project's output folder, instead of waiting for it\n"
    "  --recover      only complete the results of a run that was stopped while it\n"
    "                 replaced them (every run does this first), then exit\n"
    "  --help         this text\n"
    "  --version      the program's version\n";

// Processor time (user plus system) of the process so far, in seconds.
float processor_seconds() { return static_cast<float>(std::clock()) / static_cast<float>(CLOCKS_PER_SEC); }

[[noreturn]] void usage_error(const std::string& what) {
    std::fprintf(stderr, "areamean: %s\n\n%s", hydro::printable(what).c_str(), kUsage);
    std::exit(2);
}

struct Options {
    hydro::ProjectPaths paths;
    bool csv = false;
    bool quiet = false;
    bool wait = true;
    bool recover_only = false;
};

Options parse_options(int argc, char** argv) {
    Options o;
    hydro::ProjectPaths& paths = o.paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--version") {
            std::printf("areamean %s\n", HYDRO_VERSION);
            std::exit(0);
        } else if (arg == "--project") {
            if (i + 1 >= argc) usage_error("--project needs a value");
            paths.root = argv[++i];
        } else if (arg.rfind("--project=", 0) == 0) {
            paths.root = arg.substr(10);
        } else if (arg == "--csv") {
            o.csv = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--no-wait") {
            o.wait = false;
        } else if (arg == "--recover") {
            o.recover_only = true;
        } else {
            usage_error("unknown option \"" + hydro::printable(arg) + "\"");
        }
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace hydro;
    const Options options = parse_options(argc, argv);
    const ProjectPaths& paths = options.paths;
    treat_file_size_limit_as_write_error();
    try {
        const float cpu_time_start = processor_seconds();
        check_project_root(paths, paths.root == ProjectPaths{}.root ? "" : "--project");
        const OutputFolderLock lock(paths.output_folder(), options.wait, "areamean");
        const RecoveryReport recovered = recover_result_sets(paths.output_folder());
        if (options.recover_only) {
            std::printf("areamean: %s\n", describe_recovery(recovered, paths.output_folder()).c_str());
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        AreaMeanSizes sizes;
        const GridGeometry geometry = read_grid_geometry(paths.grid("watershed.asc"));
        sizes.n_cols = geometry.n_cols;
        sizes.n_rows = geometry.n_rows;
        if (!options.quiet)
            std::fputs(
                " \n Mean areal precipitation, evapotranspiration ( and Temperature) over subbasins!\n \n \n"
                "                        by applying Thiessen polygon method\n \n \n \n \n"
                " Last up-date: Feb. 2009\n",
                stdout);
        count_subbasins_and_stations(paths, sizes);
        const SubbasinMeans means = thiessen_means(paths, sizes);
        const std::vector<std::string> overflows = write_subbasin_series(paths, means, sizes.n_subbasins, options.csv);
        const float cpu_time_end = processor_seconds();
        if (!options.quiet)
            std::printf(" Run-time was: %d seconds.\n \n", static_cast<int>(cpu_time_end - cpu_time_start));
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "areamean: error: cannot write to standard output\n");
            return 1;
        }
        for (const std::string& w : overflows) std::fprintf(stderr, "areamean: warning: %s\n", printable(w).c_str());
        return 0;
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "areamean: error: not enough memory for the run's arrays: check the sizes the inputs ask "
                     "for (the grids' rows and columns, the number of steps, and in input.txt the map periods)\n");
        return 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "areamean: error: %s\n", printable(e.what()).c_str());
        return 1;
    }
}
