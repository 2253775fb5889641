// Extreme but accepted parameters can turn a result into NaN or infinity.
// The run still writes its files and ends with status 0, with one warning
// naming where the first non-finite value appeared.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "test_support.hpp"

namespace {

using namespace testing_support;

// Replaces the value of data row `row` (from 1), column `col` (from 1) of a grid file.
void set_grid_value(const fs::path& grid, int row, int col, const std::string& value) {
    std::istringstream in(read_file(grid));
    std::string out, line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (n == 6 + row) {
            std::istringstream fields(line);
            std::vector<std::string> v;
            for (std::string f; fields >> f;) v.push_back(f);
            v.at(static_cast<std::size_t>(col - 1)) = value;
            line.clear();
            for (const std::string& f : v) line += f + " ";
        }
        out += line + "\n";
    }
    write_file(grid, out);
}

struct NonFiniteCase {
    const char* name;
    void (*damage)(const fs::path& grids);
    const char* where;  // expected in the warning
};

TEST(NonFiniteGuard, WarnsWithTheFirstPlaceAndStillWritesEveryFile) {
    const std::vector<NonFiniteCase> cases = {
        // A degree of saturation at the limit of a 32-bit real: times the pore
        // storage it overflows to infinity, and infinity less the losses it
        // drives is not a number.
        {"initial saturation 1e38 at cell 1",
         [](const fs::path& g) { set_grid_value(g / "moisture.asc", 1, 3, "1e38"); }, "cell 1 (row 1, column 3)"},
        // A flat basin: the groundwater recession is 0 x 0 / 0 in every subbasin.
        {"flat basin",
         [](const fs::path& g) {
             std::string s = read_file(g / "slope.asc");
             std::string header, rest;
             std::istringstream in(s);
             std::string out, line;
             for (int n = 1; std::getline(in, line); ++n) {
                 if (n > 6) line = std::regex_replace(line, std::regex("(^|\\s)(?!-9999)[0-9.eE+-]+"), "$1 0");
                 out += line + "\n";
             }
             write_file(g / "slope.asc", out);
         },
         "the groundwater store of subbasin 1, step 1"},
    };
    for (const NonFiniteCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp("nonfinite");
        fs::copy(fs::path(TEST_SOURCE_DIR) / "golden" / "case-9007-tiny" / "project", tmp.path() / "project",
                 fs::copy_options::recursive);
        const fs::path root = tmp.path() / "project";
        c.damage(root / "arcview" / "ascii");
        const RunResult r = run_program(GRIDRUN_EXE, {"--mode", "2", "--quiet"}, run_dir(root));
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.where), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        for (const char* f : {"q_tot.txt", "balance.txt", "q_sub.txt", "runoff0001.asc", "evaporation0001.asc"})
            EXPECT_TRUE(fs::exists(root / "model" / "output" / f)) << f;
    }
}

TEST(NonFiniteGuard, AnOrdinaryRunGivesNoWarning) {
    TempDir tmp("finite");
    fs::copy(fs::path(TEST_SOURCE_DIR) / "golden" / "case-9007-tiny" / "project", tmp.path() / "project",
             fs::copy_options::recursive);
    const RunResult r = run_program(GRIDRUN_EXE, {"--mode", "2", "--quiet"}, run_dir(tmp.path() / "project"));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
}

}  // namespace

// Doubts that do not stop a run: each gives one warning line naming the file
// and the place, and the results are written all the same.
TEST(RunWarnings, OverwideValuesAndDateSpacingAreNamed) {
    struct Case {
        const char* name;
        void (*damage)(const fs::path& root);
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"rain too wide for its field",
         [](const fs::path& root) {
             const fs::path p = root / "model" / "input" / "p.txt";
             std::string s = read_file(p);
             const std::size_t at = s.find("1900 \t4 \t10 \t12 \t0.0");
             ASSERT_NE(at, std::string::npos);
             s.replace(at, std::string("1900 \t4 \t10 \t12 \t0.0").size(), "1900 \t4 \t10 \t12 \t99999999");
             write_file(p, s);
         },
         "q_tot.txt: column rain of record 1 (1900-4-10 hour 12) is too wide for its field"},
        {"daily control step over six-hourly records",
         [](const fs::path& root) {
             const fs::path p = root / "model" / "input" / "input.txt";
             std::string s = read_file(p);
             const std::size_t at = s.find("6.0");
             ASSERT_NE(at, std::string::npos);
             s.replace(at, 3, "12.0");
             write_file(p, s);
         },
         "p.txt: records 1 and 2 are 6 hours apart, but the time step of"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp("warnings");
        fs::copy(fs::path(TEST_SOURCE_DIR) / "golden" / "case-9007-tiny" / "project", tmp.path() / "project",
                 fs::copy_options::recursive);
        const fs::path root = tmp.path() / "project";
        c.damage(root);
        const RunResult r = run_program(GRIDRUN_EXE, {"--mode", "2", "--quiet"}, run_dir(root));
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.err.find(std::string("gridrun: warning: ")), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_TRUE(fs::exists(root / "model" / "output" / "q_tot.txt"));
    }
}
