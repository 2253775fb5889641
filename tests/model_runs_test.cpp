// Whole projects through the gridrun executable: the menu, a snow season
// worked out by hand, a two-subbasin basin whose result files must agree
// with each other and with hand-worked values in both run modes, the basin
// water balance,
// and input errors that must stop the run before any result file changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "calendar.hpp"
#include "catchment.hpp"
#include "project_builder.hpp"
#include "test_support.hpp"

namespace {

using namespace project_builder;
using testing_support::read_file;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::write_file;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// ---------------------------------------------------------------- menu

TEST(Menu, AnyAnswerButOneOrTwoEndsTheProgramBeforeReadingTheProject) {
    for (const char* answer : {"3", "0", "-1", "7", "\n  \n3"}) {
        SCOPED_TRACE(answer);
        TempDir tmp("menu");
        // Only the subbasin grid: the scan would fail on the missing files.
        write_file(tmp.path() / "arcview" / "ascii" / "watershed.asc",
                   "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 100\nNODATA_value -9999\n1 1\n");
        const RunResult r = run_gridrun(tmp.path(), answer);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "");
        ASSERT_GE(r.out.size(), 21u);
        EXPECT_EQ(r.out.substr(r.out.size() - 21), "Your Choice (1/2/3):\n");
        EXPECT_FALSE(fs::exists(tmp.path() / "model"));
    }
}

// ---------------------------------------------------------------- snow

// One cell of 1 km2 with daily steps from 10 January (35 mm of snow on the
// ground), degree-day factor 2, base 0, no PET. Runoff coefficient 1 sends all
// net rain off; a depression capacity of 0.001 mm passes it all
// (exp(-E/0.001) = 0); the canopy holds 1 mm.
//   step  T   rain  melt  canopy  runoff          arrives (lag 1) at
//   1     5   10    10    1       9 + 10 = 19     step 3: 19000 m3 / 86400 s
//   2     5   0     10    1       10              step 4
//   3    -1   4     snow step: pack 19, canopy emptied, nothing new
//   4     3   0     6     0       6               step 6
//   5     0   0     snow step (at the base temperature)
//   6    10   2     13    1       1 + 13 = 14     step 8, after the run
Project snow_project() {
    Project p = tiny_project({1, -9999}, 2, 6);
    p.dates = dates_from({2001, 1, 10, 0}, 6, 24);
    p.control.degree_day_factor = 2;
    p.control.initial_moisture_ratio = 0.5;
    p.control.reported_subbasins = {1};
    p.set_basin_value("runoff_co.asc", 1);
    p.set_basin_value("interc_max.asc", 1);
    p.set_basin_value("interc_min.asc", 1);
    p.set_basin_value("depression.asc", 0.001);
    p.precipitation = {{10}, {0}, {4}, {0}, {0}, {2}};
    p.pet.assign(6, {0});
    p.temperature = {{5}, {5}, {-1}, {3}, {0}, {10}};
    p.uh_cell_h = {"1 1 1"};
    p.uh_cell_s = {"0 0 1"};
    p.uh_river = {"1 1 1"};  // cell lag 0 plus river lag 1: the same arrivals
    return p;
}

TEST(SnowSeason, SnowStepsRouteNothingNewWhileEarlierFlowArrives) {
    const std::string q_tot =
        "    year   month      day     hour   rain       Qs        Qi       Qg         Q        temp\n"
        "    2001       1      10       0    10.000     0.000     0.000     0.000     0.000     5.000\n"
        "    2001       1      11       0     0.000     0.000     0.000     0.000     0.000     5.000\n"
        "    2001       1      12       0     4.000     0.220     0.000     0.000     0.220    -1.000\n"
        "    2001       1      13       0     0.000     0.116     0.000     0.000     0.116     3.000\n"
        "    2001       1      14       0     0.000     0.000     0.000     0.000     0.000     0.000\n"
        "    2001       1      15       0     2.000     0.069     0.000     0.000     0.069    10.000\n";
    const std::string balance =
        "    year   month      day     hour   rain      inte     s_mo       infi      evap      perc      RS        RI"
        "        RG        R        GT        temp\n"
        "    2001       1      10       0    10.000     1.000   150.000     0.000     0.000     0.000    19.000"
        "     0.000     0.000    19.000     0.000     5.000\n"
        "    2001       1      11       0     0.000     0.000   150.000     0.000     0.000     0.000    10.000"
        "     0.000     0.000    10.000     0.000     5.000\n"
        "    2001       1      12       0     4.000     0.000   150.000     0.000     0.000     0.000     0.000"
        "     0.000     0.000     0.000     0.000    -1.000\n"
        "    2001       1      13       0     0.000     0.000   150.000     0.000     0.000     0.000     6.000"
        "     0.000     0.000     6.000     0.000     3.000\n"
        "    2001       1      14       0     0.000     0.000   150.000     0.000     0.000     0.000     0.000"
        "     0.000     0.000     0.000     0.000     0.000\n"
        "    2001       1      15       0     2.000     1.000   150.000     0.000     0.000     0.000    14.000"
        "     0.000     0.000    14.000     0.000    10.000\n";
    // At the subbasin outlet the flows arrive one step earlier (cell lag 0).
    const std::string q_sub =
        "    year   month      day     hour       1\n"
        "    2001       1      10       0     0.000\n"
        "    2001       1      11       0     0.220\n"
        "    2001       1      12       0     0.116\n"
        "    2001       1      13       0     0.000\n"
        "    2001       1      14       0     0.069\n"
        "    2001       1      15       0     0.000\n";
    TempDir tmp("snow");
    write_project(snow_project(), tmp.path());
    const fs::path out = tmp.path() / "model" / "output";
    write_file(out / "q_sub.txt", "from an earlier run\n");

    const RunResult mode1 = run_gridrun(tmp.path(), "1");
    ASSERT_EQ(mode1.exit_code, 0) << mode1.err;
    EXPECT_EQ(read_file(out / "q_tot.txt"), q_tot);
    EXPECT_EQ(read_file(out / "balance.txt"), balance);
    EXPECT_EQ(read_file(out / "q_sub.txt"), "from an earlier run\n");

    const RunResult mode2 = run_gridrun(tmp.path(), "2");
    ASSERT_EQ(mode2.exit_code, 0) << mode2.err;
    EXPECT_EQ(read_file(out / "q_tot.txt"), q_tot);
    EXPECT_EQ(read_file(out / "balance.txt"), balance);
    EXPECT_EQ(read_file(out / "q_sub.txt"), q_sub);
}

TEST(SnowSeason, RunModeTwoWithoutReportedSubbasinsWritesNoSubbasinFile) {
    Project p = snow_project();
    p.control.reported_subbasins.clear();
    TempDir tmp("noreport");
    write_project(p, tmp.path());
    const RunResult r = run_gridrun(tmp.path(), "2");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_FALSE(fs::exists(tmp.path() / "model" / "output" / "q_sub.txt"));
    EXPECT_TRUE(fs::exists(tmp.path() / "model" / "output" / "q_tot.txt"));
}

// ---------------------------------------------------------------- two subbasins

// Subbasin 1 is the top-left cell, subbasin 2 the two cells beside and below
// it; the bottom-right position lies outside. Hourly steps in July, PET factor
// 0.8, soils above field capacity at the start (ratio 1.2), so every cell
// percolates and drains sideways from the first step. The first cell has a
// seasonal canopy (1 to 3 mm), the third none (so the dry runoff coefficient,
// from its coefficient 0.4 and conductivity 3: c = 0.38, applies, and its
// evapotranspiration is cut to 30 %). The first cell is twice as steep as the
// others, so its subbasin's recession is 0.1 x 0.2 / (0.4 / 3). No
// evaporation demand in the first step (PET 0), then rising demand.
Project two_subbasin_project() {
    Project p = tiny_project({1, 2, 2, -9999}, 2, 8);
    p.dates = dates_from({2001, 7, 1, 0}, 8, 1);
    Control& c = p.control;
    c.time_step_hours = 1;
    // The parameter line: interflow scale 5, groundwater recession 0.1, initial moisture ratio 1.2 (wetter than
    // field capacity), PET factor 0.8, initial groundwater 50 mm, groundwater scale 200 mm, no snow, runoff
    // exponent 2, runoff rain threshold 6 mm.
    const float line[hydro::kControlParameterCount] = {5, 0.1f, 1.2f, 0.8f, 50, 200, 0, -1, 0, 2, 6};
    for (std::size_t i = 0; i < hydro::kControlParameterCount; ++i) c.*hydro::kControlParameters[i].field = line[i];
    c.reported_subbasins = {2, 1};
    c.periods = {{{"2001 7 1 0 2001 7 1 2"},
                  {},
                  {"2001 7 1 1 2001 7 1 7"},
                  {"2001 7 1 3 2001 7 1 3", "2002 1 1 0 2002 1 2 0"},
                  {"2001 7 1 0 2001 7 1 7", "2001 7 1 2 2001 7 1 3"}}};
    p.grid("thiessen_p.asc") = {1, 2, 2, kNoData};
    p.grid("runoff_co.asc") = {0.5, 0.3, 0.4, kNoData};
    p.grid("rootdepth.asc") = {1, 0.8, 1, kNoData};
    p.grid("conductivity.asc") = {2, 2, 3, kNoData};
    p.grid("depression.asc") = {5, 2, 5, kNoData};
    p.grid("interc_max.asc") = {3, 1.5, 0, kNoData};
    p.grid("interc_min.asc") = {1, 1.5, 0, kNoData};
    p.grid("slope.asc") = {20, 10, 10, kNoData};
    p.precipitation = {{10, 0}, {0, 8}, {5, 0}, {0, 0}, {0, 3}, {0, 0}, {2, 0}, {0, 0}};
    p.pet = {{0}, {0.5}, {0.2}, {0.3}, {0}, {0.4}, {0.1}, {0.6}};
    p.uh_cell_h = {"0 1 0.6 0.4", "1 2 0.5 0.5", "0 0 1"};
    p.uh_cell_s = {"0 0 1", "0 1 0.5 0.5", "1 1 1"};
    p.uh_river = {"1 1 1", "0 1 0.7 0.3"};
    return p;
}

// The values of a result file: per record, the fields after the four date
// fields (ten characters each).
std::vector<std::vector<double>> records_of(const std::string& text) {
    std::vector<std::vector<double>> out;
    const std::vector<std::string> lines = lines_of(text);
    for (std::size_t t = 1; t < lines.size(); ++t) {
        std::vector<double> v;
        for (std::size_t pos = 32; pos + 10 <= lines[t].size(); pos += 10)
            v.push_back(std::stod(lines[t].substr(pos, 10)));
        out.push_back(v);
    }
    return out;
}

// The values of a map, row after row.
std::vector<double> map_values(const std::string& text, int n_rows) {
    const std::vector<std::string> lines = lines_of(text);
    std::vector<double> values;
    for (int r = 0; r < n_rows && 6u + r < lines.size(); ++r)
        for (std::size_t pos = 0; pos + 10 <= lines[6 + r].size(); pos += 10)
            values.push_back(std::stod(lines[6 + r].substr(pos, 10)));
    return values;
}

// Fields of balance.txt and q_tot.txt (from 0, after the date).
enum {
    kRainField,
    kInterceptionField,
    kMoistureField,
    kInfiltrationField,
    kEvaporationField,
    kPercolationField,
    kSurfaceRunoffField,
    kInterflowField,
    kGroundwaterRunoffField,
    kRunoffField,
    kGroundwaterStorageField
};
enum { kQRain, kQSurface, kQInterflow, kQGroundwater, kQTotal };

class TwoSubbasins : public ::testing::TestWithParam<int> {};

// The result files of one run agree with each other (sums of their parts,
// maps against the basin series, the outlet against the reported subbasins
// routed along the river) and with values worked by hand. Each printed value
// is rounded to 0.0005.
TEST_P(TwoSubbasins, ResultFilesAgreeWithEachOtherAndWithHandWorkedValues) {
    const int mode = GetParam();
    const Project p = two_subbasin_project();
    TempDir tmp("two");
    write_project(p, tmp.path());
    // The maps carry the header texts of the last parameter grid read.
    const fs::path elevation = tmp.path() / "arcview" / "ascii" / "elevation.asc";
    std::string text = read_file(elevation);
    text.replace(text.find("xllcorner 500000.0"), 18, "XLLCORNER 123456.789012345");
    write_file(elevation, text);

    const RunResult r = run_gridrun(tmp.path(), std::to_string(mode));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("cell:         3   rows:      2   cols:      1\n"), std::string::npos);
    EXPECT_EQ(r.out.find("cell:         4"), std::string::npos);

    const fs::path out = tmp.path() / "model" / "output";
    const auto q = records_of(read_file(out / "q_tot.txt"));
    const auto b = records_of(read_file(out / "balance.txt"));
    ASSERT_EQ(q.size(), 8u);
    ASSERT_EQ(b.size(), 8u);
    const double rounding = 0.0005;
    for (std::size_t t = 0; t < 8; ++t) {
        SCOPED_TRACE("step " + std::to_string(t + 1));
        EXPECT_EQ(q[t][kQRain], b[t][kRainField]);
        EXPECT_NEAR(q[t][kQTotal], q[t][kQSurface] + q[t][kQInterflow] + q[t][kQGroundwater], 4 * rounding);
        EXPECT_NEAR(b[t][kRunoffField],
                    b[t][kSurfaceRunoffField] + b[t][kInterflowField] + b[t][kGroundwaterRunoffField], 4 * rounding);
        // Soils start above field capacity and stay wet: every step percolates.
        EXPECT_GT(b[t][kPercolationField], 0.0);
    }
    // Step 1: 10 mm on cell 1 only, its canopy empty; day 182 gives the
    // factor (1 + sin(95 x 6.28318 / 365))^1.35 = 2.54562 and the capacity
    // (3 - 1) x 2.54562 / 2.55 + 1 = 2.99656 mm, all caught: 0.999 over 3 cells.
    EXPECT_NEAR(b[0][kRainField], 10.0 / 3, rounding);
    EXPECT_NEAR(b[0][kInterceptionField], 2.99656 / 3, rounding);
    // Step 2: 8 mm on cells 2 and 3; cell 2 catches its whole capacity of
    // 1.5 mm, cell 3 has no canopy: (0 + 1.5 + 0) / 3.
    EXPECT_NEAR(b[1][kInterceptionField], 0.5, rounding);

    // Maps against the basin series (3 cells): the runoff of steps 1 to 3,
    // the recharge of steps 2 to 8, the moisture of step 4 (as degrees of
    // saturation: porosities 450, 360 and 450 mm); the fourth position lies
    // outside the basin.
    auto map = [&](const char* name) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(fs::exists(out / name));
        const std::string m = read_file(out / name);
        EXPECT_EQ(m.substr(0, 81),
                  "ncols        2            \nnrows        2            \n"
                  "XLLCORNER    123456.789012\n");
        std::vector<double> v = map_values(m, 2);
        EXPECT_EQ(v.size(), 4u);
        v.resize(4, 0.0);
        EXPECT_EQ(v[3], -1.0);
        return v;
    };
    auto series_sum = [&](int field, std::size_t from, std::size_t to) {
        double sum = 0;
        for (std::size_t t = from; t <= to; ++t) sum += b[t][field];
        return sum;
    };
    const std::vector<double> runoff = map("runoff0001.asc");
    EXPECT_NEAR(runoff[0] + runoff[1] + runoff[2], 3 * series_sum(kSurfaceRunoffField, 0, 2), 0.02);
    const std::vector<double> recharge = map("recharge0001.asc");
    EXPECT_NEAR(recharge[0] + recharge[1] + recharge[2], 3 * series_sum(kPercolationField, 1, 7), 0.03);
    const std::vector<double> moisture = map("moisture0001.asc");
    EXPECT_NEAR(moisture[0] * 450 + moisture[1] * 360 + moisture[2] * 450, 3 * b[3][kMoistureField], 1.0);
    EXPECT_EQ(map("moisture0002.asc"), std::vector<double>(4, -1.0));  // a period after the run
    map("evaporation0001.asc");
    map("evaporation0002.asc");
    EXPECT_FALSE(fs::exists(out / "interflow0001.asc"));  // no interflow periods

    if (mode == 1) {
        EXPECT_FALSE(fs::exists(out / "q_sub.txt"));
        return;
    }
    // Reported subbasins 2 and 1; along the river subbasin 1 arrives one step
    // later (ordinate 1 at lag 1), subbasin 2 with 0.7 at lag 0 and 0.3 at lag 1.
    const auto sub = records_of(read_file(out / "q_sub.txt"));
    ASSERT_EQ(sub.size(), 8u);
    for (std::size_t t = 0; t < 8; ++t) {
        SCOPED_TRACE("step " + std::to_string(t + 1));
        const double from_1 = t > 0 ? sub[t - 1][1] : 0, from_2 = 0.7 * sub[t][0] + (t > 0 ? 0.3 * sub[t - 1][0] : 0);
        EXPECT_NEAR(q[t][kQTotal], from_1 + from_2, 4 * rounding);
    }
}

INSTANTIATE_TEST_SUITE_P(RunModes, TwoSubbasins, ::testing::Values(1, 2),
                         [](const auto& param_info) { return "mode" + std::to_string(param_info.param); });

// ---------------------------------------------------------------- water balance

// With the canopy and the depressions emptied by a strong demand in the last
// two steps, and every cell evaporating at most its PET (so that groundwater
// evaporation is never negative), what falls is what the soils and the
// groundwater gained plus what evaporated and ran off: sum(rain) =
// delta(s_mo) + delta(GT) + sum(evap) + sum(R), all basin means in mm.
TEST(WaterBalance, RainEqualsStorageChangePlusEvaporationPlusRunoff) {
    Project p = two_subbasin_project();
    p.pet[0] = {0};
    p.pet[6] = {12.5};
    p.pet[7] = {12.5};
    TempDir tmp("balance");
    write_project(p, tmp.path());
    const fs::path out = tmp.path() / "model" / "output";
    ASSERT_EQ(run_gridrun(tmp.path(), "1").exit_code, 0);
    const std::string mode1 = read_file(out / "balance.txt");
    ASSERT_EQ(run_gridrun(tmp.path(), "2").exit_code, 0);
    EXPECT_EQ(read_file(out / "balance.txt"), mode1);  // routing does not enter the balance

    const std::vector<std::string> lines = lines_of(mode1);
    ASSERT_EQ(lines.size(), 9u);
    auto field = [&](std::size_t line, int f) { return std::stod(lines[line].substr(32 + 10 * (f - 5), 10)); };
    double rain = 0, evaporation = 0, runoff = 0;
    for (std::size_t t = 1; t < lines.size(); ++t) {
        rain += field(t, 5), evaporation += field(t, 9), runoff += field(t, 14);
        EXPECT_NEAR(field(t, 14), field(t, 11) + field(t, 12) + field(t, 13), 0.0015);
    }
    // Soils start at 1.2 x field capacity: (360 + 288 + 360) / 3; groundwater at 50.
    const double soil_change = field(8, 7) - 336.0, groundwater_change = field(8, 15) - 50.0;
    EXPECT_GT(runoff, 1.0);
    EXPECT_GT(evaporation, 5.0);
    EXPECT_NEAR(rain, soil_change + groundwater_change + evaporation + runoff, 0.015);
}

// ---------------------------------------------------------------- input errors

struct InputErrorCase {
    const char* name;
    const char* menu;
    std::function<void(Project&)> edit;           // on the description
    std::function<void(const fs::path&)> damage;  // on the written files
    const char* file;                             // named in the message
};

void replace_in_file(const fs::path& path, const std::string& from, const std::string& to) {
    std::string text = read_file(path);
    const std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::logic_error("no '" + from + "' in " + path.string());
    write_file(path, text.replace(at, from.size(), to));
}

class InputErrors : public ::testing::TestWithParam<InputErrorCase> {};

TEST_P(InputErrors, StopTheRunWithOneLineAndLeaveEarlierResultsAlone) {
    const InputErrorCase& c = GetParam();
    TempDir tmp("errors");
    Project p = two_subbasin_project();
    write_project(p, tmp.path());
    ASSERT_EQ(run_gridrun(tmp.path(), "2").exit_code, 0);
    const auto before = result_files(tmp.path());
    ASSERT_EQ(before.count("q_sub.txt"), 1u);

    if (c.edit) c.edit(p), write_project(p, tmp.path());
    if (c.damage) c.damage(tmp.path());
    const RunResult r = run_gridrun(tmp.path(), c.menu);
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.file), std::string::npos) << r.err;
    EXPECT_EQ(result_files(tmp.path()), before);
}

const fs::path kGrids = fs::path("arcview") / "ascii";
const fs::path kInput = fs::path("model") / "input";
const fs::path kOutput = fs::path("model") / "output";

const InputErrorCase kInputErrorCases[] = {
    {"missing_parameter_grid", "2", nullptr, [](const fs::path& root) { fs::remove(root / kGrids / "porosity.asc"); },
     "porosity.asc"},
    {"decimal_point_in_an_integer_grid", "2", nullptr,
     [](const fs::path& root) { replace_in_file(root / kGrids / "thiessen_e.asc", "\n1 1\n", "\n1.0 1\n"); },
     "thiessen_e.asc"},
    {"truncated_grid", "2", nullptr,
     [](const fs::path& root) { replace_in_file(root / kGrids / "slope.asc", "10 -9999\n", ""); }, "slope.asc"},
    {"station_beyond_the_series_columns", "1",
     [](Project& p) {
         for (auto& r : p.precipitation) r.pop_back();
     },
     nullptr, "p.txt"},
    {"station_zero_at_a_simulated_cell", "1", [](Project& p) { p.set_cell("thiessen_e.asc", 1, 0, 0); }, nullptr,
     "thiessen_e.asc"},
    {"subbasin_zero_at_a_simulated_cell", "1", [](Project& p) { p.set_cell("watershed.asc", 1, 0, 0); }, nullptr,
     "watershed.asc"},
    {"subbasin_without_a_converted_cell", "1", [](Project& p) { p.set_cell("rootdepth.asc", 0, 0, 0); }, nullptr,
     "watershed.asc"},
    {"cell_response_beyond_uh_length", "2", [](Project& p) { p.uh_cell_s[1] = "0 3 0.25 0.25 0.25 0.25"; }, nullptr,
     "uh_cell_s.txt"},
    {"river_response_beyond_uh_length", "1", [](Project& p) { p.uh_river[0] = "2 3 0.5 0.5"; }, nullptr,
     "uh_river.txt"},
    {"river_response_before_lag_zero", "1", [](Project& p) { p.uh_river[1] = "-1 0 0.5 0.5"; }, nullptr,
     "uh_river.txt"},
    {"fewer_response_lines_than_cells", "1", [](Project& p) { p.uh_cell_h.pop_back(); }, nullptr, "uh_cell_h.txt"},
    {"fewer_subbasin_response_lines_than_cells", "2", [](Project& p) { p.uh_cell_s.pop_back(); }, nullptr,
     "uh_cell_s.txt"},
    {"pet_series_shorter_than_p", "1", nullptr,
     [](const fs::path& root) { replace_in_file(root / kInput / "pet.txt", "2001 7 1 7 0.6\n", ""); }, "pet.txt"},
    {"groundwater_scale_zero", "1", [](Project& p) { p.control.groundwater_scale = 0; }, nullptr, "input.txt"},
    {"more_reported_subbasins_than_subbasins", "2",
     [](Project& p) {
         p.control.reported_subbasins = {1, 2, 1};
     },
     nullptr, "input.txt"},
};

INSTANTIATE_TEST_SUITE_P(Gridrun, InputErrors, ::testing::ValuesIn(kInputErrorCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
