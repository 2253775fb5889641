// Cells of a grid in reading order (row by row from the top, each row from
// the west): a cell's row and column from its index, its position as said
// in messages, and the walk over its eight neighbours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dem_grid.hpp"

namespace gridprep {

// The eight neighbours of a cell, clockwise from east. Even codes are the
// four sides, odd codes the diagonals; code (k + 4) % 8 points back.
inline constexpr int kNeighbourRow[8] = {0, 1, 1, 1, 0, -1, -1, -1};
inline constexpr int kNeighbourCol[8] = {1, 1, 0, -1, -1, -1, 0, 1};

struct CellPosition {
    int32_t row = 0;  // from 0, the top row
    int32_t col = 0;  // from 0, the western column
};

inline CellPosition position_of(const Geometry& g, std::size_t i) {
    const std::size_t cols = static_cast<std::size_t>(g.n_cols);
    return CellPosition{static_cast<int32_t>(i / cols), static_cast<int32_t>(i % cols)};
}

// "row R, column C", counted from 1.
inline std::string cell_text(const Geometry& g, std::size_t i) {
    const CellPosition p = position_of(g, i);
    return "row " + std::to_string(p.row + 1) + ", column " + std::to_string(p.col + 1);
}

// The index of the neighbour in direction k of the cell at p (which must lie
// inside the grid).
inline std::size_t neighbour_index(const Geometry& g, CellPosition p, int k) {
    return g.index(p.row + kNeighbourRow[k], p.col + kNeighbourCol[k]);
}

// Calls visit(n, k) for each neighbour of cell i that lies inside the grid,
// clockwise from east: n its index, k its direction code seen from i.
template <typename Visit>
inline void for_each_neighbour(const Geometry& g, std::size_t i, Visit&& visit) {
    const CellPosition p = position_of(g, i);
    for (int k = 0; k < 8; ++k) {
        const int32_t r = p.row + kNeighbourRow[k], c = p.col + kNeighbourCol[k];
        if (g.inside(r, c)) visit(g.index(r, c), k);
    }
}

}  // namespace gridprep
