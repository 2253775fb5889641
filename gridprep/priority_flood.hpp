// Depression filling by priority flood.
#pragma once

#include <vector>

#include "dem_grid.hpp"
#include "grid_cells.hpp"

namespace gridprep {

// True for a cell with data that touches the grid border or a cell without
// data: water can leave the grid there.
bool is_edge_cell(const Raster& dem, int32_t row, int32_t col);

// Fills every depression of the DEM up to its spill level.
//
// Priority flood: all edge cells are put into a queue ordered by elevation.
// The lowest cell c is taken out; each neighbour n with data that has not
// been reached yet gets
//     filled(n) = max(z(n), filled(c))
// and goes into the queue. Every cell is reached from its lowest possible
// spill path, so afterwards every cell has a path to the edge along which
// the filled elevation never rises. Cells without data keep their value and
// play no part.
//
// Cells that end up raised to the level of the cell that reached them (the
// inside of a depression) all lie at that level and need no ordering: they
// pass through a plain first-in first-out list instead of the queue, so a
// DEM of n cells costs at most n log n, and little more than n where
// depressions and flats are large. Grids of up to 2^32 cells.
std::vector<double> fill_depressions(const Raster& dem);

}  // namespace gridprep
