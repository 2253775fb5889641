#include "counting.hpp"

#include <algorithm>
#include <vector>

#include "ascii_grid.hpp"
#include "free_format.hpp"
#include "input_error.hpp"
#include "station_series.hpp"

namespace hydro {

void count_subbasins_and_stations(const ProjectPaths& paths, AreaMeanSizes& s) {
    FreeFormatReader watershed(paths.grid("watershed.asc"));
    FreeFormatReader zone_p(paths.grid("thiessen_p.asc"));
    FreeFormatReader zone_e(paths.grid("thiessen_e.asc"));
    FreeFormatReader zone_t(paths.grid("thiessen_t.asc"));
    FreeFormatReader* grids[4] = {&watershed, &zone_p, &zone_e, &zone_t};
    for (FreeFormatReader* g : grids) {
        skip_grid_header(*g);
        check_grid_fits(*g, s.n_rows, s.n_cols);
    }
    const std::size_t n = static_cast<std::size_t>(s.n_cols);
    std::vector<int32_t> row[4];
    for (auto& r : row) r.resize(n);
    s.n_subbasins = s.n_stations_p = s.n_stations_e = s.n_stations_t = 0;
    for (int32_t r = 1; r <= s.n_rows; ++r) {
        for (int g = 0; g < 4; ++g) read_int_row(*grids[g], s.n_cols, r, row[g].data());
        for (std::size_t c = 0; c < n; ++c) {
            if (row[0][c] <= 0) continue;
            s.n_subbasins = std::max(s.n_subbasins, row[0][c]);
            s.n_stations_p = std::max(s.n_stations_p, row[1][c]);
            s.n_stations_e = std::max(s.n_stations_e, row[2][c]);
            s.n_stations_t = std::max(s.n_stations_t, row[3][c]);
        }
    }
    check_subbasin_numbering(paths.grid("watershed.asc"), s.n_subbasins, s.n_rows, s.n_cols);
    s.n_steps = count_series_records(paths.input("p.txt"), kMaxAreaMeanSteps);
}

}  // namespace hydro
