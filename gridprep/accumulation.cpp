#include "accumulation.hpp"

#include <cmath>

#include "grid_cells.hpp"
#include "priority_flood.hpp"

namespace gridprep {

std::vector<int32_t> flow_accumulation(const FlowDirections& fd) {
    const std::size_t n = fd.code.size();
    std::vector<int32_t> acc(n, 0);
    std::vector<uint8_t> inflows(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (fd.code[i] == kNoFlow) continue;
        acc[i] = 1;
        const int64_t d = fd.downstream(i);
        if (d >= 0) ++inflows[static_cast<std::size_t>(d)];
    }
    // From every cell without inflows, down its flow path for as long as
    // the cell below has received all of its inflows.
    for (std::size_t start = 0; start < n; ++start) {
        if (fd.code[start] == kNoFlow || inflows[start] != 0) continue;
        inflows[start] = 1;  // done; never started again
        for (std::size_t i = start;;) {
            const int64_t d = fd.downstream(i);
            if (d < 0) break;
            const std::size_t ds = static_cast<std::size_t>(d);
            acc[ds] += acc[i];
            if (--inflows[ds] != 0) break;
            inflows[ds] = 1;
            i = ds;
        }
    }
    return acc;
}

std::vector<uint32_t> upstream_order(const FlowDirections& fd, const std::vector<uint8_t>* within, std::size_t outlet) {
    const Geometry& g = fd.geometry;
    std::vector<uint32_t> order;
    if (fd.code[outlet] == kNoFlow) return order;
    order.push_back(static_cast<uint32_t>(outlet));
    for (std::size_t head = 0; head < order.size(); ++head) {
        for_each_neighbour(g, order[head], [&](std::size_t u, int k) {
            // A neighbour drains into this cell when its direction points back.
            if (fd.code[u] == (k + 4) % 8 && (!within || (*within)[u])) order.push_back(static_cast<uint32_t>(u));
        });
    }
    return order;
}

std::vector<uint8_t> basin_above(const FlowDirections& fd, std::size_t outlet) {
    std::vector<uint8_t> in(fd.code.size(), 0);
    for (uint32_t i : upstream_order(fd, nullptr, outlet)) in[i] = 1;
    return in;
}

std::size_t snap_outlet(const FlowDirections& fd, const std::vector<int32_t>& accumulation, int32_t row, int32_t col,
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

std::size_t largest_outlet(const std::vector<int32_t>& accumulation) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < accumulation.size(); ++i)
        if (accumulation[i] > accumulation[best]) best = i;
    return best;
}

}  // namespace gridprep
