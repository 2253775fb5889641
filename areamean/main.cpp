// areamean: mean areal precipitation, potential evapotranspiration and
// temperature of every subbasin and time step by the Thiessen polygon
// method, from the station series and the station grids of a project.
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>

#include "ascii_grid.hpp"
#include "counting.hpp"
#include "project_paths.hpp"
#include "subbasin_series.hpp"
#include "thiessen.hpp"

namespace {

// Processor time (user plus system) of the process so far, in seconds.
float processor_seconds() { return static_cast<float>(std::clock()) / static_cast<float>(CLOCKS_PER_SEC); }

}  // namespace

int main() {
    using namespace hydro;
    try {
        const float cpu_time_start = processor_seconds();
        ProjectPaths paths;
        AreaMeanSizes sizes;
        const GridGeometry geometry = read_grid_geometry(paths.grid("watershed.asc"));
        sizes.n_cols = geometry.n_cols;
        sizes.n_rows = geometry.n_rows;
        std::fputs(" \n Mean areal precipitation, evapotranspiration ( and Temperature) over subbasins!\n \n \n"
                   "                        by applying Thiessen polygon method\n \n \n \n \n"
                   " Last up-date: Feb. 2009\n",
                   stdout);
        count_subbasins_and_stations(paths, sizes);
        const SubbasinMeans means = thiessen_means(paths, sizes);
        write_subbasin_series(paths, means, sizes.n_subbasins);
        const float cpu_time_end = processor_seconds();
        std::printf(" Run-time was: %d seconds.\n \n", static_cast<int>(cpu_time_end - cpu_time_start));
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "areamean: error: %s\n", e.what());
        return 1;
    }
}
