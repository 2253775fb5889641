// Terrain slope by Horn's method.
#pragma once

#include <cstdint>
#include <vector>

#include "dem_grid.hpp"

namespace gridprep {

// Slope in percent of every cell with data (0 elsewhere). With the 3 x 3
// window
//     a b c
//     d e f
//     g h i
// (a top left, row 0 of the window the northern one) and cell size s:
//     dz/dx = ((c + 2f + i) - (a + 2d + g)) / (8 s)
//     dz/dy = ((a + 2b + c) - (g + 2h + i)) / (8 s)
//     slope = 100 sqrt((dz/dx)^2 + (dz/dy)^2)
// A neighbour outside the grid or without data takes the centre value e.
std::vector<double> horn_slope_percent(const Raster& dem);

// The same for one cell (0 for a cell without data).
double horn_slope_percent_at(const Raster& dem, int32_t row, int32_t col);

}  // namespace gridprep
