#include "priority_flood.hpp"

#include <cstdint>
#include <queue>
#include <tuple>

namespace gridprep {

bool is_edge_cell(const Raster& dem, int32_t row, int32_t col) {
    const Geometry& g = dem.geometry;
    if (!dem.has_data[g.index(row, col)]) return false;
    for (int k = 0; k < 8; ++k) {
        const int32_t r = row + kNeighbourRow[k], c = col + kNeighbourCol[k];
        if (!g.inside(r, c) || !dem.has_data[g.index(r, c)]) return true;
    }
    return false;
}

std::vector<double> fill_depressions(const Raster& dem) {
    const Geometry& g = dem.geometry;
    std::vector<double> filled = dem.value;
    std::vector<uint8_t> reached(g.cells(), 0);

    // (elevation, arrival number, cell): ties leave in the order they came,
    // so the result does not depend on the queue's implementation.
    using Entry = std::tuple<double, uint64_t, std::size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
    uint64_t arrival = 0;

    for (int32_t r = 0; r < g.n_rows; ++r)
        for (int32_t c = 0; c < g.n_cols; ++c)
            if (is_edge_cell(dem, r, c)) {
                const std::size_t i = g.index(r, c);
                reached[i] = 1;
                open.emplace(filled[i], arrival++, i);
            }

    while (!open.empty()) {
        const auto [level, order, i] = open.top();
        (void)order;
        open.pop();
        const int32_t row = static_cast<int32_t>(i / static_cast<std::size_t>(g.n_cols));
        const int32_t col = static_cast<int32_t>(i % static_cast<std::size_t>(g.n_cols));
        for (int k = 0; k < 8; ++k) {
            const int32_t r = row + kNeighbourRow[k], c = col + kNeighbourCol[k];
            if (!g.inside(r, c)) continue;
            const std::size_t n = g.index(r, c);
            if (reached[n] || !dem.has_data[n]) continue;
            reached[n] = 1;
            if (filled[n] < level) filled[n] = level;
            open.emplace(filled[n], arrival++, n);
        }
    }
    return filled;
}

}  // namespace gridprep
