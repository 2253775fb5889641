// gridcal: the calibrated control file and grids keep every untouched
// character; a calibration on a small rainy basin repeats itself byte for
// byte on one and two threads, its best score is what gridrun gives on the
// calibrated project, and bad inputs are refused with the file and line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "calibration_output.hpp"
#include "control_values.hpp"
#include "fit_scores.hpp"
#include "free_format.hpp"
#include "grid_rewrite.hpp"
#include "input_error.hpp"
#include "observed_discharge.hpp"
#include "project_builder.hpp"
#include "test_support.hpp"

namespace {

using namespace testing_support;
using namespace project_builder;

TEST(CalibratedFiles, ParameterRecordAndGridValuesKeepEverythingElse) {
    const std::string control =
        "\xEF\xBB\xBFTime_step | hours\n24  | comment\n\nParameters\n1 0.02 0.8 1 50 1000\n"
        "  0, 3 0.0125 2 20 | eleven\nReported 0\n";
    std::vector<std::string> values(11);
    values[1] = "0.0375";
    values[7] = "4";
    EXPECT_EQ(hydro::with_parameter_record("input.txt", control, values),
              "\xEF\xBB\xBFTime_step | hours\n24  | comment\n\nParameters\n1 0.0375 0.8 1 50 1000\n"
              "  0, 4 0.0125 2 20 | eleven\nReported 0\n");
    EXPECT_THROW(hydro::with_parameter_record("input.txt", "T\n24\nP\n1 2 3\n", values), hydro::InputError);

    const std::string grid =
        "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 90\nNODATA_value -9999\n"
        "0.25 -9999 0.5\r\n1.0 0.75\n 2\n";
    const std::string scaled = hydro::with_grid_values("g.asc", grid, 2, 3, [](std::size_t i, float v) {
        return v < 0 ? v : i == 3 ? v : std::min(v * 1.5f, 1.0f);
    });
    EXPECT_EQ(scaled,
              "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 90\nNODATA_value -9999\n"
              "0.375 -9999 0.75\r\n1.0 1\n 1\n");
    EXPECT_THROW(hydro::with_grid_values("g.asc", grid, 3, 3, [](std::size_t, float v) { return v; }),
                 hydro::InputError);
}

// Two subbasins of four cells, 60 days of rain showers.
Project rainy_project() {
    Project p = tiny_project({1, 1, 2, 2, 1, 1, 2, 2}, 4, 60);
    p.cell_size = 3000;
    for (std::size_t t = 0; t < p.precipitation.size(); ++t) {
        p.precipitation[t] = {t % 7 == 0 ? 40.0 : static_cast<double>(t % 3)};
        p.pet[t] = {2.0};
    }
    p.set_cell("conductivity.asc", 0, 0, 3);
    p.set_cell("runoff_co.asc", 1, 3, 0.9);
    p.uh_cell_h.assign(8, "0 2 0.6 0.3 0.1");
    p.uh_cell_s.assign(8, "0 2 0.2 0.5 0.3");
    return p;
}

std::vector<double> q_column(const fs::path& q_tot) {
    std::istringstream in(read_file(q_tot));
    std::string line;
    std::getline(in, line);
    std::vector<double> q;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string tok;
        for (int c = 0; c < 9; ++c) f >> tok;
        float v;
        EXPECT_TRUE(hydro::parse_float(tok, v)) << line;
        q.push_back(v);
    }
    return q;
}

class Gridcal : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        tmp_ = new TempDir("gridcal");
        root_ = tmp_->path() / "basin";
        write_project(rainy_project(), root_);
        const RunResult run =
            run_program(GRIDRUN_EXE, {"--project", root_.string(), "--mode", "2", "--quiet"}, tmp_->path());
        ASSERT_EQ(run.exit_code, 0) << run.err;
        // A gauge that saw 20 % less than the project gives, a few days missing.
        const std::vector<double> q = q_column(root_ / "model" / "output" / "q_tot.txt");
        std::string csv = "date,discharge\n";
        const auto dates = dates_from({2001, 6, 1, 0}, 60, 24);
        for (std::size_t t = 0; t < q.size(); ++t) {
            char line[64];
            std::snprintf(line, sizeof line, "%04d-%02d-%02d,%.4f\n", dates[t].year, dates[t].month, dates[t].day,
                          0.8 * q[t] + 0.01);
            csv += t % 9 == 4 ? std::string(line).substr(0, 10) + ",NA\n" : std::string(line);
        }
        write_file(tmp_->path() / "gauge.csv", csv);
        write_file(tmp_->path() / "params.csv",
                   "name,lower,upper,initial\npet_factor,0.5,1.5\nconductivity_multiplier,0.5,2\n"
                   "runoff_co_multiplier,0.5,1.5,1\ninterflow_scale,0.5,2\n");
    }
    static void TearDownTestSuite() { delete tmp_; }
    static RunResult gridcal(const std::vector<std::string>& extra) {
        std::vector<std::string> args{"--project", root_.string(), "--observed",
                                      "gauge.csv", "--parameters", "params.csv"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_program(GRIDCAL_EXE, args, tmp_->path());
    }
    static inline TempDir* tmp_ = nullptr;
    static inline fs::path root_;
};

TEST_F(Gridcal, SameSeedSameTraceOnAnyThreadsAndGridrunReproducesTheBest) {
    const RunResult one =
        gridcal({"--output", "one", "--threads", "1", "--evaluations", "24", "--seed", "7", "--warmup", "5"});
    ASSERT_EQ(one.exit_code, 0) << one.err;
    const RunResult two =
        gridcal({"--output", "two", "--threads", "2", "--evaluations", "24", "--seed", "7", "--warmup", "5"});
    ASSERT_EQ(two.exit_code, 0) << two.err;
    const fs::path out = tmp_->path() / "one";
    const std::string trace = read_file(out / "trace.csv");
    EXPECT_EQ(trace, read_file(tmp_->path() / "two" / "trace.csv"));
    EXPECT_EQ(read_file(out / "model" / "input" / "input.txt"),
              read_file(tmp_->path() / "two" / "model" / "input" / "input.txt"));
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 25);
    EXPECT_NE(one.err.find("gridcal: 24 of 24 evaluations, best KGE"), std::string::npos) << one.err;

    // The best row of the trace (highest objective, the first of equals).
    std::istringstream rows(trace);
    std::string line, best_line;
    std::getline(rows, line);
    double best = -INFINITY;
    while (std::getline(rows, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string x; std::getline(fields, x, ',');) f.push_back(x);
        ASSERT_EQ(f.size(), 17u) << line;
        EXPECT_EQ(f.back(), "ok");
        if (std::stod(f[5]) > best) best = std::stod(f[5]), best_line = line;
    }
    // gridrun on the calibrated project rewrites the results of the best run
    // identically; scored from its q_tot.txt they give the same KGE and NSE.
    const std::string best_q_tot = read_file(out / "model" / "output" / "q_tot.txt");
    const RunResult run = run_program(GRIDRUN_EXE, {"--project", out.string(), "--mode", "2", "--quiet"}, tmp_->path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(read_file(out / "model" / "output" / "q_tot.txt"), best_q_tot);
    const std::vector<double> q = q_column(out / "model" / "output" / "q_tot.txt");
    std::vector<int64_t> keys;
    for (const auto& d : dates_from({2001, 6, 1, 0}, 60, 24))
        keys.push_back(hydro::step_key(d.year, d.month, d.day, d.hour));
    const auto obs = hydro::read_observed_discharge((tmp_->path() / "gauge.csv").string());
    const hydro::FitScores f = hydro::score_run(q, hydro::match_observations(obs, keys), 5, "gauge.csv");
    char expected[80];
    std::snprintf(expected, sizeof expected, ",%.10g,%.10g,%.10g,", f.kge, f.nse, f.kge);
    EXPECT_NE(best_line.find(expected), std::string::npos) << best_line << " against " << expected;
    const std::string report = read_file(out / "report.txt");
    EXPECT_NE(report.find("evaluations per second"), std::string::npos) << report;
    EXPECT_TRUE(fs::exists(out / "best_flow.csv"));
}

TEST_F(Gridcal, MpiProcessesGiveTheThreadedResult) {
#if defined(GRIDCAL_MPI_EXE) && defined(MPIRUN_EXE)
    const std::vector<std::string> common{
        "--project",     root_.string(), "--observed", "gauge.csv", "--parameters", "params.csv",
        "--evaluations", "12",           "--seed",     "3",         "--algorithm",  "sce"};
    std::vector<std::string> mpi{"--allow-run-as-root", "--oversubscribe", "-np", "2",
                                 GRIDCAL_MPI_EXE,       "--output",        "mpi"};
    mpi.insert(mpi.end(), common.begin(), common.end());
    const RunResult ranks = run_program(MPIRUN_EXE, mpi, tmp_->path());
    ASSERT_EQ(ranks.exit_code, 0) << ranks.out << ranks.err;
    std::vector<std::string> threaded{"--output", "threaded", "--threads", "2"};
    threaded.insert(threaded.end(), common.begin(), common.end());
    const RunResult local = run_program(GRIDCAL_EXE, threaded, tmp_->path());
    ASSERT_EQ(local.exit_code, 0) << local.err;
    EXPECT_EQ(read_file(tmp_->path() / "mpi" / "trace.csv"), read_file(tmp_->path() / "threaded" / "trace.csv"));
    EXPECT_NE(read_file(tmp_->path() / "mpi" / "report.txt").find("(2 processes of 1 thread)"), std::string::npos);
#else
    GTEST_SKIP() << "gridcal_mpi is not built: Open MPI was not found (sudo apt-get install -y libopenmpi-dev "
                    "openmpi-bin) or the build was configured with -DHYDRO_MPI=OFF";
#endif
}

TEST_F(Gridcal, ShuffledComplexesKeepToTheBudget) {
    const RunResult sce =
        gridcal({"--output", "sce", "--algorithm", "sce", "--objective", "nse", "--evaluations", "30"});
    ASSERT_EQ(sce.exit_code, 0) << sce.err;
    const std::string trace = read_file(tmp_->path() / "sce" / "trace.csv");
    EXPECT_LE(std::count(trace.begin(), trace.end(), '\n'), 31);
    EXPECT_NE(trace.find(",objective_nse,"), std::string::npos);
}

TEST_F(Gridcal, SetsTheModelCannotRunHaveNoScoreAndACalibrationWithoutAnyScoreFails) {
    // Field capacity 0.3 x 1.6 or more passes the porosity of 0.45: the start
    // (1.8) cannot run, sets below 1.5 can.
    write_file(tmp_->path() / "some.csv", "fieldcap_multiplier,0.5,2.9,1.8\n");
    const RunResult some = gridcal({"--parameters", "some.csv", "--output", "some", "--evaluations", "12"});
    ASSERT_EQ(some.exit_code, 0) << some.err;
    const std::string trace = read_file(tmp_->path() / "some" / "trace.csv");
    EXPECT_NE(trace.find("\n1,1.79999995,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,refused by the model\n"), std::string::npos)
        << trace;
    EXPECT_NE(trace.find(",ok\n"), std::string::npos) << trace;

    write_file(tmp_->path() / "soil.csv", "fieldcap_multiplier,1.6,2\n");
    const RunResult none = gridcal({"--parameters", "soil.csv", "--output", "soil", "--evaluations", "4"});
    EXPECT_EQ(none.exit_code, 1);
    EXPECT_NE(none.err.find("all 4 evaluations failed (0 with flows that are not finite numbers, 4 refused"),
              std::string::npos)
        << none.err;
    // Neither the folder nor its hidden forerunner is left.
    for (const auto& e : fs::directory_iterator(tmp_->path()))
        EXPECT_EQ(e.path().filename().string().find("soil"), e.path().filename() == "soil.csv" ? 0 : std::string::npos)
            << e.path();
}

TEST_F(Gridcal, BadInputsAreRefusedWithFileAndLine) {
    write_file(tmp_->path() / "bad_params.csv", "pet_factor,0.5,1.5\nrunoff_multiplier,0.5,1.5\n");
    write_file(tmp_->path() / "bad_gauge.csv", "date,discharge\n2001-06-02,1\n2001-06-01,1\n");
    write_file(tmp_->path() / "full" / "keep.txt", "mine\n");
    const struct {
        std::vector<std::string> args;
        int code;
        const char* message;
    } cases[] = {
        {{"--parameters", "bad_params.csv", "--output", "x1"}, 1, "bad_params.csv, line 2: expected the name of a"},
        {{"--observed", "bad_gauge.csv", "--output", "x2"}, 1, "bad_gauge.csv, line 3: expected a date after"},
        {{"--output", "full"}, 1, "full: expected an output folder that is empty or does not exist yet"},
        {{"--output", "x3", "--algorithm", "ga"}, 2, "--algorithm takes dds or sce"},
        {{"--output", "x4", "--warmup", "60"}, 1, "expected observations after the warm-up of 60 steps"},
    };
    for (const auto& c : cases) {
        const RunResult r = gridcal(c.args);
        EXPECT_EQ(r.exit_code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(tmp_->path() / "x1"));
    EXPECT_EQ(read_file(tmp_->path() / "full" / "keep.txt"), "mine\n");
}

// The hydrograph is drawn in a gnuplot session of its own: its y axis spans
// the flows (0 to 40 m3/s here), not the objective's range (0.7 to 0.9)
// that the convergence picture sets. A gnuplot in front of the real one
// notes the y range each session drew last.
TEST(GridcalPictures, HydrographAxisSpansTheFlowsNotTheObjective) {
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    TempDir tmp("gridcal_pictures");
    const fs::path bin = tmp.path() / "bin", folder = tmp.path() / "out";
    fs::create_directories(bin);
    fs::create_directories(folder);
    write_file(bin / "range.gp", "set print 'ranges.txt' append\nprint GPVAL_Y_MIN, GPVAL_Y_MAX\n");
    write_file(bin / "gnuplot",
               "#!/bin/sh\nPATH=\"$REAL_PATH\" exec gnuplot \"$@\" '" + (bin / "range.gp").string() + "'\n");
    fs::permissions(bin / "gnuplot", fs::perms::owner_all);
    std::string trace, flows;
    for (int k = 1; k <= 6; ++k) {
        const double score = 0.7 + 0.04 * k * (k % 2);
        trace +=
            std::to_string(k) + ",0.5," + std::to_string(score) + ",0,0,0,0,0,0,0,0,0," + std::to_string(score) + "\n";
        flows += "2000-01-0" + std::to_string(k) + " 00:00," + std::to_string(k * 6) + "," + std::to_string(k * 5) +
                 "," + std::to_string(k * 7 - 2) + "\n";  // up to 40 m3/s
    }
    write_file(folder / "trace.csv", trace);
    write_file(folder / "best_flow.csv", flows);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("REAL_PATH", path.c_str(), 1);
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    const bool drawn = hydro::draw_pictures(folder.string(), hydro::ObjectiveKind::kge, 1);
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(drawn);
    EXPECT_TRUE(fs::exists(folder / "hydrograph.png"));
    std::istringstream ranges(read_file(folder / "ranges.txt"));
    std::vector<std::pair<double, double>> drawn_ranges;
    for (double low, high; ranges >> low >> high;) drawn_ranges.emplace_back(low, high);
    ASSERT_EQ(drawn_ranges.size(), 2u) << "one session a picture";
    EXPECT_LT(drawn_ranges[0].second, 1.0);  // the objective's
    EXPECT_EQ(drawn_ranges[1].first, 0.0);
    EXPECT_GE(drawn_ranges[1].second, 40.0);
}

}  // namespace
