// Elevation models for the gridprep benchmark (bench/run_gridprep_bench.sh):
//   gridprep_bench_dems spiral N FILE   a one-cell-wide channel winding as a square spiral from the
//                                      north-western corner to the centre (flow paths of N^2 / 2 cells)
//   gridprep_bench_dems hills N FILE    rolling hills on a tilted plane, N x N cells of 30 m
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "synthetic_terrain.hpp"

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
            std::snprintf(buf, sizeof buf, c ? " %.3f" : "%.3f",
                          z[static_cast<std::size_t>(r) * static_cast<std::size_t>(n) + static_cast<std::size_t>(c)]);
            line += buf;
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), f);
    }
    if (std::fclose(f) != 0) std::exit(1);
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
        write_grid(argv[3], n, 10.0, synthetic_terrain::spiral_channel(n));
    else
        write_grid(argv[3], n, 30.0, synthetic_terrain::rolling_hills(n));
    return 0;
}
