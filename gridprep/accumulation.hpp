// Flow accumulation, the basin above an outlet, and the choice of outlet.
#pragma once

#include <cstdint>
#include <vector>

#include "flow_direction.hpp"

namespace gridprep {

// Number of cells whose water passes through each cell, the cell itself
// included:
//     A(c) = 1 + sum of A(u) over the cells u with downstream(u) = c.
// Computed in topological order (cells whose upstream cells are all done
// first), by walks down the flow paths: linear in the cells, no stack. Cells
// without data get 0.
std::vector<int32_t> flow_accumulation(const FlowDirections& fd);

// The cells upstream of `outlet` (the outlet first), in the order of a
// breadth-first walk upstream that visits the inflows of a cell clockwise
// from east; with `within`, only cells marked there. Every cell comes after
// the cell it drains into.
std::vector<uint32_t> upstream_order(const FlowDirections& fd, const std::vector<uint8_t>* within, std::size_t outlet);

// The cells whose flow path passes through `outlet` (the outlet included),
// found by walking upstream from it: 1 inside the basin, 0 elsewhere.
std::vector<uint8_t> basin_above(const FlowDirections& fd, std::size_t outlet);

// The cell of largest accumulation within `radius` cells (distance between
// cell centres) of (row, col); ties go to the nearer cell, then to the first
// in reading order. Radius 0 returns the cell itself.
std::size_t snap_outlet(const FlowDirections& fd, const std::vector<int32_t>& accumulation, int32_t row, int32_t col,
                        double radius);

// The cell of largest accumulation in the whole grid (first in reading order
// among equals): the outlet of the largest basin of the DEM.
std::size_t largest_outlet(const std::vector<int32_t>& accumulation);

}  // namespace gridprep
