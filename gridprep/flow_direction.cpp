#include "flow_direction.hpp"

#include <cmath>
#include <stdexcept>

#include "grid_cells.hpp"
#include "priority_flood.hpp"

namespace gridprep {

int64_t FlowDirections::downstream(std::size_t i) const {
    const int8_t k = code[i];
    if (k < 0 || k >= 8) return -1;
    return static_cast<int64_t>(neighbour_index(geometry, position_of(geometry, i), k));
}

double FlowDirections::step_length(std::size_t i) const {
    const int8_t k = code[i];
    return (k >= 0 && k < 8 && (k % 2) == 1) ? geometry.cell_size * std::sqrt(2.0) : geometry.cell_size;
}

FlowDirections d8_directions(const Raster& dem, const std::vector<double>& filled) {
    const Geometry& g = dem.geometry;
    FlowDirections fd;
    fd.geometry = g;
    fd.code.assign(g.cells(), kNoFlow);
    const double diagonal = std::sqrt(2.0);

    for (std::size_t i = 0; i < g.cells(); ++i) {
        if (!dem.has_data[i]) continue;
        double steepest = 0.0;
        int8_t best = kNoFlow;
        for_each_neighbour(g, i, [&](std::size_t n, int k) {
            if (!dem.has_data[n] || !(filled[n] < filled[i])) return;
            const double drop = (filled[i] - filled[n]) / ((k % 2) ? diagonal : 1.0);
            if (drop > steepest) steepest = drop, best = static_cast<int8_t>(k);
        });
        const CellPosition p = position_of(g, i);
        if (best == kNoFlow && is_edge_cell(dem, p.row, p.col)) best = kOutflow;
        fd.code[i] = best;
    }

    // Flats: breadth-first over equal filled elevations from the draining
    // cells, in reading order. Only draining cells beside a cell still
    // without a direction at the same elevation can start a path, so the
    // others are left out of the list (the result is the same).
    auto flat_neighbours = [&](std::size_t i, auto&& visit) {
        for_each_neighbour(g, i, [&](std::size_t n, int k) {
            if (dem.has_data[n] && fd.code[n] == kNoFlow && filled[n] == filled[i]) visit(n, k);
        });
    };
    std::vector<uint32_t> draining;
    for (std::size_t i = 0; i < g.cells(); ++i) {
        if (fd.code[i] == kNoFlow) continue;
        bool seed = false;
        flat_neighbours(i, [&](std::size_t, int) { seed = true; });
        if (seed) draining.push_back(static_cast<uint32_t>(i));
    }
    for (std::size_t head = 0; head < draining.size(); ++head) {
        const std::size_t i = draining[head];
        flat_neighbours(i, [&](std::size_t n, int k) {
            fd.code[n] = static_cast<int8_t>((k + 4) % 8);  // back towards i
            draining.push_back(static_cast<uint32_t>(n));
        });
    }
    draining = std::vector<uint32_t>();

    for (std::size_t i = 0; i < g.cells(); ++i)
        if (dem.has_data[i] && fd.code[i] == kNoFlow)
            throw std::logic_error("flow directions: a cell of the filled surface has no way out");
    return fd;
}

}  // namespace gridprep
