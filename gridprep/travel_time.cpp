#include "travel_time.hpp"

#include <algorithm>
#include <cmath>

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

CellRank::CellRank(const std::vector<int32_t>& zone) {
    const std::size_t words = (zone.size() + 63) / 64;
    bits_.assign(words, 0);
    before_.assign(words, 0);
    for (std::size_t i = 0; i < zone.size(); ++i)
        if (zone[i] > 0) bits_[i / 64] |= uint64_t{1} << (i % 64);
    for (std::size_t w = 0; w < words; ++w) {
        before_[w] = static_cast<uint32_t>(marked_);
        marked_ += static_cast<std::size_t>(__builtin_popcountll(bits_[w]));
    }
}

std::size_t CellRank::operator()(std::size_t i) const {
    const uint64_t below = (uint64_t{1} << (i % 64)) - 1;
    return before_[i / 64] + static_cast<std::size_t>(__builtin_popcountll(bits_[i / 64] & below));
}

TravelTimes travel_times(const FlowDirections& fd, const std::vector<int32_t>& accumulation, const Subbasins& sb,
                         const CellSurface& surface, const RoutingParameters& p) {
    const Geometry& g = fd.geometry;
    const std::size_t n = g.cells();
    const double seconds_per_step = p.time_step_hours * 3600.0;
    const double cell_km2 = g.cell_size * g.cell_size / 1e6;

    // One step of a cell, in time steps: full (cell centre to the next
    // centre) or half (cell centre to its downstream edge).
    auto step = [&](std::size_t i, const CellFlow& f, double fraction) {
        const double l = fd.step_length(i) * fraction;
        const double t = l / f.velocity / seconds_per_step;
        const double var =
            2.0 * f.dispersion * l / (f.velocity * f.velocity * f.velocity) / (seconds_per_step * seconds_per_step);
        return TravelTime{t, var};
    };
    auto add = [](TravelTime a, TravelTime b) { return TravelTime{a.mean + b.mean, a.variance + b.variance}; };

    TravelTimes tt;
    tt.rank = CellRank(sb.id);
    tt.to_basin_outlet.assign(tt.rank.marked(), TravelTime{});
    tt.to_subbasin_outlet.assign(tt.rank.marked(), TravelTime{});
    tt.river.assign(static_cast<std::size_t>(sb.count), TravelTime{});

    std::vector<uint8_t> is_subbasin_outlet(n, 0);
    for (std::size_t o : sb.outlet) is_subbasin_outlet[o] = 1;
    const std::size_t outlet = sb.outlet.front();

    // Downstream cells first: the breadth-first walk upstream from the outlet.
    for (const uint32_t i : sb.order) {
        double slope_percent = 0.0, manning = 0.0;
        surface(i, slope_percent, manning);
        CellFlow f = cell_flow(slope_percent / 100.0, static_cast<double>(accumulation[i]) * cell_km2,
                               sb.stream[i] ? p.channel_manning : manning, p);
        f.dispersion = std::min(f.dispersion, f.velocity * g.cell_size);
        const TravelTime half = step(i, f, 0.5);
        const std::size_t k = tt.rank(i);
        if (i == outlet) {
            tt.to_basin_outlet[k] = half;
        } else {
            const std::size_t d = static_cast<std::size_t>(fd.downstream(i));
            tt.to_basin_outlet[k] = add(step(i, f, 1.0), tt.to_basin_outlet_of(d));
        }
        if (is_subbasin_outlet[i]) {
            tt.to_subbasin_outlet[k] = half;
            const std::size_t s = static_cast<std::size_t>(sb.id[i] - 1);
            if (i != outlet) {
                const TravelTime& whole = tt.to_basin_outlet[k];
                tt.river[s] =
                    TravelTime{std::max(0.0, whole.mean - half.mean), std::max(0.0, whole.variance - half.variance)};
            }
        } else {
            const std::size_t d = static_cast<std::size_t>(fd.downstream(i));
            tt.to_subbasin_outlet[k] = add(step(i, f, 1.0), tt.to_subbasin_outlet_of(d));
        }
    }
    return tt;
}

TravelTimes travel_times(const FlowDirections& fd, const std::vector<int32_t>& accumulation, const Subbasins& sb,
                         const std::vector<double>& slope_percent, const std::vector<double>& manning,
                         const RoutingParameters& p) {
    return travel_times(
        fd, accumulation, sb,
        [&](std::size_t i, double& slope, double& n) { slope = slope_percent[i], n = manning[i]; }, p);
}

}  // namespace gridprep
