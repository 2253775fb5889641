#include "accumulation.hpp"

#include <cmath>
#include <deque>

#include "priority_flood.hpp"

namespace gridprep {

std::vector<int64_t> flow_accumulation(const FlowDirections& fd) {
    const std::size_t n = fd.code.size();
    std::vector<int64_t> acc(n, 0);
    std::vector<uint8_t> inflows(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (fd.code[i] == kNoFlow) continue;
        acc[i] = 1;
        const int64_t d = fd.downstream(i);
        if (d >= 0) ++inflows[static_cast<std::size_t>(d)];
    }
    std::vector<std::size_t> ready;
    for (std::size_t i = 0; i < n; ++i)
        if (fd.code[i] != kNoFlow && inflows[i] == 0) ready.push_back(i);
    while (!ready.empty()) {
        const std::size_t i = ready.back();
        ready.pop_back();
        const int64_t d = fd.downstream(i);
        if (d < 0) continue;
        const std::size_t ds = static_cast<std::size_t>(d);
        acc[ds] += acc[i];
        if (--inflows[ds] == 0) ready.push_back(ds);
    }
    return acc;
}

std::vector<uint8_t> basin_above(const FlowDirections& fd, std::size_t outlet) {
    const Geometry& g = fd.geometry;
    std::vector<uint8_t> in(g.cells(), 0);
    if (fd.code[outlet] == kNoFlow) return in;
    std::deque<std::size_t> todo{outlet};
    in[outlet] = 1;
    while (!todo.empty()) {
        const std::size_t i = todo.front();
        todo.pop_front();
        const int32_t row = static_cast<int32_t>(i / static_cast<std::size_t>(g.n_cols));
        const int32_t col = static_cast<int32_t>(i % static_cast<std::size_t>(g.n_cols));
        for (int k = 0; k < 8; ++k) {
            const int32_t r = row + kNeighbourRow[k], c = col + kNeighbourCol[k];
            if (!g.inside(r, c)) continue;
            const std::size_t u = g.index(r, c);
            if (!in[u] && fd.downstream(u) == static_cast<int64_t>(i)) {
                in[u] = 1;
                todo.push_back(u);
            }
        }
    }
    return in;
}

std::size_t snap_outlet(const FlowDirections& fd, const std::vector<int64_t>& accumulation, int32_t row, int32_t col,
                        double radius) {
    const Geometry& g = fd.geometry;
    std::size_t best = g.index(row, col);
    double best_d2 = 0.0;
    const int32_t reach = static_cast<int32_t>(std::floor(radius));
    for (int32_t r = row - reach; r <= row + reach; ++r)
        for (int32_t c = col - reach; c <= col + reach; ++c) {
            if (!g.inside(r, c)) continue;
            const double d2 = double(r - row) * (r - row) + double(c - col) * (c - col);
            if (d2 > radius * radius) continue;
            const std::size_t i = g.index(r, c);
            if (accumulation[i] > accumulation[best] || (accumulation[i] == accumulation[best] && d2 < best_d2)) {
                best = i;
                best_d2 = d2;
            }
        }
    return best;
}

std::size_t largest_outlet(const std::vector<int64_t>& accumulation) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < accumulation.size(); ++i)
        if (accumulation[i] > accumulation[best]) best = i;
    return best;
}

}  // namespace gridprep
