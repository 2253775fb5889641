// Elevation models for the gridprep benchmark (bench/run_gridprep_bench.sh):
//   gridprep_bench_dems spiral N FILE   a one-cell-wide channel winding as a square spiral from the
//                                      north-western corner to the centre (flow paths of N^2 / 2 cells)
//   gridprep_bench_dems hills N FILE    rolling hills on a tilted plane, N x N cells of 30 m
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void write_grid(const char* path, int n, double cell, const std::vector<double>& z) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) {
        std::perror(path);
        std::exit(1);
    }
    std::fprintf(f, "ncols %d\nnrows %d\nxllcorner 500000\nyllcorner 4000000\ncellsize %g\nNODATA_value -9999\n", n, n,
                 cell);
    std::string line;
    char buf[32];
    for (int r = 0; r < n; ++r) {
        line.clear();
        for (int c = 0; c < n; ++c) {
            std::snprintf(buf, sizeof buf, c ? " %.3f" : "%.3f", z[static_cast<std::size_t>(r) * n + c]);
            line += buf;
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), f);
    }
    if (std::fclose(f) != 0) std::exit(1);
}

std::vector<double> spiral(int n) {
    std::vector<long> along(static_cast<std::size_t>(n) * n, -1);
    auto at = [&](int r, int c) -> long& { return along[static_cast<std::size_t>(r) * n + c]; };
    auto inside = [&](int r, int c) { return r >= 0 && c >= 0 && r < n && c < n; };
    const int dr[4] = {0, 1, 0, -1}, dc[4] = {1, 0, -1, 0};
    int r = 0, c = 0, dir = 0;
    long steps = 0;
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
    std::vector<double> z(along.size());
    for (std::size_t i = 0; i < z.size(); ++i) z[i] = along[i] >= 0 ? 0.001 * along[i] : 0.001 * steps + 100.0;
    return z;
}

std::vector<double> hills(int n) {
    std::vector<double> z(static_cast<std::size_t>(n) * n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            z[static_cast<std::size_t>(r) * n + c] =
                300.0 + 0.02 * (n - r) + 25.0 * std::sin(c / 37.0) * std::cos(r / 53.0) +
                8.0 * std::sin((r + 2.0 * c) / 11.0) + 3.0 * std::cos((3.0 * r - c) / 5.0);
    return z;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: gridprep_bench_dems spiral|hills N FILE\n");
        return 2;
    }
    const std::string kind = argv[1];
    const int n = std::atoi(argv[2]);
    if (n < 3 || (kind != "spiral" && kind != "hills")) return 2;
    if (kind == "spiral")
        write_grid(argv[3], n, 10.0, spiral(n));
    else
        write_grid(argv[3], n, 30.0, hills(n));
    return 0;
}
