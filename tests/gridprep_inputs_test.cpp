// Stations and their Thiessen grids, the soil and land-cover tables, the
// station series check and the command line.
#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "input_error.hpp"
#include "parameter_tables.hpp"
#include "prep_options.hpp"
#include "project_writer.hpp"
#include "series_check.hpp"
#include "thiessen_grid.hpp"

namespace {

using namespace gridprep;

// Expects an InputError whose message holds every one of the parts.
template <typename F>
void expect_input_error(F&& f, std::initializer_list<const char*> parts) {
    try {
        f();
        ADD_FAILURE() << "accepted";
    } catch (const hydro::InputError& e) {
        for (const char* p : parts) EXPECT_NE(std::string(e.what()).find(p), std::string::npos) << e.what();
    }
}

TEST(GridprepThiessen, MatchesBruteForceNearestStation) {
    Geometry g;
    g.n_rows = 23;
    g.n_cols = 31;
    g.cell_size = 50;
    g.xll = 300000;
    g.yll = 4000000;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> x(g.xll - 500, g.xll + 2000), y(g.yll - 500, g.yll + 1600);
    std::vector<Station> stations;
    for (int n = 9; n >= 1; --n) stations.push_back(Station{Variable::precipitation, n, x(rng), y(rng)});
    std::vector<uint8_t> mask(g.cells(), 1);
    mask[5] = 0;
    const std::vector<int32_t> zone = thiessen_grid(g, mask, stations);
    for (int r = 0; r < g.n_rows; ++r)
        for (int c = 0; c < g.n_cols; ++c) {
            const std::size_t i = g.index(r, c);
            if (!mask[i]) {
                EXPECT_EQ(zone[i], 0);
                continue;
            }
            const double cx = g.xll + (c + 0.5) * g.cell_size, cy = g.yll + (g.n_rows - r - 0.5) * g.cell_size;
            double best = std::numeric_limits<double>::max();
            int nearest = 0;
            for (const Station& s : stations) {
                const double d = std::hypot(cx - s.x, cy - s.y);
                if (d < best || (d == best && s.number < nearest)) best = d, nearest = s.number;
            }
            EXPECT_EQ(zone[i], nearest) << "row " << r << ", column " << c;
        }
}

TEST(GridprepThiessen, TiesGoToTheLowerStationNumber) {
    Geometry g;
    g.n_rows = 1;
    g.n_cols = 1;
    g.cell_size = 10;
    const std::vector<Station> two{{Variable::temperature, 4, 0.0, 5.0}, {Variable::temperature, 2, 10.0, 5.0}};
    EXPECT_EQ(thiessen_grid(g, {1}, two)[0], 2);
}

TEST(GridprepStationFile, ReadsTitlesCommentsAndEitherSeparator) {
    const std::vector<Station> s = parse_station_file("st.csv",
                                                      "\xEF\xBB\xBFvariable,station,x,y\r\n"
                                                      "# rain gauges\r\n"
                                                      "p, 2, 100.5, 200\r\n"
                                                      "\r\n"
                                                      "PET 1 -3e2 4\n"
                                                      "Temperature,1,7,8\n");
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].variable, Variable::precipitation);
    EXPECT_EQ(s[0].number, 2);
    EXPECT_DOUBLE_EQ(s[0].x, 100.5);
    EXPECT_EQ(s[1].variable, Variable::evapotranspiration);
    EXPECT_DOUBLE_EQ(s[1].x, -300.0);
    EXPECT_EQ(s[2].variable, Variable::temperature);
    EXPECT_EQ(stations_of(s, Variable::precipitation).size(), 1u);
}

struct BadText {
    const char* name;
    const char* text;
    const char* part;
};

class GridprepStationFileRejects : public ::testing::TestWithParam<BadText> {};

TEST_P(GridprepStationFileRejects, NamingTheLine) {
    expect_input_error([&] { parse_station_file("st.csv", GetParam().text); }, {"st.csv, line", GetParam().part});
}

INSTANTIATE_TEST_SUITE_P(
    Errors, GridprepStationFileRejects,
    ::testing::Values(BadText{"variable", "p,1,0,0\nwind,1,0,0\n", "line 2: expected a variable p, e or t"},
                      BadText{"number", "p,1,0,0\np,0,0,0\n", "line 2: expected a station number of 1 or more"},
                      BadText{"coordinate", "p,1,0,north\n", "expected the y coordinate"},
                      BadText{"fields", "p,1,0\n", "expected four fields"},
                      BadText{"twice", "p,1,0,0\ne,1,0,0\np,1,5,5\n",
                              "line 3: expected a station number not yet used"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(GridprepTables, ReadClassesWithOrWithoutTitles) {
    const auto soils = parse_soil_table("soil.csv",
                                        "class,fc,por,k,b,res,wp\n1,0.3,0.45,10,8,0.02,0.1\n"
                                        "7, 0.2, 0.4, 50, 5, 0.01, 0.05\n");
    ASSERT_EQ(soils.size(), 2u);
    EXPECT_EQ(soils[1].id, 7);
    EXPECT_DOUBLE_EQ(soils[1].conductivity, 50.0);
    const auto covers = parse_cover_table("cover.csv", "3 0.5 1.2 2 0.5 3 0.2\n");
    ASSERT_EQ(covers.size(), 1u);
    EXPECT_DOUBLE_EQ(covers[0].manning_n, 0.2);
}

class GridprepTablesReject : public ::testing::TestWithParam<BadText> {};

TEST_P(GridprepTablesReject, ValuesTheModelCannotUse) {
    const BadText& c = GetParam();
    const bool soil = std::string(c.name).rfind("soil", 0) == 0;
    expect_input_error(
        [&] { soil ? (void)parse_soil_table("t.csv", c.text) : (void)parse_cover_table("t.csv", c.text); },
        {"t.csv", c.part});
}

INSTANTIATE_TEST_SUITE_P(
    Errors, GridprepTablesReject,
    ::testing::Values(BadText{"soil_order", "1,0.3,0.45,10,8,0.02,0.35\n", "wilting point 0.35, field capacity 0.3"},
                      BadText{"soil_conductivity", "1,0.3,0.45,0,8,0.02,0.1\n", "expected a conductivity above 0"},
                      BadText{"soil_short", "1,0.3,0.45\n", "expected 7 fields"},
                      BadText{"soil_empty", "# nothing\n", "expected at least one class line"},
                      BadText{"soil_twice", "1,0.3,0.45,10,8,0.02,0.1\n1,0.3,0.45,10,8,0.02,0.1\n",
                              "line 2: expected a class number not used before"},
                      BadText{"cover_runoff", "1,0,1,1,0.5,2,0.1\n", "expected a runoff coefficient above 0"},
                      BadText{"cover_depression", "1,0.3,1,1,0.5,0,0.1\n", "expected a depression capacity above 0"},
                      BadText{"cover_interception", "1,0.3,1,1,2,2,0.1\n", "minimum 2, maximum 1"},
                      BadText{"cover_number", "1,0.3,deep,1,0.5,2,0.1\n", "expected a number for the root depth"},
                      // Checked at the six decimals of the grids: residual and wilting point both 0.1 there.
                      BadText{"soil_as_written", "1,0.3,0.45,10,8,0.1000001,0.1\n", "residual 0.1, wilting point 0.1"},
                      BadText{"soil_conductivity_huge", "1,0.3,0.45,1e300,8,0.02,0.1\n", "at most 100000 (mm/h)"},
                      BadText{"cover_manning_huge", "1,0.3,1,1,0.5,2,1e300\n",
                              "a Manning coefficient above 0 and at most 1"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(GridprepSeriesCheck, CountsRecordsAndKeepsTheFirstAndLastDate) {
    const SeriesCheck c =
        check_series("p.txt", "year month day hour 10 20 30\n2012 1 1 0 0.5 1 2\n\n2012,1,1,1,0,0,0,9\n", 3);
    EXPECT_EQ(c.records, 2);
    EXPECT_EQ(c.first.hour, 0);
    EXPECT_EQ(c.last.hour, 1);
    EXPECT_EQ(c.last.year, 2012);
}

class GridprepSeriesRejects : public ::testing::TestWithParam<BadText> {};

TEST_P(GridprepSeriesRejects, WhatTheProgramsCouldNotRead) {
    expect_input_error([&] { check_series("p.txt", GetParam().text, 2); }, {"p.txt", GetParam().part});
}

INSTANTIATE_TEST_SUITE_P(
    Errors, GridprepSeriesRejects,
    ::testing::Values(BadText{"short_record", "y m d h 1 2\n2012 1 1 0 5\n", "line 2: expected 6 values"},
                      BadText{"named_stations", "y m d h north south\n2012 1 1 0 5 5\n", "the elevation of station 1"},
                      BadText{"decimal_year", "y m d h 1 2\n2012.5 1 1 0 5 5\n", "the year (a whole number)"},
                      BadText{"bad_value", "y m d h 1 2\n2012 1 1 0 5 x\n", "the value of station 2"},
                      BadText{"no_records", "y m d h 1 2\n", "at least one record"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(GridprepCommandLine, ReadsEveryForm) {
    const PrepOptions o =
        parse_command_line({"--dem", "d.asc", "--output=out", "--outlet-xy", "10.5", "-20", "--snap", "3",
                            "--threshold", "2.5", "--time-step", "1", "--min-slope", "0.5", "--report", "1,2"});
    EXPECT_EQ(o.dem, "d.asc");
    EXPECT_EQ(o.output, "out");
    EXPECT_EQ(o.outlet_kind, OutletKind::map_xy);
    EXPECT_DOUBLE_EQ(o.outlet_y, -20.0);
    EXPECT_DOUBLE_EQ(o.snap_radius, 3.0);
    EXPECT_DOUBLE_EQ(o.threshold_km2, 2.5);
    EXPECT_DOUBLE_EQ(o.routing.time_step_hours, 1.0);
    EXPECT_DOUBLE_EQ(o.routing.min_slope, 0.005);
    EXPECT_EQ(o.report, "1,2");
    EXPECT_TRUE(parse_command_line({"--help"}).help);
}

struct BadLine {
    std::vector<std::string> args;
    const char* part;
};

class GridprepCommandLineRejects : public ::testing::TestWithParam<BadLine> {};

TEST_P(GridprepCommandLineRejects, WithAUsageError) {
    try {
        parse_command_line(GetParam().args);
        FAIL() << "accepted";
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().part), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, GridprepCommandLineRejects,
    ::testing::Values(BadLine{{"--output", "o"}, "--dem is required"}, BadLine{{"--dem", "d"}, "--output is required"},
                      BadLine{{"--dem", "d", "--output", "o", "--outlet-rc", "0", "4"}, "at least 1"},
                      BadLine{{"--dem", "d", "--output", "o", "--outlet-rc", "3"}, "needs 2 values"},
                      BadLine{{"--dem", "d", "--output", "o", "--soil-grid", "s.asc"},
                              "--soil-grid needs --soil-table"},
                      BadLine{{"--dem", "d", "--output", "o", "--outlet-xy", "1", "2", "--outlet-rc", "1", "1"},
                              "give the outlet once"},
                      BadLine{{"--dem", "d", "--output", "o", "--frobnicate"}, "unknown option"}));

}  // namespace
