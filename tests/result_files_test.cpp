// Layouts of the result files: the q_tot.txt and balance.txt headers and
// records, the q_sub.txt header, the map file names, and the maps' header,
// masking and moisture values as the program writes them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project_builder.hpp"
#include "result_series.hpp"
#include "snapshots.hpp"
#include "test_support.hpp"

namespace {

using namespace hydro;
using namespace project_builder;
using testing_support::read_file;

std::string q_tot_line(const QTotRecord& r, bool with_temperature) {
    std::string s;
    append_date_fields(s, 1998, 1, 2, 0);
    append_q_tot_record(s, r, with_temperature);
    return s;
}

std::string balance_line(const BalanceRecord& r, bool with_temperature) {
    std::string s;
    append_date_fields(s, 2009, 12, 31, 23);
    append_balance_record(s, r, with_temperature);
    return s;
}

TEST(ResultHeaders, AreTheFixedLiteralsWithTheTemperatureColumnOnlyWhenAsked) {
    const std::string q = "    year   month      day     hour   rain       Qs        Qi       Qg         Q";
    const std::string b =
        "    year   month      day     hour   rain      inte     s_mo       infi      evap      perc      RS        RI"
        "        RG        R        GT";
    EXPECT_EQ(q_tot_header(false), q + "\n");
    EXPECT_EQ(q_tot_header(true), q + "        temp\n");
    EXPECT_EQ(balance_header(false), b + "\n");
    EXPECT_EQ(balance_header(true), b + "        temp\n");
    EXPECT_EQ(q.size(), 79u);
    EXPECT_EQ(b.size(), 138u);
    EXPECT_EQ(q_sub_header({4, 2, 13}), "    year   month      day     hour       4       2      13\n");
}

TEST(ResultRecords, QTotHoldsRainTheThreeFlowsTheirSumAndTemperature) {
    const QTotRecord r{1.5f, 2.25f, 0.125f, 3.0f, -2.5f};
    EXPECT_EQ(q_tot_line(r, false),
              "    1998       1       2       0     1.500     2.250     0.125     3.000     5.375\n");
    EXPECT_EQ(q_tot_line(r, true),
              "    1998       1       2       0     1.500     2.250     0.125     3.000     5.375    -2.500\n");
    EXPECT_EQ(q_tot_line(r, false).size(), 82u + 1);
    EXPECT_EQ(q_tot_line(r, true).size(), 92u + 1);
}

TEST(ResultRecords, BalanceHoldsTheBasinMeansAndTheTotalRunoff) {
    const BalanceRecord r{12.0f, 1.25f, 345.678f, 8.5f, 0.75f, 0.004f, 2.0f, 0.5f, 0.125f, 99.9996f, 0.0f};
    const std::string fields =
        "    2009      12      31      23    12.000     1.250   345.678     8.500     0.750"
        "     0.004     2.000     0.500     0.125     2.625   100.000";
    EXPECT_EQ(balance_line(r, false), fields + "\n");
    EXPECT_EQ(balance_line(r, true), fields + "     0.000\n");
    EXPECT_EQ(balance_line(r, false).size(), 142u + 1);
    EXPECT_EQ(balance_line(r, true).size(), 152u + 1);
}

TEST(ResultRecords, ValuesTooWideForTheFieldAreAsterisks) {
    struct Case {
        float surface_flow, interflow;
        const char* surface_field;
        const char* total_field;
    };
    const Case cases[] = {
        {1.0e6f, 0, "**********", "**********"},
        {999999.9f, 0, "999999.875", "999999.875"},    // the float's own value, 10 characters
        {600000, 500000, "600000.000", "**********"},  // only the sum overflows
        {-99999.5f, 0, "-99999.500", "-99999.500"},
        {-100000, 0, "**********", "**********"},
        {0, 0, "     0.000", "     0.000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.surface_field);
        const std::string line = q_tot_line({0, c.surface_flow, c.interflow, 0, 0}, false);
        EXPECT_EQ(line.substr(42, 10), c.surface_field);
        EXPECT_EQ(line.substr(72, 10), c.total_field);
    }
    // A step with nothing at all: every real field is 0.000.
    std::string zero;
    for (int i = 0; i < 12; ++i) zero += "     0.000";
    EXPECT_EQ(balance_line({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true).substr(32), zero + "\n");
}

TEST(SnapshotNames, KindPrefixAndFourDigitPeriodNumber) {
    const std::pair<std::pair<int, int32_t>, const char*> names[] = {
        {{kRunoff, 1}, "runoff0001.asc"},
        {{kInterflow, 9}, "interflow0009.asc"},
        {{kRecharge, 10}, "recharge0010.asc"},
        {{kMoisture, 99}, "moisture0099.asc"},
        {{kEvaporation, 100}, "evaporation0100.asc"},
        {{kRunoff, 999}, "runoff0999.asc"},
        {{kRunoff, 1000}, "runoff1000.asc"},
        {{kEvaporation, 12}, "evaporation0012.asc"},
        {{kRunoff, 10000}, "runoff10000.asc"},
    };
    for (const auto& [key, name] : names) EXPECT_EQ(snapshot_file_name(key.first, key.second), name);
}

// One row of four positions: a saturated cell, a position outside the basin,
// a cell below its wilting point (its evapotranspiration is negative) and a
// cell without pore space. Two days without rain; the second and fourth
// positions' PET station gives 1 mm a day, the first's none.
TEST(Maps, CarryTheKeptHeaderAndMaskOutsideAndNegativeValues) {
    Project p = tiny_project({1, -9999, 1, 1}, 4, 2);
    p.set_cell("fieldcap.asc", 0, 0, 0.45);  // saturated and at field capacity: no drainage
    p.set_cell("porosity.asc", 0, 3, 0);     // no pore space: no soil either (root depth 0)
    p.set_cell("rootdepth.asc", 0, 3, 0);
    p.grid("thiessen_e.asc") = {1, kNoData, 2, 2};
    p.pet = {{0, 1}, {0, 1}};
    p.control.initial_moisture_ratio = -1;  // degrees of saturation from moisture.asc
    p.initial_moisture = std::vector<double>{1.0, kNoData, 0.15, 0.0};
    p.control.periods[kMoisture] = {"2001 6 1 0 2001 6 1 0", "2002 1 1 0 2002 1 2 0"};
    p.control.periods[kEvaporation] = {"2001 6 1 0 2001 6 2 0"};
    testing_support::TempDir tmp("maps");
    write_project(p, tmp.path());
    // The maps take the header of the last grid read in full: moisture.asc.
    const fs::path moisture = tmp.path() / "arcview" / "ascii" / "moisture.asc";
    std::string text = read_file(moisture);
    text.replace(text.find("xllcorner 500000.0"), 18, "XLLCORNER 123456.789012345");
    testing_support::write_file(moisture, text);

    const testing_support::RunResult run = run_gridrun(tmp.path(), "1");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const fs::path out = tmp.path() / "model" / "output";
    EXPECT_EQ(testing_support::file_names(out),
              (std::vector<std::string>{"balance.txt", "evaporation0001.asc", "moisture0001.asc", "moisture0002.asc",
                                        "q_tot.txt", "uh_cell_h.txt", "uh_cell_s.txt", "uh_river.txt"}));
    // Keyword and value cut or padded to 13 characters each; no-data -1.0.
    const std::string header =
        "ncols        4            \n"
        "nrows        1            \n"
        "XLLCORNER    123456.789012\n"
        "yllcorner    4000000.0    \n"
        "cellsize     1000         \n"
        "NODATA_value -1.0\n";
    // Moisture: 450 of 450 mm; outside; (67.5 + 0.1625) / 450 after one day
    // of negative evapotranspiration; no pore space.
    EXPECT_EQ(read_file(out / "moisture0001.asc"), header + "      1.00     -1.00      0.15     -1.00\n");
    // A period without a step.
    EXPECT_EQ(read_file(out / "moisture0002.asc"), header + "     -1.00     -1.00     -1.00     -1.00\n");
    // Evaporation: none; outside; negative sum -0.325; none.
    EXPECT_EQ(read_file(out / "evaporation0001.asc"), header + "      0.00     -1.00     -1.00      0.00\n");
}

// Two subbasins and a position outside the basin, 100 hourly steps in tiles
// of 16: one evaporation period ends within the run, one after it. The
// groundwater evaporation goes through a temporary file when memory may hold
// one or three steps; the maps must be the same bits as when it all stays in memory.
TEST(Maps, GroundwaterEvaporationKeptInATemporaryFileAddsAsInMemory) {
    ModelInputs in;
    in.sizes.n_subbasins = 2;
    in.sizes.n_rows = 1;
    in.sizes.n_cols = 3;
    in.catchment.subbasin_id = {1, 2, 0};
    for (int32_t t = 0; t < 100; ++t) in.calendar.append(2001, 1, 1 + t / 24, t % 24);
    ControlFile control;
    control.periods[kEvaporation] = {{2001010100, 2001010223}, {2001010112, 2001010403}};
    std::vector<std::vector<float>> sums;
    for (std::size_t memory : {std::size_t{0}, std::size_t{40}, GroundwaterEvaporationMaps::kMemoryBytes}) {
        SnapshotSums snap;
        prepare_snapshot_sums(in, control, snap);
        for (std::size_t i = 0; i < snap.sum[kEvaporation].size(); ++i) snap.sum[kEvaporation][i] = 1.0f / 3.0f;
        GroundwaterEvaporationMaps maps(in, control, memory);
        for (std::size_t t = 0; t < 100; ++t) {
            maps.keep(t, {0.1f * static_cast<float>(t % 7), -0.03f * static_cast<float>(t % 5)});
            if (t % 16 == 15) maps.add_completed(snap, t + 1, false);
        }
        maps.add_completed(snap, 100, true);
        sums.push_back(snap.sum[kEvaporation]);
    }
    EXPECT_GT(sums[2][0], 10.0f);
    EXPECT_EQ(sums[2][2], 1.0f / 3.0f);  // outside the basin
    EXPECT_EQ(sums[0], sums[2]);
    EXPECT_EQ(sums[1], sums[2]);
}

}  // namespace
