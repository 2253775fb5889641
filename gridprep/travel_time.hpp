// Travel time and its dispersion along the flow paths of the basin.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "flow_direction.hpp"
#include "subbasins.hpp"

namespace gridprep {

struct RoutingParameters {
    double time_step_hours = 24.0;
    double radius_coefficient = 0.1;  // a in R = a A^b (R in m, A in km2)
    double radius_exponent = 0.3;     // b
    double channel_manning = 0.035;   // Manning's n of stream cells
    double min_slope = 0.001;         // slope (fraction) below which flow sees this slope
    double min_velocity = 0.01;       // m/s
    double max_velocity = 3.0;        // m/s
};

// Flow through one cell.
struct CellFlow {
    double radius = 0.0;      // hydraulic radius, m
    double velocity = 0.0;    // m/s
    double dispersion = 0.0;  // m2/s
};

// Velocity and dispersion of a cell from its slope S (fraction), its
// upstream area A (km2) and its Manning coefficient n:
//     R = a A^b                         (hydraulic radius grows with the area drained)
//     v = R^(2/3) S^(1/2) / n           (Manning), kept within [v_min, v_max]
//     D = v R / (2 S)                   (diffusive-wave dispersion coefficient)
// with S raised to min_slope first, so that filled flats still pass water.
CellFlow cell_flow(double slope_fraction, double upstream_km2, double manning, const RoutingParameters& p);

// Mean and variance of a travel time, in time steps and steps squared.
struct TravelTime {
    double mean = 0.0;
    double variance = 0.0;
};

// The rank of a cell among the marked cells of a grid (the number of marked
// cells before it in reading order), from a bit per cell and a count per 64
// cells: arrays over the basin's cells only, at 1.2 bits per grid cell.
class CellRank {
  public:
    CellRank() = default;
    explicit CellRank(const std::vector<int32_t>& zone);  // marked: zone > 0
    std::size_t operator()(std::size_t i) const;
    std::size_t marked() const { return marked_; }

  private:
    std::vector<uint64_t> bits_;
    std::vector<uint32_t> before_;
    std::size_t marked_ = 0;
};

struct TravelTimes {
    CellRank rank;                               // of the basin cells
    std::vector<TravelTime> to_basin_outlet;     // per basin cell, by rank
    std::vector<TravelTime> to_subbasin_outlet;  // per basin cell, by rank
    std::vector<TravelTime> river;               // per subbasin: river[s - 1]
    const TravelTime& to_basin_outlet_of(std::size_t cell) const { return to_basin_outlet[rank(cell)]; }
    const TravelTime& to_subbasin_outlet_of(std::size_t cell) const { return to_subbasin_outlet[rank(cell)]; }
};

// Travel times along the D8 paths. A path is a chain of steps from a cell
// centre to the centre of the cell below, of length l_i, crossed at the
// velocity v_i and dispersion D_i of the cell it starts in. Over a step the
// advection-dispersion equation gives a travel time of mean and variance
//     t_i = l_i / v_i,        s_i^2 = 2 D_i l_i / v_i^3,
// and along a path both add up: T = sum t_i, S^2 = sum s_i^2. A cell cannot
// spread water over more than its own length: D_i is kept at or below
// v_i x (cell size), a cell Peclet number v dx / D of at least 1, which
// bounds the variance of a step by 2 (t_i)^2 (large rivers on filled flats
// would otherwise get a diffusive-wave dispersion of thousands of m2/s).
//
// Water from a cell starts at the cell centre and is counted as arrived
// when it crosses the downstream edge of the target's outlet cell, so the
// last step counts half:
//     cell to basin outlet      the steps from the cell to the basin outlet, half of the outlet's own
//     cell to subbasin outlet   the same, ending at the outlet cell of the cell's subbasin
//     subbasin outlet to basin outlet   from the edge of the subbasin's outlet cell to the edge of
//                               the basin outlet cell: cell-to-basin of the outlet cell less its
//                               half step; 0 for the subbasin that holds the basin outlet.
// So cell to basin outlet = cell to subbasin outlet + river, in mean and variance.
//
// The surface of a cell: its slope in percent and its Manning coefficient
// (the one of stream cells replaces it there).
using CellSurface = std::function<void(std::size_t cell, double& slope_percent, double& manning)>;
TravelTimes travel_times(const FlowDirections& fd, const std::vector<int32_t>& accumulation, const Subbasins& sb,
                         const CellSurface& surface, const RoutingParameters& p);
// The same with the slope and the Manning coefficient of every grid cell.
TravelTimes travel_times(const FlowDirections& fd, const std::vector<int32_t>& accumulation, const Subbasins& sb,
                         const std::vector<double>& slope_percent, const std::vector<double>& manning,
                         const RoutingParameters& p);

}  // namespace gridprep
