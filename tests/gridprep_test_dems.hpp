// Small synthetic elevation models with known drainage, for the gridprep tests.
#pragma once

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "dem_grid.hpp"
#include "flow_direction.hpp"
#include "synthetic_terrain.hpp"

namespace gridprep_testing {

using gridprep::Raster;

// A raster of n_rows x n_cols cells of size `cell` whose elevation is z(row, col);
// a NaN elevation makes a cell without data.
inline Raster make_dem(int n_rows, int n_cols, double cell, const std::function<double(int, int)>& z) {
    Raster r;
    r.geometry.n_rows = n_rows;
    r.geometry.n_cols = n_cols;
    r.geometry.cell_size = cell;
    r.geometry.xll = 1000.0;
    r.geometry.yll = 5000.0;
    r.value.assign(r.geometry.cells(), 0.0);
    r.has_data.assign(r.geometry.cells(), 0);
    for (int row = 0; row < n_rows; ++row)
        for (int col = 0; col < n_cols; ++col) {
            const double v = z(row, col);
            const std::size_t i = r.geometry.index(row, col);
            if (!std::isnan(v)) r.value[i] = v, r.has_data[i] = 1;
        }
    return r;
}

// A plane falling towards the south (increasing row) by `drop` per cell.
inline Raster tilted_plane(int n_rows = 8, int n_cols = 6, double drop = 1.0) {
    return make_dem(n_rows, n_cols, 10.0, [=](int r, int) { return 100.0 - drop * r; });
}

// A V-shaped valley: both sides fall towards the middle column, the valley
// floor falls towards the south; the whole grid drains out at the bottom of
// the middle column.
inline Raster v_valley(int n_rows = 12, int n_cols = 9) {
    const int mid = n_cols / 2;
    return make_dem(n_rows, n_cols, 10.0,
                    [=](int r, int c) { return 5.0 * std::abs(c - mid) + 2.0 * (n_rows - 1 - r) + 50.0; });
}

// The V-shaped valley with a pit dug into its floor and a flat terrace.
inline Raster v_valley_with_pit(int n_rows = 12, int n_cols = 9) {
    const int mid = n_cols / 2;
    return make_dem(n_rows, n_cols, 10.0, [=](int r, int c) {
        if (r == n_rows / 2 && c == mid) return 40.0;                   // the pit, below everything around
        if (r >= 2 && r <= 4 && c >= mid - 2 && c <= mid) return 70.0;  // a flat terrace
        return 5.0 * std::abs(c - mid) + 2.0 * (n_rows - 1 - r) + 50.0;
    });
}

// The spiral channel of synthetic_terrain.hpp on 10 m cells. n odd.
inline Raster spiral_dem(int n) {
    const std::vector<double> z = synthetic_terrain::spiral_channel(n);
    return make_dem(n, n, 10.0, [&](int row, int col) { return z[static_cast<std::size_t>(row * n + col)]; });
}

// The index of the cell where a cell's water leaves the grid.
inline std::size_t end_of_path(const gridprep::FlowDirections& fd, std::size_t i) {
    for (std::size_t steps = 0; steps <= fd.code.size(); ++steps) {
        const int64_t d = fd.downstream(i);
        if (d < 0) return i;
        i = static_cast<std::size_t>(d);
    }
    std::abort();  // a loop
}

}  // namespace gridprep_testing
