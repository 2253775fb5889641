#include "subbasins.hpp"

#include <deque>

#include "priority_flood.hpp"

namespace gridprep {

namespace {

// The basin cells that drain straight into cell i.
template <typename F>
void for_each_inflow(const FlowDirections& fd, const std::vector<uint8_t>& basin, std::size_t i, F&& f) {
    const Geometry& g = fd.geometry;
    const int32_t row = static_cast<int32_t>(i / static_cast<std::size_t>(g.n_cols));
    const int32_t col = static_cast<int32_t>(i % static_cast<std::size_t>(g.n_cols));
    for (int k = 0; k < 8; ++k) {
        const int32_t r = row + kNeighbourRow[k], c = col + kNeighbourCol[k];
        if (!g.inside(r, c)) continue;
        const std::size_t u = g.index(r, c);
        if (basin[u] && fd.downstream(u) == static_cast<int64_t>(i)) f(u);
    }
}

}  // namespace

Subbasins delineate_subbasins(const FlowDirections& fd, const std::vector<int64_t>& accumulation,
                              const std::vector<uint8_t>& basin, std::size_t outlet, int64_t threshold_cells) {
    const std::size_t n = fd.code.size();
    Subbasins sb;
    sb.id.assign(n, 0);
    sb.stream.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i)
        if (basin[i] && accumulation[i] >= threshold_cells) sb.stream[i] = 1;
    sb.stream[outlet] = 1;

    sb.count = 1;
    sb.id[outlet] = 1;
    sb.outlet.push_back(outlet);
    std::deque<std::size_t> todo{outlet};
    while (!todo.empty()) {
        const std::size_t i = todo.front();
        todo.pop_front();
        int stream_inflows = 0;
        for_each_inflow(fd, basin, i, [&](std::size_t u) { stream_inflows += sb.stream[u]; });
        for_each_inflow(fd, basin, i, [&](std::size_t u) {
            if (sb.stream[u] && stream_inflows > 1) {
                sb.id[u] = ++sb.count;
                sb.outlet.push_back(u);
            } else {
                sb.id[u] = sb.id[i];
            }
            todo.push_back(u);
        });
    }
    return sb;
}

}  // namespace gridprep
