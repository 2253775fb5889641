// D8 flow directions on a filled DEM, with flats resolved.
#pragma once

#include <cstdint>
#include <vector>

#include "dem_grid.hpp"
#include "grid_cells.hpp"

namespace gridprep {

// Direction codes: 0..7 point to the neighbour kNeighbourRow/Col[code]
// (clockwise from east); kOutflow leaves the grid (border or no-data side);
// kNoFlow marks a cell without data.
inline constexpr int8_t kOutflow = 8;
inline constexpr int8_t kNoFlow = -1;

struct FlowDirections {
    Geometry geometry;
    std::vector<int8_t> code;

    // Index of the cell a cell drains into, or -1 when the water leaves the grid.
    int64_t downstream(std::size_t i) const;
    // Length of the step a cell drains along: one cell side, or the diagonal.
    double step_length(std::size_t i) const;
};

// D8: each cell drains to the neighbour of steepest descent
//     max over k of (filled(c) - filled(n_k)) / d_k,  d_k = cell size or cell size x sqrt(2),
// taking only strictly lower neighbours (the first of equal slopes, clockwise
// from east). An edge cell with no lower neighbour drains out of the grid.
//
// Flats: a cell with neither a lower neighbour nor the edge lies on a flat
// of the filled surface. A breadth-first search over equal filled
// elevations, started at the cells that already drain, gives every flat
// cell the direction towards its neighbour one step nearer to the flat's
// way out. Along every path the pair (filled elevation, steps to the way
// out) strictly decreases, so there are no loops and every cell reaches the
// edge of the data.
FlowDirections d8_directions(const Raster& dem, const std::vector<double>& filled);

}  // namespace gridprep
