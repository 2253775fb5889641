// The control file input.txt is read three times (the dimension scan, the
// model and the areal averaging); the three readings must agree on the same
// layout, and each must stop on the values it cannot take.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "calendar.hpp"
#include "control_file.hpp"
#include "input_error.hpp"
#include "test_support.hpp"

namespace {

using namespace hydro;
using namespace testing_support;

using Periods = std::vector<std::pair<int32_t, int32_t>>;

struct LayoutCase {
    const char* name;
    std::string text;
    int32_t n_subbasins;
    float time_step;
    float interflow_scale;
    float degree_day_factor;
    float runoff_rain_threshold;
    std::vector<int32_t> reported;
    std::array<Periods, kSnapshotKinds> periods;
};

const std::vector<LayoutCase>& layouts() {
    static const std::vector<LayoutCase> cases = {
        {"commas on the parameter line, nothing reported, empty blocks",
         "Time_step_(hours)\n24.00\nmodel_parameters: interflow recession ...\n"
         "1.43,0.03644,-5E-01,1.00,231.9,674.5,-1e0,-1,1.03e-2,3.53,23.5\n"
         "Subbasins 0\n"
         "Runoff\n3 periods follow\n2009 6 1 0 2009 6 30 23\n2014 12 11 1 2015 1 3 5 trailing note\n"
         "2015,1,6,0,2015,1,30,0\n"
         "Interflow\n0\nRecharge_maps\n1\n2014 12 6 0 2015 1 5 0\nMoisture_maps\n0\nEvaporation_maps\n0\n",
         2,
         24.0f,
         1.43f,
         -1.0f,
         23.5f,
         {},
         {Periods{{2009060100, 2009063023}, {2014121101, 2015010305}, {2015010600, 2015013000}}, Periods{},
          Periods{{2014120600, 2015010500}}, Periods{}, Periods{}}},
        {"CRLF, byte order mark, blank lines, a reported list",
         "\xEF\xBB\xBFTitle\r\n\r\n1\r\nparameters\r\n\r\n"
         "2\t0.5\t0.8\t1\t100\t500\t0\t3\t0.1\t2\t20\r\n\r\n"
         "Reported 3\r\n3 1 2\r\nRunoff\r\n\r\n1\r\n2147 12 31 0 2147 12 31 23\r\n"
         "Interflow\r\n0\r\nRecharge\r\n0\r\nMoisture\r\n0\r\nEvaporation\r\n2\r\n"
         "2001 1 1 0 2001 1 1 0\r\n2001 2 1 0 2001 2 28 23\r\n",
         3,
         1.0f,
         2.0f,
         3.0f,
         20.0f,
         {3, 1, 2},
         {Periods{{2147123100, 2147123123}}, Periods{}, Periods{}, Periods{},
          Periods{{2001010100, 2001010100}, {2001020100, 2001022823}}}},
        {"Fortran exponents, zero degree-day factor, one reported subbasin",
         "T\n6.0D0\nP\n1.5D0 2d-1 0.8 1 1E2 5.0e+02 -0.5 0 2.5d-1 2 1.0D1\nSub 1\n2\n"
         "a\n0\nb\n0\nc\n1\n2010 6 1 0 2010 6 1 23\nd\n0\ne\n0\n",
         4,
         6.0f,
         1.5f,
         0.0f,
         10.0f,
         {2},
         {Periods{}, Periods{}, Periods{{2010060100, 2010060123}}, Periods{}, Periods{}}},
    };
    return cases;
}

TEST(ControlFile, TheThreeReadingsAgreeOnTheLayout) {
    TempDir dir("control");
    const std::string path = (dir.path() / "input.txt").string();
    for (const LayoutCase& c : layouts()) {
        SCOPED_TRACE(c.name);
        write_file(path, c.text);

        const ControlFile cf = read_control_file(path, c.n_subbasins);
        EXPECT_FLOAT_EQ(cf.time_step_hours, c.time_step);
        EXPECT_FLOAT_EQ(cf.interflow_scale, c.interflow_scale);
        EXPECT_FLOAT_EQ(cf.degree_day_factor, c.degree_day_factor);
        EXPECT_FLOAT_EQ(cf.runoff_rain_threshold, c.runoff_rain_threshold);
        EXPECT_EQ(cf.temperature_used(), c.degree_day_factor >= 0.0f);
        EXPECT_EQ(cf.reported_subbasins, c.reported);

        const ControlFileSizes sizes = scan_control_file(path);
        EXPECT_EQ(sizes.degree_day_factor, static_cast<int32_t>(c.degree_day_factor));
        EXPECT_EQ(sizes.n_reported_subbasins, static_cast<int32_t>(c.reported.size()));
        EXPECT_EQ(read_degree_day_factor(path), sizes.degree_day_factor);

        for (int k = 0; k < kSnapshotKinds; ++k) {
            SCOPED_TRACE("block " + std::to_string(k + 1));
            EXPECT_EQ(sizes.n_periods[k], static_cast<int32_t>(c.periods[k].size()));
            Periods got;
            for (const SnapshotPeriod& p : cf.periods[k]) got.emplace_back(p.start_code, p.end_code);
            EXPECT_EQ(got, c.periods[k]);
        }
    }
}

TEST(ControlFile, PeriodsIncludeBothEnds) {
    EXPECT_EQ(date_code(2009, 6, 15, 7), 2009061507);
    EXPECT_EQ(date_code(2147, 12, 31, 23), 2147123123);
    const SnapshotPeriod june{date_code(2009, 6, 1, 0), date_code(2009, 6, 30, 23)};
    const std::vector<std::pair<int32_t, bool>> steps = {
        {2009053123, false}, {2009060100, true}, {2009061512, true}, {2009063023, true}, {2009070100, false}};
    for (const auto& [code, inside] : steps) EXPECT_EQ(june.contains(code), inside) << code;
}

const std::string kTop = "T\n24\nP\n";
const std::string kParams = "1 0.1 0.5 1 100 500 0 2 0.1 2 20\n";
const std::string kBlocks = "R\n0\nI\n0\nC\n0\nM\n0\nE\n0\n";

struct FailureCase {
    const char* name;
    std::string text;
    int32_t n_subbasins;
    bool scan_fails, model_fails, areamean_fails;
    int line;
    const char* found;
};

TEST(ControlFile, EachReadingStopsOnWhatItCannotTake) {
    const std::vector<FailureCase> cases = {
        {"degree-day factor with a fraction", kTop + "1 0.1 0.5 1 100 500 0 2.5 0.1 2 20\nS 0\n" + kBlocks, 1, true,
         false, true, 4, "\"2.5\""},
        {"time step not a number", "T\nday\nP\n" + kParams + "S 0\n" + kBlocks, 1, false, true, true, 2, "\"day\""},
        {"longer reported list than subbasins", kTop + kParams + "S 2\n1 2\n" + kBlocks, 1, false, true, false, 5, "2"},
        {"negative period count", kTop + kParams + "S 0\nR\n0\nI\n-1\nC\n0\nM\n0\nE\n0\n", 1, true, true, false, 9,
         "-1"},
        {"period field with a fraction",
         kTop + kParams + "S 0\nR\n1\n2009 6 1 0 2009 6 30 23.5\nI\n0\nC\n0\nM\n0\nE\n0\n", 1, false, true, false, 8,
         "\"23.5\""},
        {"last block missing", kTop + kParams + "S 0\nR\n0\nI\n0\nC\n0\nM\n0\n", 1, true, true, false, 13,
         "end of the file"},
        {"parameter line cut short", kTop + "1 0.1 0.5 1 100\n", 1, true, true, true, 4, "end of the file"},
    };
    TempDir dir("control");
    const std::string path = (dir.path() / "input.txt").string();
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(path, c.text);
        auto check = [&](bool fails, auto&& read, const char* reader) {
            SCOPED_TRACE(reader);
            if (!fails) {
                EXPECT_NO_THROW(read());
                return;
            }
            try {
                read();
                ADD_FAILURE() << "no error";
            } catch (const InputError& e) {
                const std::string msg = e.what();
                EXPECT_NE(msg.find(path), std::string::npos) << msg;
                EXPECT_EQ(e.line(), c.line) << msg;
                EXPECT_NE(msg.find(c.found), std::string::npos) << msg;
            }
        };
        check(
            c.scan_fails, [&] { scan_control_file(path); }, "scan");
        check(
            c.model_fails, [&] { read_control_file(path, c.n_subbasins); }, "model");
        check(
            c.areamean_fails, [&] { read_degree_day_factor(path); }, "areamean");
    }
}

}  // namespace

// The user guide's table of the parameter line is the one the parameter
// table makes: a parameter added, renamed or moved shows up here.
TEST(ControlFile, TheGuidesParameterTableIsTheCodesTable) {
    std::string table = "| # | Name | Parameter | Unit | Usual range | Use |\n|---|---|---|---|---|---|\n";
    for (const ControlParameter& p : kControlParameters) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", p.least, p.most);
        table += "| " + std::to_string(p.position) + " | `" + std::string(p.name) + "` | " + std::string(p.label) +
                 " | " + std::string(p.unit) + " | " + range + " | " + std::string(p.use) + " |\n";
    }
    const std::string guide = read_file(fs::path(TEST_SOURCE_DIR) / ".." / "docs" / "input-files.md");
    EXPECT_NE(guide.find(table), std::string::npos) << "docs/input-files.md should hold:\n" << table;
}
