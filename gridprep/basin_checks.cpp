#include "basin_checks.hpp"

#include <algorithm>
#include <cmath>

#include "grid_cells.hpp"
#include "priority_flood.hpp"

namespace gridprep {

InwardEdge inward_edge_cells(const Raster& dem, const FlowDirections& fd, const std::vector<uint8_t>& basin) {
    const Geometry& g = dem.geometry;
    InwardEdge e;
    for (int32_t r = 0; r < g.n_rows; ++r)
        for (int32_t c = 0; c < g.n_cols; ++c) {
            const std::size_t i = g.index(r, c);
            if (!basin[i] || !is_edge_cell(dem, r, c)) continue;
            const int64_t d = fd.downstream(i);
            if (d < 0 || !basin[static_cast<std::size_t>(d)]) continue;  // leaves the grid, or the basin outlet
            ++e.cells;
            if (r == 0) e.north.add(c);
            if (r == g.n_rows - 1) e.south.add(c);
            if (c == 0) e.west.add(r);
            if (c == g.n_cols - 1) e.east.add(r);
            if (r > 0 && c > 0 && r < g.n_rows - 1 && c < g.n_cols - 1) e.nodata_rows.add(r), e.nodata_cols.add(c);
        }
    return e;
}

OutletFlat flat_at_outlet(const Raster& dem, const std::vector<double>& filled, const FlowDirections& fd,
                          const std::vector<int32_t>& accumulation, std::size_t outlet) {
    const Geometry& g = dem.geometry;
    OutletFlat f;
    f.fill_depth = filled[outlet] - dem.value[outlet];
    f.spill = outlet;
    auto spills = [&](std::size_t i) {
        const int64_t d = fd.downstream(i);
        return d < 0 || filled[static_cast<std::size_t>(d)] < filled[i];
    };
    f.outlet_spills = spills(outlet);
    if (f.outlet_spills && f.fill_depth == 0.0) {
        // No flat search needed unless a neighbour lies at the same level.
        bool level = false;
        for_each_neighbour(g, outlet, [&](std::size_t n, int) {
            if (dem.has_data[n] && filled[n] == filled[outlet]) level = true;
        });
        if (!level) return f;
    }
    // Breadth-first over the flat.
    std::vector<std::size_t> flat{outlet};
    std::vector<uint8_t> seen(g.cells(), 0);
    seen[outlet] = 1;
    int32_t best = -1;
    for (std::size_t head = 0; head < flat.size(); ++head) {
        const std::size_t i = flat[head];
        if (spills(i) && (accumulation[i] > best || (accumulation[i] == best && i < f.spill)))
            best = accumulation[i], f.spill = i;
        for_each_neighbour(g, i, [&](std::size_t n, int) {
            if (!dem.has_data[n] || filled[n] != filled[outlet] || seen[n]) return;
            seen[n] = 1;
            flat.push_back(n);
        });
    }
    f.cells = static_cast<int64_t>(flat.size());
    return f;
}

NearbyStream largest_nearby(const FlowDirections& fd, const std::vector<int32_t>& accumulation, std::size_t outlet,
                            double radius) {
    const Geometry& g = fd.geometry;
    const auto [row, col] = position_of(g, outlet);
    NearbyStream best{outlet, accumulation[outlet], 0.0};
    const int32_t reach = static_cast<int32_t>(std::floor(radius));
    for (int32_t r = row - reach; r <= row + reach; ++r)
        for (int32_t c = col - reach; c <= col + reach; ++c) {
            if (!g.inside(r, c)) continue;
            const double d = std::hypot(double(r - row), double(c - col));
            if (d > radius) continue;
            const std::size_t i = g.index(r, c);
            if (accumulation[i] > best.accumulation || (accumulation[i] == best.accumulation && d < best.distance))
                best = NearbyStream{i, accumulation[i], d};
        }
    return best;
}

}  // namespace gridprep
