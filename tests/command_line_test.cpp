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

TEST(CommandLine, UnknownOrMalformedOptionsGiveUsageAndStatusTwo) {
    const std::vector<Refused> cases = {
        {GRIDRUN_EXE, {"--frobnicate"}, "unknown option"},
        {GRIDRUN_EXE, {"--mode", "3"}, "--mode must be 1 or 2"},
        {GRIDRUN_EXE, {"--mode"}, "needs a value"},
        {GRIDRUN_EXE, {"--threads", "0"}, "--threads must be"},
        {GRIDRUN_EXE, {"--threads", "two"}, "--threads must be"},
        {AREAMEAN_EXE, {"--mode", "1"}, "unknown option"},
        {AREAMEAN_EXE, {"--project"}, "needs a value"},
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
