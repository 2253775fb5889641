#include "travel_time.hpp"

#include <algorithm>
#include <cmath>
#include <deque>

#include "priority_flood.hpp"

namespace gridprep {

CellFlow cell_flow(double slope_fraction, double upstream_km2, double manning, const RoutingParameters& p) {
    CellFlow f;
    const double s = std::max(slope_fraction, p.min_slope);
    f.radius = p.radius_coefficient * std::pow(upstream_km2, p.radius_exponent);
    f.velocity = std::pow(f.radius, 2.0 / 3.0) * std::sqrt(s) / manning;
    f.velocity = std::clamp(f.velocity, p.min_velocity, p.max_velocity);
    f.dispersion = f.velocity * f.radius / (2.0 * s);
    return f;
}

TravelTimes travel_times(const FlowDirections& fd, const std::vector<int64_t>& accumulation, const Subbasins& sb,
                         const std::vector<double>& slope_percent, const std::vector<double>& manning,
                         const RoutingParameters& p) {
    const Geometry& g = fd.geometry;
    const std::size_t n = g.cells();
    const double seconds_per_step = p.time_step_hours * 3600.0;
    const double cell_km2 = g.cell_size * g.cell_size / 1e6;

    // One step of a cell, in time steps: full (cell centre to the next
    // centre) and half (cell centre to its downstream edge).
    auto step = [&](std::size_t i, double fraction) {
        CellFlow f = cell_flow(slope_percent[i] / 100.0, static_cast<double>(accumulation[i]) * cell_km2,
                               sb.stream[i] ? p.channel_manning : manning[i], p);
        f.dispersion = std::min(f.dispersion, f.velocity * g.cell_size);
        const double l = fd.step_length(i) * fraction;
        const double t = l / f.velocity / seconds_per_step;
        const double var = 2.0 * f.dispersion * l / (f.velocity * f.velocity * f.velocity) /
                           (seconds_per_step * seconds_per_step);
        return TravelTime{t, var};
    };
    auto add = [](TravelTime a, TravelTime b) { return TravelTime{a.mean + b.mean, a.variance + b.variance}; };

    TravelTimes tt;
    tt.to_basin_outlet.assign(n, TravelTime{});
    tt.to_subbasin_outlet.assign(n, TravelTime{});
    tt.river.assign(static_cast<std::size_t>(sb.count), TravelTime{});

    std::vector<uint8_t> is_subbasin_outlet(n, 0);
    for (std::size_t o : sb.outlet) is_subbasin_outlet[o] = 1;
    const std::size_t outlet = sb.outlet.front();

    // Downstream cells first: a breadth-first walk upstream from the outlet.
    std::deque<std::size_t> todo{outlet};
    std::vector<uint8_t> done(n, 0);
    done[outlet] = 1;
    while (!todo.empty()) {
        const std::size_t i = todo.front();
        todo.pop_front();
        const TravelTime half = step(i, 0.5);
        if (i == outlet) {
            tt.to_basin_outlet[i] = half;
        } else {
            const std::size_t d = static_cast<std::size_t>(fd.downstream(i));
            tt.to_basin_outlet[i] = add(step(i, 1.0), tt.to_basin_outlet[d]);
        }
        if (is_subbasin_outlet[i]) {
            tt.to_subbasin_outlet[i] = half;
            const std::size_t s = static_cast<std::size_t>(sb.id[i] - 1);
            if (i != outlet) {
                const TravelTime& whole = tt.to_basin_outlet[i];
                tt.river[s] = TravelTime{std::max(0.0, whole.mean - half.mean),
                                         std::max(0.0, whole.variance - half.variance)};
            }
        } else {
            const std::size_t d = static_cast<std::size_t>(fd.downstream(i));
            tt.to_subbasin_outlet[i] = add(step(i, 1.0), tt.to_subbasin_outlet[d]);
        }
        const int32_t row = static_cast<int32_t>(i / static_cast<std::size_t>(g.n_cols));
        const int32_t col = static_cast<int32_t>(i % static_cast<std::size_t>(g.n_cols));
        for (int k = 0; k < 8; ++k) {
            const int32_t r = row + kNeighbourRow[k], c = col + kNeighbourCol[k];
            if (!g.inside(r, c)) continue;
            const std::size_t u = g.index(r, c);
            if (!done[u] && sb.id[u] > 0 && fd.downstream(u) == static_cast<int64_t>(i)) {
                done[u] = 1;
                todo.push_back(u);
            }
        }
    }
    return tt;
}

}  // namespace gridprep
