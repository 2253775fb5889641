// areamean end to end: small projects written to a temporary folder, the
// program started two levels below the project root, and the subbasin series
// files compared byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using namespace testing_support;

const char* const kHeaderLine = "year month day hour";

// A small project: a 2 x 2 basin of subbasin 1 with one station of each
// variable, one step, temperature used.
struct Project {
    int rows = 2, cols = 2;
    std::string cell_size = "100";
    std::string watershed = "1 1\n1 1\n";
    std::string zone_p = "1 1\n1 1\n", zone_e = "1 1\n1 1\n";
    std::optional<std::string> zone_t = "1 1\n1 1\n";
    std::string degree_day_factor = "2";
    std::optional<std::string> p = "year month day hour 1031.9\n2005 1 1 0 8\n";
    std::string pet = "year month day hour 1031.9\n2005 1 1 0 2.5\n";
    std::optional<std::string> t = "year month day hour 1031.9\n2005 1 1 0 -3.25\n";
    bool output_folder = true;
};

std::string grid(const Project& pr, const std::string& values) {
    return "ncols " + std::to_string(pr.cols) + "\nnrows " + std::to_string(pr.rows) +
           "\nxllcorner 537220.79\nyllcorner 5891465.09\ncellsize " + pr.cell_size + "\nNODATA_value -9999\n" + values;
}

void write_project(const fs::path& root, const Project& pr) {
    const fs::path ascii = root / "arcview" / "ascii", input = root / "model" / "input";
    write_file(ascii / "watershed.asc", grid(pr, pr.watershed));
    write_file(ascii / "thiessen_p.asc", grid(pr, pr.zone_p));
    write_file(ascii / "thiessen_e.asc", grid(pr, pr.zone_e));
    if (pr.zone_t) write_file(ascii / "thiessen_t.asc", grid(pr, *pr.zone_t));
    write_file(input / "input.txt", "Time_step_(hours)\n24\nmodel_parameters\n1.43 0.036 0.5 1 231.9 674.5 0 " +
                                        pr.degree_day_factor +
                                        " 0.01 3.5 23.5\nSubbasins 0\n"
                                        "Runoff\n0\nInterflow\n0\nRecharge\n0\nMoisture\n0\nEvaporation\n0\n");
    if (pr.p) write_file(input / "p.txt", *pr.p);
    write_file(input / "pet.txt", pr.pet);
    if (pr.t) write_file(input / "t.txt", *pr.t);
    if (pr.output_folder) fs::create_directories(root / "model" / "output");
}

fs::path output_folder(const fs::path& root) { return root / "model" / "output"; }

RunResult run_areamean(const fs::path& root) { return run_program(AREAMEAN_EXE, {}, run_dir(root)); }

struct MeanCase {
    const char* name;
    std::function<void(Project&)> change;
    std::string p, e;
    std::optional<std::string> t;  // absent: no temperature file written
};

TEST(AreaMean, SubbasinSeriesFiles) {
    const std::vector<MeanCase> cases = {
        {"one station for the whole basin", [](Project&) {},
         "year month day hour        1\n2005   1    1   0      8.000\n",
         "year month day hour        1\n2005   1    1   0      2.500\n",
         "year month day hour        1\n2005   1    1   0     -3.250\n"},
        {"subbasin split 3:1 between two stations",
         [](Project& pr) {
             pr.zone_p = "1 1\n2 1\n";
             pr.p = "year month day hour 100 200\n2005 1 1 0 8 4\n";
         },
         "year month day hour        1\n2005   1    1   0      7.000\n",
         "year month day hour        1\n2005   1    1   0      2.500\n",
         "year month day hour        1\n2005   1    1   0     -3.250\n"},
        {"two subbasins, two stations, cells outside the basin",
         [](Project& pr) {
             pr.rows = 2;
             pr.cols = 3;
             pr.watershed = "1 1 -9999\n-9999 2 2\n";
             pr.zone_p = "1 1 -9999\n-9999 2 2\n";
             pr.zone_e = "1 1 1\n1 1 1\n";
             pr.zone_t = "1 1 1\n1 1 1\n";
             pr.p = "year month day hour 100 200\n2005 1 1 0 1.5 0.25\n";
         },
         "year month day hour        1        2\n2005   1    1   0      1.500    0.250\n",
         "year month day hour        1        2\n2005   1    1   0      2.500    2.500\n",
         "year month day hour        1        2\n2005   1    1   0     -3.250   -3.250\n"},
        {"station number used only outside the basin is not counted",
         [](Project& pr) {
             pr.cols = 3;
             pr.watershed = "-9999 1 1\n0 1 1\n";
             pr.zone_p = "5 1 2\n5 3 4\n";
             pr.zone_e = "1 1 1\n1 1 1\n";
             pr.zone_t = pr.zone_e;
             pr.p = "year month day hour 1 2 3 4\n2005 1 1 0 1 2 3 4\n2005 1 2 0 5 6 7 8\n";
             pr.pet = "year month day hour 1\n2005 1 1 0 1\n2005 1 2 0 2\n";
             pr.t = "year month day hour 1\n2005 1 1 0 1\n2005 1 2 0 2\n";
         },
         "year month day hour        1\n2005   1    1   0      2.500\n2005   1    2   0      6.500\n",
         "year month day hour        1\n2005   1    1   0      1.000\n2005   1    2   0      2.000\n",
         "year month day hour        1\n2005   1    1   0      1.000\n2005   1    2   0      2.000\n"},
        {"basin cell without a valid station lowers the mean", [](Project& pr) { pr.zone_p = "1 1\n1 -9999\n"; },
         "year month day hour        1\n2005   1    1   0      6.000\n",
         "year month day hour        1\n2005   1    1   0      2.500\n",
         "year month day hour        1\n2005   1    1   0     -3.250\n"},
        {"dates come from p.txt, too wide values become asterisks",
         [](Project& pr) {
             pr.p = "year month day hour 1\n2009 12 31 23 123456.7\n";
             pr.pet = "labels only here\n1999 9 9 9 0.004\n";
             pr.t = "a b c d\nx y z w -0.25\n";
         },
         "year month day hour        1\n2009  12   31  23  *********\n",
         "year month day hour        1\n2009  12   31  23      0.004\n",
         "year month day hour        1\n2009  12   31  23     -0.250\n"},
        {"p.txt with the header only gives header lines only",
         [](Project& pr) {
             pr.p = "year month day hour 1\n\n";
             pr.pet = "h\n";
             pr.t = "h\n";
         },
         "year month day hour        1\n", "year month day hour        1\n", "year month day hour        1\n"},
        {"CRLF, byte order marks, wrapped rows and exponents",
         [](Project& pr) {
             pr.watershed = "\t1,1\r\n\r\n1\r\n1\r\n";
             pr.zone_p = "1 1 9 9\r\n2\r\n1\r\n";
             pr.p = "\xEF\xBB\xBFyear month day hour 1 2\r\n2005,1,1,0\t0.8D1 4E0\r\n";
             pr.pet = "\xEF\xBB\xBFh\r\n2005 1 1 0 25d-1\r\n";
         },
         "year month day hour        1\n2005   1    1   0      7.000\n",
         "year month day hour        1\n2005   1    1   0      2.500\n",
         "year month day hour        1\n2005   1    1   0     -3.250\n"},
        {"temperature off: t.txt not needed, Subbasin_T.txt not written",
         [](Project& pr) {
             pr.degree_day_factor = "-1";
             pr.t.reset();
         },
         "year month day hour        1\n2005   1    1   0      8.000\n",
         "year month day hour        1\n2005   1    1   0      2.500\n", std::nullopt},
    };
    for (const MeanCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp("areamean");
        const fs::path root = tmp.path() / "project";
        Project pr;
        c.change(pr);
        write_project(root, pr);
        const fs::path out = output_folder(root);
        const std::string old_t = "an earlier run's temperatures\n";
        write_file(out / "Subbasin_T.txt", old_t);

        const RunResult r = run_areamean(root);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        // Asterisks come with one warning naming the file, the subbasin and the record.
        if (c.p.find('*') == std::string::npos)
            EXPECT_EQ(r.err, "");
        else
            EXPECT_EQ(r.err,
                      "areamean: warning: Subbasin_P.txt: the column of subbasin 1 in record 1 (2009-12-31 hour 23) "
                      "is too wide for its field and is written as asterisks; later records may hold more such "
                      "values\n");
        EXPECT_EQ(read_file(out / "Subbasin_P.txt"), c.p);
        EXPECT_EQ(read_file(out / "Subbasin_E.txt"), c.e);
        EXPECT_EQ(read_file(out / "Subbasin_T.txt"), c.t ? *c.t : old_t);
    }
}

TEST(AreaMean, ConsoleShowsBannerAndRunTime) {
    TempDir tmp("areamean");
    const fs::path root = tmp.path() / "project";
    write_project(root, Project{});
    const RunResult r = run_areamean(root);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string banner =
        " \n Mean areal precipitation, evapotranspiration ( and Temperature) over subbasins!\n \n \n"
        "                        by applying Thiessen polygon method\n \n \n \n \n Last up-date: Feb. 2009\n";
    ASSERT_EQ(r.out.substr(0, banner.size()), banner);
    EXPECT_EQ(r.out.substr(banner.size()), " Run-time was: 0 seconds.\n \n");
}

struct FailureCase {
    const char* name;
    std::function<void(Project&)> change;
    const char* named;  // what the message must name
    bool banner;        // the banner is written before the failure
};

TEST(AreaMean, InputErrorsStopBeforeAnyOutputFile) {
    const std::vector<FailureCase> cases = {
        {"a subbasin number without any cell", [](Project& pr) { pr.watershed = "1 1\n3 3\n"; }, "subbasin 2", true},
        {"cell size with a fraction", [](Project& pr) { pr.cell_size = "25.5"; }, "watershed.asc", false},
        {"station grid value with a decimal point", [](Project& pr) { pr.zone_e = "1 1\n1.0 1\n"; }, "thiessen_e.asc",
         true},
        {"temperature grid missing although temperature is off",
         [](Project& pr) {
             pr.degree_day_factor = "-1";
             pr.zone_t.reset();
             pr.t.reset();
         },
         "thiessen_t.asc", true},
        {"temperature grid not whole numbers although temperature is off",
         [](Project& pr) {
             pr.degree_day_factor = "-1";
             pr.zone_t = "1 1\n1 x\n";
         },
         "thiessen_t.asc", true},
        {"t.txt missing while temperature is on", [](Project& pr) { pr.t.reset(); }, "t.txt", true},
        {"p.txt missing", [](Project& pr) { pr.p.reset(); }, "p.txt", true},
        {"pet.txt shorter than p.txt", [](Project& pr) { pr.p = "h\n2005 1 1 0 8\n2005 1 2 0 8\n"; }, "pet.txt", true},
        {"degree-day factor with a fraction", [](Project& pr) { pr.degree_day_factor = "2.5"; }, "input.txt", true},
        {"precipitation value not a number", [](Project& pr) { pr.p = "h\n2005 1 1 0 nan\n"; }, "p.txt", true},
        {"no output folder", [](Project& pr) { pr.output_folder = false; }, "Subbasin_P.txt", true},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp("areamean");
        const fs::path root = tmp.path() / "project";
        Project pr;
        c.change(pr);
        write_project(root, pr);

        const RunResult r = run_areamean(root);
        EXPECT_NE(r.exit_code, 0);
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        EXPECT_EQ(r.out.find("Mean areal precipitation") != std::string::npos, c.banner) << r.out;
        EXPECT_EQ(r.out.find("Run-time was"), std::string::npos) << r.out;
        EXPECT_EQ(file_names(output_folder(root)), std::vector<std::string>{});
    }
}

}  // namespace
