// Streams and subbasins, Horn's slope, and the travel times along the paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "accumulation.hpp"
#include "dem_grid.hpp"
#include "flow_direction.hpp"
#include "gridprep_test_dems.hpp"
#include "priority_flood.hpp"
#include "slope.hpp"
#include "subbasins.hpp"
#include "travel_time.hpp"

namespace {

using namespace gridprep;
using namespace gridprep_testing;

FlowDirections hand_made_tree() {
    // 4 x 3 cells: three columns run south into the bottom middle cell (the
    // outlet, draining out of the grid), as do the two bottom corners.
    FlowDirections fd;
    fd.geometry.n_rows = 4;
    fd.geometry.n_cols = 3;
    fd.geometry.cell_size = 10;
    fd.code = {2, 2, 2, 2, 2, 2, 1, 2, 3, 0, kOutflow, 4};
    return fd;
}

TEST(GridprepSubbasins, HandMadeTreeSplitsAtTheJunction) {
    const FlowDirections fd = hand_made_tree();
    const std::vector<int32_t> acc = flow_accumulation(fd);
    const std::vector<uint8_t> basin(12, 1);
    const Subbasins sb = delineate_subbasins(fd, acc, basin, 10, 3);
    EXPECT_EQ(sb.count, 4);
    EXPECT_EQ(sb.id, (std::vector<int32_t>{2, 3, 4, 2, 3, 4, 2, 3, 4, 1, 1, 1}));
    EXPECT_EQ(sb.outlet, (std::vector<std::size_t>{10, 6, 7, 8}));
    EXPECT_EQ(sb.stream, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 0}));
}

// The rules every delineation keeps, on real and synthetic terrain and at
// several thresholds.
struct DelineationCase {
    const char* name;
    int dem;  // 0 valley, 1 valley with pit, 2 volcano
    int64_t threshold;
};

Raster dem_of(int which) {
    if (which == 0) return v_valley(15, 11);
    if (which == 1) return v_valley_with_pit(15, 11);
    return read_ascii_raster(std::string(TEST_SOURCE_DIR) + "/gridprep_data/volcano_10m.asc");
}

class GridprepDelineationRules : public ::testing::TestWithParam<DelineationCase> {};

TEST_P(GridprepDelineationRules, NumberingLinksStreamsAndOutlets) {
    const Raster dem = dem_of(GetParam().dem);
    const int64_t threshold = GetParam().threshold;
    const FlowDirections fd = d8_directions(dem, fill_depressions(dem));
    const std::vector<int32_t> acc = flow_accumulation(fd);
    const std::size_t outlet = largest_outlet(acc);
    const std::vector<uint8_t> basin = basin_above(fd, outlet);
    const Subbasins sb = delineate_subbasins(fd, acc, basin, outlet, threshold);

    std::set<int32_t> used;
    for (std::size_t i = 0; i < basin.size(); ++i) {
        if (!basin[i]) {
            EXPECT_EQ(sb.id[i], 0);
            continue;
        }
        used.insert(sb.id[i]);
        EXPECT_EQ(end_of_path(fd, i), outlet) << "every basin cell drains to the outlet";
        EXPECT_EQ(sb.stream[i] != 0, acc[i] >= threshold || i == outlet);
    }
    ASSERT_EQ(static_cast<int32_t>(used.size()), sb.count) << "no gaps in the numbering";
    EXPECT_EQ(*used.begin(), 1);
    EXPECT_EQ(*used.rbegin(), sb.count);
    ASSERT_EQ(sb.outlet.size(), static_cast<std::size_t>(sb.count));
    EXPECT_EQ(sb.outlet[0], outlet);

    std::vector<uint8_t> is_outlet(basin.size(), 0);
    for (int32_t s = 1; s <= sb.count; ++s) {
        const std::size_t o = sb.outlet[static_cast<std::size_t>(s - 1)];
        is_outlet[o] = 1;
        EXPECT_EQ(sb.id[o], s);
        EXPECT_TRUE(sb.stream[o]);
        if (s == 1) continue;
        // A link ends where it meets another: the cell below has two stream inflows or more.
        const std::size_t below = static_cast<std::size_t>(fd.downstream(o));
        int stream_inflows = 0;
        for (std::size_t u = 0; u < basin.size(); ++u)
            if (basin[u] && sb.stream[u] && fd.downstream(u) == static_cast<int64_t>(below)) ++stream_inflows;
        EXPECT_GE(stream_inflows, 2) << "subbasin " << s;
    }
    // Inside a subbasin the water stays in it until the subbasin's outlet.
    for (std::size_t i = 0; i < basin.size(); ++i)
        if (basin[i] && !is_outlet[i]) {
            EXPECT_EQ(sb.id[static_cast<std::size_t>(fd.downstream(i))], sb.id[i]);
        }
}

INSTANTIATE_TEST_SUITE_P(Dems, GridprepDelineationRules,
                         ::testing::Values(DelineationCase{"valley_2", 0, 2}, DelineationCase{"valley_12", 0, 12},
                                           DelineationCase{"pit_3", 1, 3}, DelineationCase{"pit_1", 1, 1},
                                           DelineationCase{"volcano_5", 2, 5}, DelineationCase{"volcano_20", 2, 20},
                                           DelineationCase{"volcano_10000", 2, 10000}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// --- Horn's slope -----------------------------------------------------------

struct PlaneCase {
    double east, north;  // gradients dz/dx, dz/dy
};

class GridprepHornSlopeOfAPlane : public ::testing::TestWithParam<PlaneCase> {};

TEST_P(GridprepHornSlopeOfAPlane, IsTheGradientInPercentInside) {
    const PlaneCase p = GetParam();
    const double cell = 25.0;
    // x grows with the column, y with the row number going up (row 0 is north).
    const Raster dem =
        make_dem(6, 7, cell, [&](int r, int c) { return 300.0 + p.east * c * cell - p.north * r * cell; });
    const std::vector<double> slope = horn_slope_percent(dem);
    for (int r = 1; r < 5; ++r)
        for (int c = 1; c < 6; ++c)
            EXPECT_NEAR(slope[dem.geometry.index(r, c)], 100.0 * std::hypot(p.east, p.north), 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Planes, GridprepHornSlopeOfAPlane,
                         ::testing::Values(PlaneCase{0.1, 0.0}, PlaneCase{0.0, -0.05}, PlaneCase{0.03, 0.04},
                                           PlaneCase{-0.6, 0.8}, PlaneCase{0.0, 0.0}));

TEST(GridprepHornSlope, WeighsTheSideNeighboursTwice) {
    // Only the eastern neighbour is raised by 8: dz/dx = 2 x 8 / (8 x 10).
    const Raster dem = make_dem(3, 3, 10.0, [](int r, int c) { return (r == 1 && c == 2) ? 8.0 : 0.0; });
    EXPECT_NEAR(horn_slope_percent(dem)[4], 20.0, 1e-12);
}

TEST(GridprepHornSlope, MissingNeighboursTakeTheCentreValue) {
    const Raster one = make_dem(1, 1, 10.0, [](int, int) { return 42.0; });
    EXPECT_EQ(horn_slope_percent(one)[0], 0.0);
    const Raster holed = make_dem(3, 3, 10.0, [](int r, int c) { return (r == 1 && c == 2) ? std::nan("") : 5.0; });
    EXPECT_EQ(horn_slope_percent(holed)[4], 0.0);
}

// --- Travel times -----------------------------------------------------------

TEST(GridprepTravelTime, UniformChainAddsUpStepByStep) {
    // One row of 6 cells falling east; the last cell is the outlet.
    const Raster dem = make_dem(1, 6, 10.0, [](int, int c) { return 20.0 - c; });
    const FlowDirections fd = d8_directions(dem, fill_depressions(dem));
    const std::vector<int32_t> acc = flow_accumulation(fd);
    const std::vector<uint8_t> basin(6, 1);
    const Subbasins sb = delineate_subbasins(fd, acc, basin, 5, 100);
    RoutingParameters p;
    p.time_step_hours = 0.01;  // 36 s
    p.radius_exponent = 0.0;   // the same radius, velocity and dispersion everywhere
    p.channel_manning = 0.08;
    const std::vector<double> slope(6, 10.0), manning(6, 0.08);
    const TravelTimes tt = travel_times(fd, acc, sb, slope, manning, p);
    const CellFlow f = cell_flow(0.1, 0.0001, 0.08, p);
    const double step_time = 10.0 / f.velocity / 36.0;
    const double step_variance = 2.0 * f.dispersion * 10.0 / std::pow(f.velocity, 3) / (36.0 * 36.0);
    for (int c = 0; c < 6; ++c) {
        const double steps = (5 - c) + 0.5;
        EXPECT_NEAR(tt.to_basin_outlet_of(static_cast<std::size_t>(c)).mean, steps * step_time, 1e-9);
        EXPECT_NEAR(tt.to_basin_outlet_of(static_cast<std::size_t>(c)).variance, steps * step_variance, 1e-9);
    }
}

TEST(GridprepTravelTime, CellToOutletIsCellToSubbasinPlusRiverAndGrowsUpstream) {
    const Raster dem = v_valley_with_pit(15, 11);
    const std::vector<double> filled = fill_depressions(dem);
    const FlowDirections fd = d8_directions(dem, filled);
    const std::vector<int32_t> acc = flow_accumulation(fd);
    const std::size_t outlet = largest_outlet(acc);
    const std::vector<uint8_t> basin = basin_above(fd, outlet);
    const Subbasins sb = delineate_subbasins(fd, acc, basin, outlet, 4);
    ASSERT_GT(sb.count, 2);
    const std::vector<double> slope = horn_slope_percent(dem);
    const std::vector<double> manning(slope.size(), 0.1);
    RoutingParameters p;
    p.time_step_hours = 0.05;
    const TravelTimes tt = travel_times(fd, acc, sb, slope, manning, p);
    EXPECT_EQ(tt.river[0].mean, 0.0);
    for (std::size_t i = 0; i < basin.size(); ++i) {
        const TravelTime& whole = tt.to_basin_outlet_of(i);
        const TravelTime& part = tt.to_subbasin_outlet_of(i);
        const TravelTime& river = tt.river[static_cast<std::size_t>(sb.id[i] - 1)];
        EXPECT_NEAR(whole.mean, part.mean + river.mean, 1e-9 * whole.mean);
        EXPECT_NEAR(whole.variance, part.variance + river.variance, 1e-9 * whole.variance);
        if (i != outlet) {
            EXPECT_GT(whole.mean, tt.to_basin_outlet_of(static_cast<std::size_t>(fd.downstream(i))).mean);
        }
    }
}

}  // namespace
