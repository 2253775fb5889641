// Checks of a delineated basin that a hydrologist would want said out loud:
// a basin the DEM may cut off, an outlet whose area depends on how a flat is
// crossed, an outlet just beside a much larger stream.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "dem_grid.hpp"
#include "grid_cells.hpp"
#include "flow_direction.hpp"

namespace gridprep {

// Basin cells on the DEM's border or beside a cell without data whose water
// flows on into the basin instead of leaving the grid. There the divide is
// not on the DEM: land beyond the edge may drain into the basin as well, so
// the basin may be incomplete.
struct InwardEdge {
    // A stretch of such cells: how many, and the first and last row or
    // column along it (from 0).
    struct Stretch {
        int64_t cells = 0;
        int32_t from = 0, to = 0;
        void add(int32_t at) {
            from = cells == 0 ? at : std::min(from, at), to = cells == 0 ? at : std::max(to, at);
            ++cells;
        }
    };
    int64_t cells = 0;
    // On each border of the grid (columns along the northern and southern
    // rows, rows along the western and eastern columns; a corner counts on
    // both), and beside cells without data (their rows and columns).
    Stretch north, south, west, east, nodata_rows, nodata_cols;
};
InwardEdge inward_edge_cells(const Raster& dem, const FlowDirections& fd, const std::vector<uint8_t>& basin);

// The flat of the filled surface an outlet lies on: the cells connected to
// it (8 neighbours) at the outlet's filled elevation. Its spill cells are the
// flat cells whose water leaves the flat: down to a lower cell or out of the
// grid; which of the other flat cells drains through which spill cell, and
// through which flat cell water entering the flat passes, is decided by the
// order of the flat search, not by the terrain.
struct OutletFlat {
    int64_t cells = 1;          // 1: the outlet is not on a flat
    double fill_depth = 0;      // filled minus original elevation at the outlet, m
    bool outlet_spills = true;  // the outlet is a spill cell of the flat
    std::size_t spill = 0;      // the spill cell of largest accumulation
};
OutletFlat flat_at_outlet(const Raster& dem, const std::vector<double>& filled, const FlowDirections& fd,
                          const std::vector<int32_t>& accumulation, std::size_t outlet);

// The cell of largest accumulation within `radius` cells of the outlet.
struct NearbyStream {
    std::size_t cell = 0;
    int32_t accumulation = 0;
    double distance = 0;  // cells
};
NearbyStream largest_nearby(const FlowDirections& fd, const std::vector<int32_t>& accumulation, std::size_t outlet,
                            double radius);

}  // namespace gridprep
