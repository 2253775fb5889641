#include "slope.hpp"

#include <cmath>

namespace gridprep {

double horn_slope_percent_at(const Raster& dem, int32_t row, int32_t col) {
    const Geometry& g = dem.geometry;
    const std::size_t i = g.index(row, col);
    if (!dem.has_data[i]) return 0.0;
    const double e = dem.value[i];
    auto z = [&](int dr, int dc) {
        const int32_t r = row + dr, c = col + dc;
        if (!g.inside(r, c)) return e;
        const std::size_t n = g.index(r, c);
        return dem.has_data[n] ? dem.value[n] : e;
    };
    const double a = z(-1, -1), b = z(-1, 0), c = z(-1, 1);
    const double d = z(0, -1), f = z(0, 1);
    const double gg = z(1, -1), h = z(1, 0), ii = z(1, 1);
    const double dzdx = ((c + 2.0 * f + ii) - (a + 2.0 * d + gg)) / (8.0 * g.cell_size);
    const double dzdy = ((a + 2.0 * b + c) - (gg + 2.0 * h + ii)) / (8.0 * g.cell_size);
    return 100.0 * std::sqrt(dzdx * dzdx + dzdy * dzdy);
}

std::vector<double> horn_slope_percent(const Raster& dem) {
    const Geometry& g = dem.geometry;
    std::vector<double> slope(g.cells(), 0.0);
    for (int32_t row = 0; row < g.n_rows; ++row)
        for (int32_t col = 0; col < g.n_cols; ++col) slope[g.index(row, col)] = horn_slope_percent_at(dem, row, col);
    return slope;
}

}  // namespace gridprep
