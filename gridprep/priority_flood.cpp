#include "priority_flood.hpp"

#include <cstdint>
#include <queue>

namespace gridprep {

bool is_edge_cell(const Raster& dem, int32_t row, int32_t col) {
    const Geometry& g = dem.geometry;
    if (!dem.has_data[g.index(row, col)]) return false;
    if (row == 0 || col == 0 || row == g.n_rows - 1 || col == g.n_cols - 1) return true;
    for (int k = 0; k < 8; ++k)
        if (!dem.has_data[g.index(row + kNeighbourRow[k], col + kNeighbourCol[k])]) return true;
    return false;
}

std::vector<double> fill_depressions(const Raster& dem) {
    const Geometry& g = dem.geometry;
    const int32_t cols = g.n_cols;
    std::vector<double> filled = dem.value;
    std::vector<uint8_t> reached(g.cells(), 0);

    // The rim of the flooded region, lowest first (elevation, then cell, so
    // that the order is fixed whatever the queue's implementation).
    struct Entry {
        double level;
        uint32_t cell;
        bool operator>(const Entry& o) const { return level > o.level || (level == o.level && cell > o.cell); }
    };
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> rim;
    // Cells raised to the level of the cell that reached them: the inside of
    // a depression being filled. They need no ordering, since they all lie at
    // that level, so a plain first-in first-out list serves them.
    std::vector<uint32_t> pit;
    std::size_t pit_head = 0;

    for (int32_t r = 0; r < g.n_rows; ++r)
        for (int32_t c = 0; c < cols; ++c)
            if (is_edge_cell(dem, r, c)) {
                const std::size_t i = g.index(r, c);
                reached[i] = 1;
                rim.push({filled[i], static_cast<uint32_t>(i)});
            }

    while (pit_head < pit.size() || !rim.empty()) {
        std::size_t i;
        if (pit_head < pit.size()) {
            i = pit[pit_head++];
            if (pit_head == pit.size()) pit.clear(), pit_head = 0;
        } else {
            i = rim.top().cell;
            rim.pop();
        }
        const double level = filled[i];
        const int32_t row = static_cast<int32_t>(i / static_cast<std::size_t>(cols));
        const int32_t col = static_cast<int32_t>(i % static_cast<std::size_t>(cols));
        for (int k = 0; k < 8; ++k) {
            const int32_t r = row + kNeighbourRow[k], c = col + kNeighbourCol[k];
            if (!g.inside(r, c)) continue;
            const std::size_t n = g.index(r, c);
            if (reached[n] || !dem.has_data[n]) continue;
            reached[n] = 1;
            if (filled[n] <= level) {
                filled[n] = level;
                pit.push_back(static_cast<uint32_t>(n));
            } else {
                rim.push({filled[n], static_cast<uint32_t>(n)});
            }
        }
    }
    return filled;
}

}  // namespace gridprep
