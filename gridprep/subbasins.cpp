#include "subbasins.hpp"

#include <algorithm>
#include <queue>

#include "accumulation.hpp"
#include "grid_cells.hpp"
#include "priority_flood.hpp"

namespace gridprep {

namespace {

// The basin cells that drain straight into cell i, clockwise from east.
template <typename F>
void for_each_inflow(const FlowDirections& fd, const std::vector<uint8_t>& basin, std::size_t i, F&& f) {
    for_each_neighbour(fd.geometry, i, [&](std::size_t u, int k) {
        if (basin[u] && fd.code[u] == (k + 4) % 8) f(u);
    });
}

}  // namespace

Subbasins delineate_subbasins(const FlowDirections& fd, const std::vector<int32_t>& accumulation,
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
    sb.order = upstream_order(fd, &basin, outlet);
    for (const uint32_t i : sb.order) {
        int stream_inflows = 0;
        for_each_inflow(fd, basin, i, [&](std::size_t u) { stream_inflows += sb.stream[u]; });
        for_each_inflow(fd, basin, i, [&](std::size_t u) {
            if (sb.stream[u] && stream_inflows > 1) {
                sb.id[u] = ++sb.count;
                sb.outlet.push_back(u);
            } else {
                sb.id[u] = sb.id[i];
            }
        });
    }
    return sb;
}

int32_t merge_small_subbasins(Subbasins& sb, const FlowDirections& fd, int64_t min_cells) {
    const std::size_t count = static_cast<std::size_t>(sb.count);
    std::vector<int64_t> size(count + 1, 0);
    for (const uint32_t i : sb.order) ++size[static_cast<std::size_t>(sb.id[i])];
    // below[s]: the subbasin the outlet of s drains into (0 for subbasin 1);
    // it always has a smaller number, since numbers grow upstream.
    std::vector<std::size_t> below(count + 1, 0), into(count + 1, 0);
    for (std::size_t s = 2; s <= count; ++s)
        below[s] = static_cast<std::size_t>(sb.id[static_cast<std::size_t>(fd.downstream(sb.outlet[s - 1]))]);
    for (std::size_t s = 0; s <= count; ++s) into[s] = s;
    auto live = [&](std::size_t s) {
        while (into[s] != s) s = into[s] = into[into[s]];
        return s;
    };

    // Upstream first, so that a chain of small links ends in the first
    // subbasin below them that is large enough.
    int32_t merged = 0;
    for (std::size_t s = count; s >= 2; --s)
        if (size[s] < min_cells) {
            const std::size_t t = live(below[s]);
            size[t] += size[s];
            into[s] = t;
            ++merged;
        }
    // The outlet's subbasin has none below it: it takes in the largest of
    // the subbasins draining into it until it is large enough.
    if (size[1] < min_cells && count > 1) {
        std::vector<std::vector<std::size_t>> above(count + 1);
        for (std::size_t s = 2; s <= count; ++s)
            if (live(s) == s) above[live(below[s])].push_back(s);
        // Largest first; among equals the lower number.
        auto smaller = [&](std::size_t a, std::size_t b) { return size[a] < size[b] || (size[a] == size[b] && a > b); };
        std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(smaller)> candidates(smaller);
        for (std::size_t s : above[1]) candidates.push(s);
        while (size[1] < min_cells && !candidates.empty()) {
            const std::size_t s = candidates.top();
            candidates.pop();
            size[1] += size[s];
            into[s] = 1;
            ++merged;
            for (std::size_t u : above[s]) candidates.push(u);
        }
    }
    if (merged == 0) return 0;

    // Renumber 1..n in the order of the old numbers.
    std::vector<int32_t> number(count + 1, 0);
    std::vector<std::size_t> outlets;
    for (std::size_t s = 1; s <= count; ++s)
        if (live(s) == s) {
            number[s] = static_cast<int32_t>(outlets.size()) + 1;
            outlets.push_back(sb.outlet[s - 1]);
        }
    for (const uint32_t i : sb.order) sb.id[i] = number[live(static_cast<std::size_t>(sb.id[i]))];
    sb.outlet = std::move(outlets);
    sb.count = static_cast<int32_t>(sb.outlet.size());
    return merged;
}

}  // namespace gridprep
