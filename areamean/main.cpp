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
#include "input_error.hpp"
#include "project_run.hpp"
#include "project_paths.hpp"
#include "result_set.hpp"
#include "subbasin_series.hpp"
#include "thiessen.hpp"

namespace {

// Processor time (user plus system) of the process so far, in seconds.
float processor_seconds() { return static_cast<float>(std::clock()) / static_cast<float>(CLOCKS_PER_SEC); }

struct Options {
    hydro::ProjectRunOptions project;
    bool csv = false;
    bool quiet = false;
};

const hydro::CommandLineSpec kCommandLine{
    "areamean", "Usage: areamean [--project DIR] [--csv] [--quiet] [--no-wait] [--recover]\n",
    "Averages the station series p.txt, pet.txt and t.txt over every subbasin by the Thiessen polygon grids and "
    "writes Subbasin_P.txt, Subbasin_E.txt and Subbasin_T.txt. Without options it runs from a working folder two "
    "levels below the project root.",
    ""};

std::vector<hydro::CommandOption> option_table(Options& o) {
    std::vector<hydro::CommandOption> t = hydro::project_run_options(o.project);
    t.insert(t.begin() + 1,
             {{"--csv", "",
               "also write Subbasin_P.csv, Subbasin_E.csv and Subbasin_T.csv: a column time (ISO 8601), then one "
               "per subbasin, values in full precision",
               [&o](const hydro::OptionValues&) { o.csv = true; }},
              {"--quiet", "", "no banner and no run-time line; only errors are printed",
               [&o](const hydro::OptionValues&) { o.quiet = true; }}});
    return t;
}

int run(const Options& options) {
    using namespace hydro;
    const ProjectPaths& paths = options.project.paths;
    const float cpu_time_start = processor_seconds();
    const ProjectRun project(options.project, "areamean");
    if (const int status = project.answer_recover_only(); status >= 0) return status;
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
    ThiessenRecords records(paths, sizes);
    const std::vector<std::string> overflows = write_subbasin_series(paths, records, sizes.n_subbasins, options.csv);
    const float cpu_time_end = processor_seconds();
    if (!options.quiet) std::printf(" Run-time was: %d seconds.\n \n", static_cast<int>(cpu_time_end - cpu_time_start));
    if (finish_standard_output("areamean") != 0) return 1;
    for (const std::string& w : overflows) std::fprintf(stderr, "areamean: warning: %s\n", printable(w).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    hydro::read_command_line(kCommandLine, option_table(options), argc, argv);
    return hydro::run_reporting_errors("areamean", [&options] { return run(options); });
}
