// The command lines of gridrun and areamean: help, version, options that
// replace the menu and the fixed working folder, and refused options.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace {

using namespace testing_support;

struct Refused {
    const char* exe;
    std::vector<std::string> args;
    const char* says;
};

TEST(CommandLine, HelpAndVersionAnswerWithoutTouchingAProject) {
    TempDir tmp("cli");
    for (const char* exe : {GRIDRUN_EXE, AREAMEAN_EXE, GRIDCAL_EXE}) {
        const RunResult help = run_program(exe, {"--help"}, tmp.path());
        EXPECT_EQ(help.exit_code, 0);
        EXPECT_NE(help.out.find("Usage: "), std::string::npos) << help.out;
        EXPECT_NE(help.out.find("--project DIR"), std::string::npos);
        const RunResult version = run_program(exe, {"--version"}, tmp.path());
        EXPECT_EQ(version.exit_code, 0);
        EXPECT_EQ(version.out.find_first_of("0123456789") != std::string::npos, true) << version.out;
    }
    EXPECT_TRUE(file_names(tmp.path()).empty());
}

// Each program names itself in --version and points a slip of the keyboard
// at the option it meant.
TEST(CommandLine, EveryProgramNamesItselfAndSuggestsTheOptionMeant) {
    struct Program {
        const char* exe;
        const char* name;
        std::vector<std::string> slip;
        const char* meant;
    };
    std::vector<Program> programs = {
        {GRIDRUN_EXE, "gridrun", {"--porject", "p"}, "--project"},
        {AREAMEAN_EXE, "areamean", {"--quite"}, "--quiet"},
        {GRIDCAL_EXE, "gridcal", {"--evalutions", "9"}, "--evaluations"},
        {RUN_SUMMARY_EXE, "run_summary", {"--observd", "f.csv"}, "--observed"},
#ifdef GRIDPREP_EXE
        {GRIDPREP_EXE, "gridprep", {"--dem", "d", "--output", "o", "--threshhold", "2"}, "--threshold"},
#endif
#ifdef GRIDCAL_MPI_EXE
        {GRIDCAL_MPI_EXE, "gridcal_mpi", {"--sede", "2"}, "--seed"},
#endif
    };
    TempDir tmp("cli");
    for (const Program& p : programs) {
        SCOPED_TRACE(p.name);
        const RunResult version = run_program(p.exe, {"--version"}, tmp.path());
        EXPECT_EQ(version.out.rfind(std::string(p.name) + " ", 0), 0u) << version.out;
        const RunResult slip = run_program(p.exe, p.slip, tmp.path());
        EXPECT_EQ(slip.exit_code, 2);
        EXPECT_NE(slip.err.find(std::string("did you mean ") + p.meant + "?"), std::string::npos) << slip.err;
    }
    EXPECT_TRUE(file_names(tmp.path()).empty());
}

TEST(CommandLine, RunSummaryAnswersHelpAndVersion) {
    TempDir tmp("cli");
    const RunResult help = run_program(RUN_SUMMARY_EXE, {"--help"}, tmp.path());
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("Usage: run_summary PROJECT_ROOT"), std::string::npos) << help.out;
    const RunResult version = run_program(RUN_SUMMARY_EXE, {"--version"}, tmp.path());
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out.rfind("run_summary ", 0), 0u) << version.out;
}

// The common slips of a first run: each message says what to do.
TEST(CommandLine, SlipsOfAFirstRunAreExplained) {
    const fs::path source = fs::path(TEST_SOURCE_DIR) / "golden" / "case-9007-tiny" / "project";
    TempDir tmp("slips");
    const fs::path root = tmp.path() / "project";
    fs::copy(source, root, fs::copy_options::recursive);
    const fs::path grids = root / "arcview" / "ascii";
    struct Slip {
        const char* name;
        std::vector<std::string> args;
        fs::path working_dir;
        std::vector<std::string> says;
    };
    const std::vector<Slip> slips = {
        {"started in the project root",
         {"--mode", "1"},
         root,
         {"not a working folder", "two levels below", "--project"}},
        {"project folder missing",
         {"--project", (tmp.path() / "nowhere").string(), "--mode", "1"},
         tmp.path(),
         {"nowhere: no such folder", "arcview/ and model/"}},
        {"project given as the working folder",
         {"--project", run_dir(root).string(), "--mode", "1"},
         tmp.path(),
         {"the project root seems to be", "give --project"}},
        {"watershed.asc in capitals",
         {"--mode", "1"},
         run_dir(root),
         {"did you mean ../../arcview/ascii/Watershed.ASC?", "Rename it to watershed.asc"}},
        {"slope.asc with an added extension",
         {"--mode", "1"},
         run_dir(root),
         {"did you mean ../../arcview/ascii/slope.asc.txt?"}},
    };
    for (const Slip& slip : slips) {
        SCOPED_TRACE(slip.name);
        if (std::string(slip.name) == "watershed.asc in capitals")
            fs::rename(grids / "watershed.asc", grids / "Watershed.ASC");
        if (std::string(slip.name) == "slope.asc with an added extension") {
            fs::rename(grids / "Watershed.ASC", grids / "watershed.asc");
            fs::rename(grids / "slope.asc", grids / "slope.asc.txt");
        }
        const RunResult r = run_program(GRIDRUN_EXE, slip.args, slip.working_dir);
        EXPECT_EQ(r.exit_code, 1);
        for (const std::string& text : slip.says) EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        // areamean reads watershed.asc too, but not slope.asc.
        if (slip.args[0] != "--project" && slip.says[0].find("slope") == std::string::npos) {
            const RunResult a = run_program(AREAMEAN_EXE, {}, slip.working_dir);
            EXPECT_EQ(a.exit_code, 1);
        }
    }
}

TEST(CommandLine, QuietPrintsNothingButErrorsAndWarnings) {
    const fs::path source = fs::path(TEST_SOURCE_DIR) / "golden" / "case-9007-tiny" / "project";
    TempDir tmp("quiet");
    fs::copy(source, tmp.path() / "project", fs::copy_options::recursive);
    const fs::path here = run_dir(tmp.path() / "project");
    for (const char* exe : {GRIDRUN_EXE, AREAMEAN_EXE}) {
        const RunResult r = run_program(exe, {"--quiet", "--mode", "2"}, here);
        if (std::string(exe) == AREAMEAN_EXE) continue;  // takes no run mode
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
    }
    const RunResult a = run_program(AREAMEAN_EXE, {"--quiet"}, here);
    EXPECT_EQ(a.exit_code, 0) << a.err;
    EXPECT_EQ(a.out, "");
    EXPECT_EQ(a.err, "");
    // A cell kernel asked for that does not exist is said, with the kernels there are.
    const RunResult k = run_program(
        "/bin/sh", {"-c", std::string("HYDRO_CELL_KERNEL=avx9000 ") + GRIDRUN_EXE + " --quiet --mode 2"}, here);
    EXPECT_EQ(k.exit_code, 0) << k.err;
    EXPECT_NE(k.err.find("warning: HYDRO_CELL_KERNEL=avx9000 names no cell kernel of this processor ("),
              std::string::npos)
        << k.err;
    EXPECT_NE(k.err.find("generic); using "), std::string::npos) << k.err;
}

TEST(CommandLine, UnknownOrMalformedOptionsGiveUsageAndStatusTwo) {
    const std::vector<Refused> cases = {
        {GRIDRUN_EXE, {"--frobnicate"}, "unknown option"},
        {GRIDRUN_EXE, {"--mode", "3"}, "--mode must be 1 or 2"},
        {GRIDRUN_EXE, {"--mode"}, "needs a value"},
        {GRIDRUN_EXE, {"--threads", "0"}, "--threads must be"},
        {GRIDRUN_EXE, {"--threads", "two"}, "--threads must be"},
        {AREAMEAN_EXE, {"--mode", "1"}, "unknown option"},
        {AREAMEAN_EXE, {"--project"}, "needs a value"},
        {RUN_SUMMARY_EXE, {}, "expected the project root"},
        {RUN_SUMMARY_EXE, {"a", "--project", "b"}, "give the project root once"},
        {RUN_SUMMARY_EXE, {"a", "--warmup", "3"}, "--warmup needs --observed"},
        {GRIDCAL_EXE, {"--objective", "rmse"}, "--objective takes kge, nse or lognse"},
        {GRIDCAL_EXE, {"--evaluations", "0"}, "--evaluations takes a whole number from 1"},
        {GRIDCAL_EXE, {"--project", "p"}, "--project, --observed, --parameters and --output are needed"},
    };
    TempDir tmp("cli");
    for (const Refused& c : cases) {
        SCOPED_TRACE(std::string(c.exe) + " " + (c.args.empty() ? "" : c.args[0]));
        const RunResult r = run_program(c.exe, c.args, tmp.path());
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Usage: "), std::string::npos) << r.err;
    }
}

TEST(CommandLine, ProjectModeAndQuietGiveTheSameFilesAsTheMenuRun) {
    const fs::path source = fs::path(TEST_SOURCE_DIR) / "golden" / "case-9007-tiny";
    TempDir a("menu"), b("options");
    fs::copy(source / "project", a.path() / "project", fs::copy_options::recursive);
    fs::copy(source / "project", b.path() / "project", fs::copy_options::recursive);
    const RunResult menu = run_program(GRIDRUN_EXE, {}, run_dir(a.path() / "project"), "2\n");
    ASSERT_EQ(menu.exit_code, 0) << menu.err;
    // Started anywhere, with the root named and no menu.
    const RunResult direct =
        run_program(GRIDRUN_EXE, {"--project", (b.path() / "project").string(), "--mode", "2", "--quiet"}, b.path());
    ASSERT_EQ(direct.exit_code, 0) << direct.err;
    EXPECT_EQ(direct.out.find("cell:"), std::string::npos) << "--quiet still wrote progress lines";
    EXPECT_EQ(direct.out.find("Your Choice"), std::string::npos) << "--mode still showed the menu";
    const RunResult means = run_program(AREAMEAN_EXE, {"--project", (b.path() / "project").string()}, b.path());
    ASSERT_EQ(means.exit_code, 0) << means.err;
    const RunResult means_menu = run_program(AREAMEAN_EXE, {}, run_dir(a.path() / "project"));
    ASSERT_EQ(means_menu.exit_code, 0);
    const fs::path out_a = a.path() / "project" / "model" / "output", out_b = b.path() / "project" / "model" / "output";
    ASSERT_EQ(file_names(out_a), file_names(out_b));
    for (const std::string& f : file_names(out_a)) EXPECT_EQ(read_file(out_a / f), read_file(out_b / f)) << f;
}

}  // namespace
