// Streams by an upstream-area threshold, and subbasins as the areas that
// drain to each stream link.
#pragma once

#include <cstdint>
#include <vector>

#include "flow_direction.hpp"

namespace gridprep {

struct Subbasins {
    // Per grid cell: 0 outside the basin, else the subbasin number 1..count.
    std::vector<int32_t> id;
    // Per grid cell: 1 for a stream cell of the basin.
    std::vector<uint8_t> stream;
    int32_t count = 0;
    // outlet[s - 1]: the most downstream cell of subbasin s. Subbasin 1 holds
    // the basin outlet.
    std::vector<std::size_t> outlet;
    // The basin cells in the order of a breadth-first walk upstream from the
    // basin outlet (every cell after the cell it drains into).
    std::vector<uint32_t> order;
};

// A basin cell is a stream cell when its accumulation reaches the threshold,
//     A(c) >= threshold_cells,
// and the basin outlet always is one. Since A grows downstream, the stream
// cells form one tree that ends at the basin outlet. The tree is cut into
// links at its junctions: a stream cell continues the link of the cell it
// drains into when it is that cell's only stream inflow; when the cell
// below is a junction (two or more stream inflows) a new link begins, with
// this cell as the link's outlet. Every other basin cell belongs to the
// link of the first stream cell on its flow path.
//
// Links are numbered in the order a breadth-first walk upstream from the
// basin outlet meets them, so the numbers run 1..count with no gaps and the
// outlet's subbasin is 1.
Subbasins delineate_subbasins(const FlowDirections& fd, const std::vector<int32_t>& accumulation,
                              const std::vector<uint8_t>& basin, std::size_t outlet, int64_t threshold_cells);

// Merges every subbasin of fewer than `min_cells` cells into the subbasin
// its outlet drains into, upstream ones first (a chain of small links ends
// in the first large enough subbasin below it). The outlet's subbasin has
// none below it: while it is too small it takes in the largest subbasin
// draining into it (among equals the lower number). Junctions close
// together otherwise leave subbasins of a few cells, e.g. when the basin
// outlet is itself a junction. The subbasins left keep their order and are
// numbered 1..count again. Returns the number of subbasins merged away.
int32_t merge_small_subbasins(Subbasins& sb, const FlowDirections& fd, int64_t min_cells);

}  // namespace gridprep
