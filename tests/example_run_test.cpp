// The bundled example basin through both programs: the summary's figures
// agree with sums taken from the result files, and every map opens in GDAL
// (when gdal-bin is installed).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "test_support.hpp"

namespace {

using namespace testing_support;

// Columns of a result file, by the names of its header.
struct Columns {
    std::vector<std::string> names;
    std::vector<std::vector<double>> rows;
    double at(std::size_t r, const std::string& name) const {
        for (std::size_t c = 0; c < names.size(); ++c)
            if (names[c] == name) return rows[r][c];
        ADD_FAILURE() << "no column " << name;
        return 0;
    }
};

Columns read_columns(const fs::path& p) {
    Columns t;
    std::istringstream in(read_file(p));
    std::string line;
    std::getline(in, line);
    std::istringstream header(line);
    for (std::string w; header >> w;) t.names.push_back(w);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<double> row;
        for (double v; fields >> v;) row.push_back(v);
        if (!row.empty()) t.rows.push_back(row);
    }
    return t;
}

// The number after `label` in the summary text.
double figure(const std::string& summary, const std::string& label) {
    const std::size_t at = summary.find(label);
    if (at == std::string::npos) {
        ADD_FAILURE() << "summary has no line " << label;
        return NAN;
    }
    return std::strtod(summary.c_str() + at + label.size(), nullptr);
}

class ExampleRun : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        tmp_ = new TempDir("example");
        fs::copy(fs::path(EXAMPLES_DIR) / "jacksboro", tmp_->path() / "jacksboro", fs::copy_options::recursive);
        root_ = tmp_->path() / "jacksboro";
        const fs::path here = run_dir(root_);
        means_ = run_program(AREAMEAN_EXE, {}, here);
        model_ = run_program(GRIDRUN_EXE, {"--mode", "2", "--quiet"}, here);
        summary_ = run_program(RUN_SUMMARY_EXE, {root_.string()}, here);
    }
    static void TearDownTestSuite() { delete tmp_; }
    static inline TempDir* tmp_ = nullptr;
    static inline fs::path root_;
    static inline RunResult means_, model_, summary_;
};

TEST_F(ExampleRun, SummaryAgreesWithTheResultFiles) {
    ASSERT_EQ(means_.exit_code, 0) << means_.err;
    ASSERT_EQ(model_.exit_code, 0) << model_.err;
    ASSERT_EQ(summary_.exit_code, 0) << summary_.err;
    const std::string& s = summary_.out;
    const Columns q = read_columns(root_ / "model" / "output" / "q_tot.txt");
    const Columns b = read_columns(root_ / "model" / "output" / "balance.txt");
    ASSERT_EQ(q.rows.size(), 1461u);  // daily steps 2012-2015
    ASSERT_EQ(b.rows.size(), q.rows.size());

    double peak = 0, vs = 0, vi = 0, vg = 0;
    for (std::size_t r = 0; r < q.rows.size(); ++r) {
        peak = std::max(peak, q.at(r, "Q"));
        vs += q.at(r, "Qs") * 86400.0;
        vi += q.at(r, "Qi") * 86400.0;
        vg += q.at(r, "Qg") * 86400.0;
    }
    EXPECT_NEAR(figure(s, "peak discharge"), peak, 0.0005);
    EXPECT_NEAR(figure(s, "surface flow"), vs, 1.0);
    EXPECT_NEAR(figure(s, "interflow"), vi, 1.0);
    EXPECT_NEAR(figure(s, "groundwater flow"), vg, 1.0);

    double rain = 0, evap = 0, runoff = 0;
    for (std::size_t r = 1; r < b.rows.size(); ++r) {
        rain += b.at(r, "rain");
        evap += b.at(r, "evap");
        runoff += b.at(r, "RS") + b.at(r, "RI") + b.at(r, "RG");
    }
    const std::size_t last = b.rows.size() - 1;
    const double storage = (b.at(last, "s_mo") - b.at(0, "s_mo")) + (b.at(last, "GT") - b.at(0, "GT"));
    EXPECT_NEAR(figure(s, "rain"), rain, 0.06);
    EXPECT_NEAR(figure(s, "evaporation"), evap, 0.06);
    EXPECT_NEAR(figure(s, "runoff generated"), runoff, 0.06);
    EXPECT_NEAR(figure(s, "storage change"), storage, 0.06);
    const double closure = rain - evap - runoff - storage;
    EXPECT_NEAR(figure(s, "closure error"), closure, 0.1);
    // A real basin over four years: the closure error is small against the rain.
    EXPECT_LT(std::fabs(closure), 0.02 * rain);
    // The outlet volumes in mm over the basin stay close to the runoff generated:
    // only what is routed beyond the last day is missing.
    EXPECT_NEAR(figure(s, "total"), vs + vi + vg, 1.0);
}

TEST_F(ExampleRun, SummaryScoresTheRunAgainstObservedDischarge) {
    ASSERT_EQ(model_.exit_code, 0) << model_.err;
    // The run's own outlet flow as the gauge record (every tenth day missing)
    // fits perfectly; a record of an impossible date is refused on its line.
    const Columns q = read_columns(root_ / "model" / "output" / "q_tot.txt");
    std::string csv = "date,discharge\n";
    for (std::size_t r = 0; r < q.rows.size(); ++r) {
        char line[80];
        std::snprintf(line, sizeof line, "%04d-%02d-%02dT00:00,%.3f\n", int(q.at(r, "year")), int(q.at(r, "month")),
                      int(q.at(r, "day")), q.at(r, "Q"));
        csv += r % 10 == 5 ? std::string(line).substr(0, 16) + ",NA\n" : line;
    }
    write_file(tmp_->path() / "gauge.csv", csv);
    const RunResult fit = run_program(
        RUN_SUMMARY_EXE,
        {"--project", root_.string(), "--observed", (tmp_->path() / "gauge.csv").string(), "--warmup", "365"},
        tmp_->path());
    ASSERT_EQ(fit.exit_code, 0) << fit.err;
    EXPECT_EQ(fit.out.substr(0, summary_.out.size()), summary_.out);
    EXPECT_NE(fit.out.find("(986 steps with an observation after a warm-up of 365 steps)"), std::string::npos)
        << fit.out;
    EXPECT_EQ(figure(fit.out, "NSE  "), 1.0);
    EXPECT_EQ(figure(fit.out, "KGE  "), 1.0);
    EXPECT_EQ(figure(fit.out, "RMSE "), 0.0);
    write_file(tmp_->path() / "bad.csv", "date,discharge\n2012-01-01,1\n2012-02-30,2\n");
    const RunResult bad = run_program(RUN_SUMMARY_EXE, {root_.string(), "--observed", "bad.csv"}, tmp_->path());
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("bad.csv, line 3: expected a date"), std::string::npos) << bad.err;
}

// q_tot.txt is read by the positions of its fields, as gridrun writes them:
// a value that fills its field whole is read; one too wide (asterisks) and
// an observed file that is not a regular file are refused in one line.
TEST_F(ExampleRun, SummaryReadsFieldsByPositionAndRefusesWhatIsNotAFile) {
    ASSERT_EQ(summary_.exit_code, 0) << summary_.err;
    const fs::path copy = tmp_->path() / "wide";
    fs::copy(root_, copy, fs::copy_options::recursive);
    const fs::path q_tot = copy / "model" / "output" / "q_tot.txt";
    std::vector<std::string> lines;
    std::istringstream in(read_file(q_tot));
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    const Columns q = read_columns(q_tot);
    char fields[64];
    std::snprintf(fields, sizeof fields, "%10.3f%10.3f%10.3f", 0.006, -12257.893, -12257.887);
    lines[2] = lines[2].substr(0, 52) + fields + lines[2].substr(82);  // Qi, Qg and Q of the second step
    auto write_lines = [&] {
        std::string text;
        for (const std::string& l : lines) text += l + "\n";
        write_file(q_tot, text);
    };
    write_lines();
    const RunResult wide = run_program(RUN_SUMMARY_EXE, {copy.string()}, tmp_->path());
    ASSERT_EQ(wide.exit_code, 0) << wide.err;
    EXPECT_NEAR(figure(wide.out, "groundwater flow"),
                figure(summary_.out, "groundwater flow") + (-12257.893 - q.at(1, "Qg")) * 86400.0, 100.0);

    lines[3] = lines[3].substr(0, 72) + "**********" + lines[3].substr(82);
    write_lines();
    const RunResult stars = run_program(RUN_SUMMARY_EXE, {copy.string()}, tmp_->path());
    EXPECT_EQ(stars.exit_code, 1);
    EXPECT_NE(stars.err.find("q_tot.txt, line 4: expected a number in column Q, found asterisks"), std::string::npos)
        << stars.err;

    const std::string fifo = (tmp_->path() / "gauge.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const std::string& observed : {fifo, std::string("/dev/zero")}) {
        const RunResult r = run_program(RUN_SUMMARY_EXE, {root_.string(), "--observed", observed}, tmp_->path());
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(observed + ": expected a plain file, found a device, pipe or socket"), std::string::npos)
            << r.err;
    }
}

TEST_F(ExampleRun, EveryMapOpensInGdalWithItsSizeAndNoData) {
    ASSERT_EQ(model_.exit_code, 0) << model_.err;
    if (std::system("command -v gdalinfo >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gdalinfo is not installed (apt-get install gdal-bin); the maps were not opened in GDAL";
    const std::string grid = read_file(root_ / "arcview" / "ascii" / "watershed.asc");
    int cols = 0, rows = 0;
    std::sscanf(grid.c_str(), "ncols %d nrows %d", &cols, &rows);
    ASSERT_GT(cols, 0);
    int maps = 0;
    for (const std::string& name : file_names(root_ / "model" / "output")) {
        if (name.size() < 4 || name.substr(name.size() - 4) != ".asc") continue;
        ++maps;
        SCOPED_TRACE(name);
        const RunResult info =
            run_program("/bin/sh", {"-c", "gdalinfo -stats " + name + " 2>&1"}, root_ / "model" / "output");
        ASSERT_EQ(info.exit_code, 0) << info.out;
        EXPECT_NE(info.out.find("Size is " + std::to_string(cols) + ", " + std::to_string(rows)), std::string::npos)
            << info.out;
        EXPECT_NE(info.out.find("NoData Value=-1"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("STATISTICS_MAXIMUM"), std::string::npos) << info.out;
    }
    EXPECT_EQ(maps, 4 + 4 + 4 + 2 + 4);
}

}  // namespace
