// Run files: keys read with paths relative to the file and reals read
// straight into 32 bits; unknown keys refused naming the nearest known key;
// dates of states saved during a run; the BMI stepping the snowy basin gives
// gridrun's own q_tot.csv, and a refused call changes nothing.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <sstream>

#include "bmi.hpp"
#include "input_error.hpp"
#include "project_builder.hpp"
#include "run_file.hpp"
#include "state_dates.hpp"
#include "test_support.hpp"

namespace {

using namespace hydro;
using testing_support::TempDir;
using testing_support::write_file;

TEST(RunFile, ReadsEveryKeyWithPathsBesideTheFile) {
    if (!run_files_available()) GTEST_SKIP() << "built without toml++";
    TempDir tmp("runfile");
    write_file(tmp.path() / "runs" / "east.toml",
               "project = \"../basins/east\"\nmode = 1\nthreads = 3\n[parameters]\ninterflow_scale = 0.1\n"
               "conductivity_multiplier = 8\n[output]\ntext = false\ncsv = true\nnetcdf = \"east.nc\"\n"
               "[state]\ninitial = \"/abs/a.state\"\nsave = \"b.state\"\nsave_at = [\"2020-06-30T23:00\", "
               "2020-07-01T05:00:00]\n");
    const RunFile f = read_run_file((tmp.path() / "runs" / "east.toml").string());
    const std::string runs = (tmp.path() / "runs").string();
    EXPECT_EQ(f.project, runs + "/../basins/east");
    EXPECT_EQ(f.mode, 1);
    EXPECT_EQ(f.threads, 3);
    EXPECT_EQ(f.parameters, (std::vector<std::pair<std::string, float>>{{"conductivity_multiplier", 8.0f},
                                                                        {"interflow_scale", 0.1f}}));
    EXPECT_FALSE(f.text);
    EXPECT_TRUE(f.csv);
    EXPECT_EQ(f.netcdf, runs + "/east.nc");
    EXPECT_EQ(f.initial_state, "/abs/a.state");
    EXPECT_EQ(f.save_state, runs + "/b.state");
    EXPECT_EQ(f.save_at, (std::vector<std::string>{"2020-06-30T23:00", "2020-07-01T05:00:00"}));
}

TEST(RunFile, RefusesWhatItMayNotHoldNamingTheNearestKey) {
    if (!run_files_available()) GTEST_SKIP() << "built without toml++";
    TempDir tmp("runfile-bad");
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"projct = \"x\"\n",
         "line 1: expected a key at the top of the file (project, mode, threads, parameters, "
         "output, state), found the unknown key \"projct\" (did you mean \"project\"?)"},
        {"mode = 2\n[parameters]\ninterflw_scale = 1\n", "line 3: expected a key in [parameters]"},
        {"[parameters]\nconductivity_multiplyer = 1\n", "(did you mean \"conductivity_multiplier\"?)"},
        {"[output]\ncvs = true\n", "(did you mean \"csv\"?)"},
        {"[state]\nsave_after = []\n", "(did you mean \"save_at\"?)"},
        {"colour = 1\n", "found the unknown key \"colour\"\n"},
        {"mode = 3\n", "line 1: expected mode as a whole number 1 or 2"},
        {"mode = \"2\"\n", "expected mode as a whole number"},
        {"threads = 0\n", "threads as a whole number from 1 to 1024"},
        {"[parameters]\npet_factor = \"high\"\n", "pet_factor as a number"},
        {"[output]\ncsv = 1\n", "csv as true or false"},
        {"[state]\nsave_at = \"2020-01-01\"\n", "save_at as a list of dates"},
        {"output = 1\n", "[output] as a table of keys"},
        {"mode = = 2\n", "line 1: expected a run file in TOML"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto path = tmp.path() / "bad.toml";
        write_file(path, c.text);
        try {
            read_run_file(path.string());
            ADD_FAILURE() << "accepted";
        } catch (const InputError& e) {
            EXPECT_NE((std::string(e.what()) + "\n").find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(StateDates, StepsAreFoundByDateAndFilesNamedByIt) {
    StepCalendar cal;
    for (int d : {29, 30, 31})
        for (int h : {0, 12}) cal.append(2020, d == 31 ? 7 : 6, d == 31 ? 1 : d, h);
    EXPECT_EQ(steps_at_dates({"2020-06-30T12:00", "2020-06-29", "2020-06-30 12", "2020-07-01T00:00:00"}, cal, "x"),
              (std::vector<std::size_t>{0, 3, 4}));
    for (const char* bad : {"2020-06-30T12:30", "30.06.2020", "2020-6-30", "2020-07-02", "2020-06-30T11"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(steps_at_dates({bad}, cal, "x"), InputError);
    }
    EXPECT_EQ(dated_state_path("out/end-2020.state", {2020, 6, 30, 23}), "out/end-2020-2020-06-30T23.state");
    EXPECT_EQ(dated_state_path("", {2020, 1, 2, 3}), "state-2020-01-02T03.state");
}

// The column Q of gridrun's q_tot.csv, read back to the bit.
std::vector<float> outlet_flows_of_csv(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    std::vector<float> q;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream s(line);
        for (std::string x; std::getline(s, x, ',');) f.push_back(x);
        float v = 0;
        std::from_chars(f[5].data(), f[5].data() + f[5].size(), v);
        q.push_back(v);
    }
    return q;
}

TEST(Bmi, StepsGiveGridrunsOwnOutletFlowsAndRefusedCallsChangeNothing) {
    if (!run_files_available()) GTEST_SKIP() << "built without toml++";
    TempDir tmp("bmi");
    project_builder::Project basin = project_builder::snowy_basin();
    basin.set_basin_value("rootdepth.asc", 0.37);  // soil moisture over 370 mm seldom divides back exactly
    project_builder::write_project(basin, tmp.path() / "p");
    const auto ran = testing_support::run_program(
        GRIDRUN_EXE, {"--project", (tmp.path() / "p").string(), "--mode", "2", "--quiet", "--csv"}, tmp.path());
    ASSERT_EQ(ran.exit_code, 0) << ran.err;
    const std::vector<float> q =
        outlet_flows_of_csv(testing_support::read_file(tmp.path() / "p" / "model" / "output" / "q_tot.csv"));
    ASSERT_EQ(q.size(), 60u);
    write_file(tmp.path() / "run.toml", "project = \"p\"\nmode = 2\n");
    Bmi bmi;
    bmi.Initialize((tmp.path() / "run.toml").string());
    EXPECT_EQ(bmi.GetEndTime(), 60 * 24.0);
    const std::string outlet = "channel_exit_water_x-section__volume_flow_rate";
    const std::string snow = "snowpack__liquid-equivalent_depth";
    float flow = -1;
    std::vector<float> grid(static_cast<std::size_t>(bmi.GetGridSize(bmi.GetVarGrid(snow))));
    int simulated = -1;
    for (int step = 0; step < 54;) {
        if (step % 4 == 0) {
            bmi.UpdateUntil((step + 6) * 24.0);
            step += 6;
        } else {
            bmi.Update();
            step += 1;
        }
        bmi.GetValue(outlet, &flow);
        ASSERT_EQ(flow, q[static_cast<std::size_t>(step - 1)]) << step;
        if (step % 3 == 0) {  // soil moisture given back as read leaves it as it was, to the bit
            std::vector<float> m(grid.size());
            bmi.GetValue("soil_water__volume_fraction", m.data());
            bmi.SetValue("soil_water__volume_fraction", m.data());
        }
        // Refused calls between steps leave the run as it was.
        bmi.GetValue(snow, grid.data());
        for (std::size_t i = 0; simulated < 0 && i < grid.size(); ++i)
            if (!std::isnan(grid[i])) simulated = static_cast<int>(i);
        float negative = -1.0f, nan = std::nanf("");
        int outside = static_cast<int>(grid.size());
        EXPECT_THROW(bmi.SetValueAtIndices(snow, &simulated, 1, &negative), std::invalid_argument);
        EXPECT_THROW(bmi.SetValueAtIndices(snow, &simulated, 1, &nan), std::invalid_argument);
        EXPECT_THROW(bmi.SetValueAtIndices(snow, &outside, 1, &flow), std::out_of_range);
        EXPECT_THROW(bmi.SetValue(outlet, &flow), std::invalid_argument);
        EXPECT_THROW(bmi.UpdateUntil(bmi.GetCurrentTime() - 24.0), std::out_of_range);
    }
    EXPECT_THROW(bmi.GetValuePtr(snow), std::invalid_argument);
    EXPECT_THROW(bmi.GetVarGrid("no_such__variable"), std::invalid_argument);
}

}  // namespace
