#include "dimension_scan.hpp"

#include <algorithm>
#include <limits>
#include <vector>

#include "ascii_grid.hpp"
#include "free_format.hpp"
#include "input_error.hpp"
#include "side_by_side.hpp"
#include "station_series.hpp"

namespace hydro {

namespace {

// Largest value of an integer grid over every cell, from 0.
int32_t largest_value(const ProjectPaths& paths, const char* name, int32_t n_rows, int32_t n_cols) {
    FreeFormatReader in(paths.grid(name));
    skip_grid_header(in);
    check_grid_fits(in, n_rows, n_cols);
    std::vector<int32_t> row(static_cast<std::size_t>(n_cols));
    int32_t largest = 0;
    for (int32_t r = 1; r <= n_rows; ++r) {
        read_int_row(in, n_cols, r, row.data());
        for (int32_t v : row) largest = std::max(largest, v);
    }
    return largest;
}

// Lines of the cell response file, and the largest last index on them.
void scan_cell_responses(const std::string& path, int32_t& n_cells, int32_t& uh_length) {
    FreeFormatReader in(path);
    n_cells = 0;
    uh_length = 0;
    for (;;) {
        std::string_view first, last;
        in.begin_read();
        if (!in.try_token(first) || !in.try_token(last)) break;
        int32_t l;
        if (parse_int32(last, l)) uh_length = std::max(uh_length, l);
        if (n_cells == std::numeric_limits<int32_t>::max()) in.fail("fewer response lines", "too many");
        ++n_cells;
    }
}

}  // namespace

void scan_dimensions(const ProjectPaths& paths, RunSizes& s) {
    ControlFileSizes c;
    // The files are scanned at the same time, each part filling its own
    // sizes; the first part in this order that fails is the one reported.
    run_side_by_side({
        [&] {
            s.n_subbasins = largest_value(paths, "watershed.asc", s.n_rows, s.n_cols);
            check_subbasin_numbering(paths.grid("watershed.asc"), s.n_subbasins, s.n_rows, s.n_cols);
        },
        [&] { s.n_stations_p = largest_value(paths, "thiessen_p.asc", s.n_rows, s.n_cols); },
        [&] { s.n_stations_e = largest_value(paths, "thiessen_e.asc", s.n_rows, s.n_cols); },
        [&] { s.n_steps = count_series_records(paths.input("p.txt"), std::numeric_limits<int32_t>::max()); },
        [&] {
            scan_cell_responses(paths.output("uh_cell_h.txt"), s.n_cells, s.uh_length);
            if (s.n_cells == 0)
                throw InputError(paths.output("uh_cell_h.txt"), 0, "one response line per simulated cell", "no line");
        },
        [&] {
            // Temperature stations are counted where temperature is used.
            c = scan_control_file(paths.input("input.txt"));
            s.n_stations_t = c.degree_day_factor >= 0 ? largest_value(paths, "thiessen_t.asc", s.n_rows, s.n_cols) : 0;
        },
    });
    s.temperature_used = c.degree_day_factor >= 0;
    s.n_reported_subbasins = c.n_reported_subbasins;
    s.max_period_slots = 0;
    for (int k = 0; k < kSnapshotKinds; ++k) {
        s.period_slots[k] = c.n_periods[k] + 1;
        s.max_period_slots = std::max(s.max_period_slots, s.period_slots[k]);
    }
}

}  // namespace hydro
