// Depression filling, D8 directions with flats, accumulation, the basin of an
// outlet, and the leniency of the DEM reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "accumulation.hpp"
#include "dem_grid.hpp"
#include "flow_direction.hpp"
#include "grid_cells.hpp"
#include "gridprep_test_dems.hpp"
#include "input_error.hpp"
#include "priority_flood.hpp"

namespace {

using namespace gridprep;
using namespace gridprep_testing;

struct Drainage {
    Raster dem;
    std::vector<double> filled;
    FlowDirections fd;
    std::vector<int32_t> acc;
};

Drainage drain(const Raster& dem) {
    Drainage d{dem, fill_depressions(dem), {}, {}};
    d.fd = d8_directions(d.dem, d.filled);
    d.acc = flow_accumulation(d.fd);
    return d;
}

// A grid of 3 rows and 4 columns: cell 6 is row 2, column 3.
TEST(GridprepGridCells, NeighboursInsideTheGridClockwiseFromEast) {
    Geometry g;
    g.n_rows = 3;
    g.n_cols = 4;
    const struct {
        std::size_t cell;
        std::vector<std::pair<std::size_t, int>> neighbours;  // (index, direction code)
    } cases[] = {
        {0, {{1, 0}, {5, 1}, {4, 2}}},                                            // north-west corner
        {6, {{7, 0}, {11, 1}, {10, 2}, {9, 3}, {5, 4}, {1, 5}, {2, 6}, {3, 7}}},  // inside
        {11, {{10, 4}, {6, 5}, {7, 6}}},                                          // south-east corner
        {8, {{9, 0}, {5, 7}, {4, 6}}},                                            // south-west corner
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::size_t, int>> seen;
        for_each_neighbour(g, c.cell, [&](std::size_t n, int k) { seen.emplace_back(n, k); });
        std::sort(seen.begin(), seen.end(), [](auto a, auto b) { return a.second < b.second; });
        auto expected = c.neighbours;
        std::sort(expected.begin(), expected.end(), [](auto a, auto b) { return a.second < b.second; });
        EXPECT_EQ(seen, expected) << "cell " << c.cell;
    }
    EXPECT_EQ(cell_text(g, 6), "row 2, column 3");
    EXPECT_EQ(cell_text(g, 11), "row 3, column 4");
}

TEST(GridprepPriorityFlood, RaisesAPitToItsSpillLevelAndLeavesTheRestAlone) {
    const Raster dem = v_valley_with_pit();
    const std::vector<double> filled = fill_depressions(dem);
    const std::size_t pit = dem.geometry.index(6, 4);
    EXPECT_DOUBLE_EQ(filled[pit], 58.0);  // the lowest rim cell: one row further down the valley
    for (std::size_t i = 0; i < filled.size(); ++i)
        if (i != pit) {
            EXPECT_EQ(filled[i], dem.value[i]) << "cell " << i;
        }
}

TEST(GridprepPriorityFlood, FillsANestedDepressionToTheOuterRim) {
    // A bowl (rim 10) with a deeper hole in it, inside a border of 5.
    const Raster dem = make_dem(7, 7, 10.0, [](int r, int c) {
        if (r == 0 || c == 0 || r == 6 || c == 6) return 5.0;
        if (r == 1 || c == 1 || r == 5 || c == 5) return (r == 1 && c == 3) ? 8.0 : 10.0;
        return (r == 3 && c == 3) ? 1.0 : 4.0;
    });
    const std::vector<double> filled = fill_depressions(dem);
    for (int r = 2; r <= 4; ++r)
        for (int c = 2; c <= 4; ++c) EXPECT_DOUBLE_EQ(filled[dem.geometry.index(r, c)], 8.0);
}

TEST(GridprepFlowDirections, TiltedPlaneDrainsStraightDownhill) {
    const Drainage d = drain(tilted_plane(8, 6));
    const Geometry& g = d.dem.geometry;
    for (int r = 0; r < g.n_rows - 1; ++r)
        for (int c = 0; c < g.n_cols; ++c) EXPECT_EQ(d.fd.code[g.index(r, c)], 2) << r << "," << c;  // south
    for (int c = 0; c < g.n_cols; ++c) {
        EXPECT_EQ(d.fd.code[g.index(g.n_rows - 1, c)], kOutflow);
        EXPECT_EQ(d.acc[g.index(g.n_rows - 1, c)], g.n_rows);
    }
}

TEST(GridprepFlowDirections, DiagonalDropsAreMeasuredOverTheDiagonal) {
    // Drop 1.0 to the south, 1.3 to the south-east: over the diagonal that is
    // 0.92 per cell side, so south wins; with 1.5 the diagonal wins.
    for (const auto& [diagonal_drop, expected] : {std::pair{1.3, 2}, std::pair{1.5, 1}}) {
        const double dd = diagonal_drop;
        const Raster dem = make_dem(3, 3, 10.0, [=](int r, int c) {
            if (r == 1 && c == 1) return 10.0;
            if (r == 2 && c == 1) return 9.0;
            if (r == 2 && c == 2) return 10.0 - dd;
            return 20.0;
        });
        const Drainage d = drain(dem);
        EXPECT_EQ(d.fd.code[dem.geometry.index(1, 1)], expected) << "diagonal drop " << dd;
    }
}

// Every cell of these DEMs drains to the outlet at the foot of the valley,
// whatever pits and flats lie on the way.
class GridprepEveryCellReachesTheOutlet : public ::testing::TestWithParam<int> {};

TEST_P(GridprepEveryCellReachesTheOutlet, ValleyDems) {
    const Raster dem = GetParam() == 0 ? v_valley() : v_valley_with_pit();
    const Drainage d = drain(dem);
    const Geometry& g = dem.geometry;
    const std::size_t outlet = g.index(g.n_rows - 1, g.n_cols / 2);
    EXPECT_EQ(largest_outlet(d.acc), outlet);
    EXPECT_EQ(d.acc[outlet], static_cast<int32_t>(g.cells()));
    for (std::size_t i = 0; i < g.cells(); ++i) EXPECT_EQ(end_of_path(d.fd, i), outlet) << "cell " << i;
    const std::vector<uint8_t> basin = basin_above(d.fd, outlet);
    EXPECT_EQ(std::count(basin.begin(), basin.end(), uint8_t{1}), static_cast<long>(g.cells()));
}

INSTANTIATE_TEST_SUITE_P(Valleys, GridprepEveryCellReachesTheOutlet, ::testing::Values(0, 1));

TEST(GridprepFlowDirections, FlatsDrainTowardsTheirWayOutWithoutLoops) {
    // A flat floor at 5 whose only way out is a notch in the east wall.
    const Raster dem = make_dem(6, 8, 10.0, [](int r, int c) {
        if (r == 3 && c == 7) return 4.0;
        if (r == 0 || c == 0 || r == 5 || c == 7) return 9.0;
        return 5.0;
    });
    const Drainage d = drain(dem);
    const Geometry& g = dem.geometry;
    const std::size_t notch = g.index(3, 7);
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 6; ++c) {
            const std::size_t i = g.index(r, c);
            EXPECT_EQ(end_of_path(d.fd, i), notch);
            // Each step on the flat brings the water one cell nearer to the notch.
            const int64_t next = d.fd.downstream(i);
            const auto dist = [&](std::size_t k) {
                const int rr = static_cast<int>(k) / g.n_cols, cc = static_cast<int>(k) % g.n_cols;
                return std::max(std::abs(rr - 3), std::abs(cc - 7));
            };
            EXPECT_EQ(dist(static_cast<std::size_t>(next)), dist(i) - 1) << r << "," << c;
        }
}

TEST(GridprepFlowDirections, NoDataMarginAndHolesKeepEveryCellDraining) {
    const Raster dem = make_dem(9, 9, 30.0, [](int r, int c) {
        if (r == 0 || c == 0 || r == 8 || c == 8 || (r == 4 && c == 4)) return std::nan("");
        if (r == 2 && c == 6) return 1.0;  // a pit
        return 10.0;                       // everything else flat
    });
    const Drainage d = drain(dem);
    for (std::size_t i = 0; i < dem.geometry.cells(); ++i) {
        if (!dem.has_data[i]) {
            EXPECT_EQ(d.fd.code[i], kNoFlow);
            continue;
        }
        const std::size_t end = end_of_path(d.fd, i);
        EXPECT_EQ(d.fd.code[end], kOutflow);
        const int r = static_cast<int>(end) / 9, c = static_cast<int>(end) % 9;
        EXPECT_TRUE(is_edge_cell(dem, r, c));
    }
}

TEST(GridprepAccumulation, CountsUpstreamCellsOnAHandMadeTree) {
    // 4 x 3 cells: the columns run south, the bottom corners run to the
    // bottom middle cell, which drains out of the grid.
    FlowDirections fd;
    fd.geometry.n_rows = 4;
    fd.geometry.n_cols = 3;
    fd.geometry.cell_size = 10;
    fd.code = {2, 2, 2, 2, 2, 2, 1, 2, 3, 0, kOutflow, 4};
    const std::vector<int32_t> acc = flow_accumulation(fd);
    EXPECT_EQ(acc, (std::vector<int32_t>{1, 1, 1, 2, 2, 2, 3, 3, 3, 1, 12, 1}));
}

TEST(GridprepOutlet, SnapsToTheLargestAccumulationWithinTheRadius) {
    const Drainage d = drain(v_valley(12, 9));
    const Geometry& g = d.dem.geometry;
    // Two cells beside the valley floor.
    EXPECT_EQ(snap_outlet(d.fd, d.acc, 10, 2, 0.0), g.index(10, 2));
    // Within 1.5 cells the nearest of the slope cells that gather a whole row.
    EXPECT_EQ(snap_outlet(d.fd, d.acc, 10, 2, 1.5), g.index(10, 3));
    // Within 2 cells the valley floor of the same row (11 rows of 9 cells above it).
    EXPECT_EQ(snap_outlet(d.fd, d.acc, 10, 2, 2.0), g.index(10, 4));
    EXPECT_EQ(d.acc[g.index(10, 4)], 99);
}

// --- The DEM reader ---------------------------------------------------------

struct ReaderCase {
    const char* name;
    const char* text;
    int cols, rows;
    double xll, yll, size;
    int cells_with_data;
};

class GridprepDemReaderAccepts : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(GridprepDemReaderAccepts, CommonExportForms) {
    const ReaderCase& c = GetParam();
    const Raster r = parse_ascii_raster(c.name, c.text);
    EXPECT_EQ(r.geometry.n_cols, c.cols);
    EXPECT_EQ(r.geometry.n_rows, c.rows);
    EXPECT_DOUBLE_EQ(r.geometry.xll, c.xll);
    EXPECT_DOUBLE_EQ(r.geometry.yll, c.yll);
    EXPECT_DOUBLE_EQ(r.geometry.cell_size, c.size);
    EXPECT_EQ(std::accumulate(r.has_data.begin(), r.has_data.end(), 0), c.cells_with_data);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, GridprepDemReaderAccepts,
    ::testing::Values(
        ReaderCase{"plain",
                   "ncols 2\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 5\nNODATA_value -9999\n1 2\n3 -9999\n", 2, 2,
                   10, 20, 5, 3},
        ReaderCase{"decimals_crlf",
                   "NCOLS 2\r\nNROWS 1\r\nXLLCORNER 10.5\r\nYLLCORNER 20.25\r\nCELLSIZE 90.000000000000\r\n"
                   "NODATA_VALUE -3.4028234663852886e+38\r\n1.5 -3.40282346639e+38\r\n",
                   2, 1, 10.5, 20.25, 90, 1},
        ReaderCase{"centre_no_nodata", "ncols 3\nnrows 1\nxllcenter 15\nyllcenter 25\ncellsize 10\n1 2 3\n", 3, 1, 10,
                   20, 10, 3},
        ReaderCase{"nan_and_split_rows",
                   "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value nan\n"
                   "1 nan\n2\n3,4,5\n",
                   3, 2, 0, 0, 1, 5},
        ReaderCase{"dx_dy", "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ndx 30\ndy 30\n7\n", 1, 1, 0, 0, 30, 1}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

struct ReaderError {
    const char* name;
    const char* text;
    const char* message_part;
};

class GridprepDemReaderRejects : public ::testing::TestWithParam<ReaderError> {};

TEST_P(GridprepDemReaderRejects, WithFileLineAndWhatWasFound) {
    const ReaderError& c = GetParam();
    try {
        parse_ascii_raster("dem.asc", c.text);
        FAIL() << "accepted";
    } catch (const hydro::InputError& e) {
        EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("dem.asc", 0), 0u) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, GridprepDemReaderRejects,
    ::testing::Values(
        ReaderError{"missing_rows", "ncols 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n",
                    "expected the header keyword nrows"},
        ReaderError{"too_few_values", "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n3\n",
                    "line 7: expected the value of row 2, column 2"},
        ReaderError{"too_many_values", "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n",
                    "found more values, starting with \"2\""},
        ReaderError{"bad_value", "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 x2\n",
                    "line 6: expected a number, found \"x2\""},
        ReaderError{"unknown_keyword", "ncols 1\nnrows 1\nxll 0\n", "line 3: expected a header keyword"},
        ReaderError{"fractional_columns", "ncols 2.5\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n",
                    "a positive whole number of columns"},
        ReaderError{"rectangular_cells", "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ndx 30\ndy 20\n7\n",
                    "square cells"},
        ReaderError{"infinite", "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\ninf\n", "found \"inf\""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
