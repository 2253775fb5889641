#include "flow_direction.hpp"

#include <cmath>
#include <deque>
#include <stdexcept>

#include "priority_flood.hpp"

namespace gridprep {

int64_t FlowDirections::downstream(std::size_t i) const {
    const int8_t k = code[i];
    if (k < 0 || k >= 8) return -1;
    const int32_t row = static_cast<int32_t>(i / static_cast<std::size_t>(geometry.n_cols));
    const int32_t col = static_cast<int32_t>(i % static_cast<std::size_t>(geometry.n_cols));
    return static_cast<int64_t>(geometry.index(row + kNeighbourRow[k], col + kNeighbourCol[k]));
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

    std::deque<std::size_t> draining;  // seeds of the flat search
    for (int32_t row = 0; row < g.n_rows; ++row)
        for (int32_t col = 0; col < g.n_cols; ++col) {
            const std::size_t i = g.index(row, col);
            if (!dem.has_data[i]) continue;
            double steepest = 0.0;
            int8_t best = kNoFlow;
            for (int k = 0; k < 8; ++k) {
                const int32_t r = row + kNeighbourRow[k], c = col + kNeighbourCol[k];
                if (!g.inside(r, c)) continue;
                const std::size_t n = g.index(r, c);
                if (!dem.has_data[n] || !(filled[n] < filled[i])) continue;
                const double drop = (filled[i] - filled[n]) / ((k % 2) ? diagonal : 1.0);
                if (drop > steepest) steepest = drop, best = static_cast<int8_t>(k);
            }
            if (best == kNoFlow && is_edge_cell(dem, row, col)) best = kOutflow;
            fd.code[i] = best;
            if (best != kNoFlow) draining.push_back(i);
        }

    // Flats: breadth-first over equal filled elevations from the draining cells.
    while (!draining.empty()) {
        const std::size_t i = draining.front();
        draining.pop_front();
        const int32_t row = static_cast<int32_t>(i / static_cast<std::size_t>(g.n_cols));
        const int32_t col = static_cast<int32_t>(i % static_cast<std::size_t>(g.n_cols));
        for (int k = 0; k < 8; ++k) {
            const int32_t r = row + kNeighbourRow[k], c = col + kNeighbourCol[k];
            if (!g.inside(r, c)) continue;
            const std::size_t n = g.index(r, c);
            if (!dem.has_data[n] || fd.code[n] != kNoFlow || filled[n] != filled[i]) continue;
            fd.code[n] = static_cast<int8_t>((k + 4) % 8);  // back towards i
            draining.push_back(n);
        }
    }

    for (std::size_t i = 0; i < g.cells(); ++i)
        if (dem.has_data[i] && fd.code[i] == kNoFlow)
            throw std::logic_error("flow directions: a cell of the filled surface has no way out");
    return fd;
}

}  // namespace gridprep
