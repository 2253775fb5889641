// Synthetic elevation models of n x n cells with known drainage, in reading
// order (row 0 the northern row), made alike for the gridprep tests and the
// gridprep benchmark (bench/gridprep_bench_dems.cpp).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace synthetic_terrain {

// A one-cell-wide channel winding as a square spiral from the north-western
// corner (the lowest cell) to the centre, between walls one cell wide; the
// channel rises by 1 mm a cell, the walls stand 100 m above its top. Every
// cell drains to the corner along a path of about n^2 / 2 cells. n odd.
inline std::vector<double> spiral_channel(int n) {
    const std::size_t side = static_cast<std::size_t>(n);
    std::vector<int64_t> along(side * side, -1);
    auto at = [&](int r, int c) -> int64_t& {
        return along[static_cast<std::size_t>(r) * side + static_cast<std::size_t>(c)];
    };
    auto inside = [&](int r, int c) { return r >= 0 && c >= 0 && r < n && c < n; };
    const int dr[4] = {0, 1, 0, -1}, dc[4] = {1, 0, -1, 0};
    int r = 0, c = 0, dir = 0;
    int64_t steps = 0;
    at(0, 0) = 0;
    for (bool moved = true; moved;) {
        moved = false;
        for (int turn = 0; turn < 2 && !moved; ++turn) {
            const int nr = r + dr[dir], nc = c + dc[dir], fr = r + 2 * dr[dir], fc = c + 2 * dc[dir];
            if (inside(nr, nc) && at(nr, nc) < 0 && !(inside(fr, fc) && at(fr, fc) >= 0)) {
                r = nr, c = nc, at(r, c) = ++steps, moved = true;
            } else {
                dir = (dir + 1) % 4;
            }
        }
    }
    const double top = 0.001 * static_cast<double>(steps) + 100.0;
    std::vector<double> z(along.size());
    for (std::size_t i = 0; i < z.size(); ++i) z[i] = along[i] >= 0 ? 0.001 * static_cast<double>(along[i]) : top;
    return z;
}

// Rolling hills on a plane tilted towards the south (2 cm a cell).
inline std::vector<double> rolling_hills(int n) {
    const std::size_t side = static_cast<std::size_t>(n);
    std::vector<double> z(side * side);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            z[static_cast<std::size_t>(r) * side + static_cast<std::size_t>(c)] =
                300.0 + 0.02 * (n - r) + 25.0 * std::sin(c / 37.0) * std::cos(r / 53.0) +
                8.0 * std::sin((r + 2.0 * c) / 11.0) + 3.0 * std::cos((3.0 * r - c) / 5.0);
    return z;
}

}  // namespace synthetic_terrain
