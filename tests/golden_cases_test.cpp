// The reference projects: every file both programs write must match the
// expected files byte for byte (line ends aside), in both run modes given.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "test_support.hpp"

namespace {

using namespace testing_support;

std::vector<std::string> golden_cases() {
    std::vector<std::string> cases;
    for (const auto& e : fs::directory_iterator(fs::path(TEST_SOURCE_DIR) / "golden"))
        if (e.is_directory()) cases.push_back(e.path().filename().string());
    std::sort(cases.begin(), cases.end());
    return cases;
}

// The run-time line of areamean depends on the machine.
std::string without_run_time(const std::string& s) {
    std::string out;
    std::istringstream in(s);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(" Run-time was:", 0) != 0) out += line + '\n';
    return out;
}

class GoldenCase : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenCase, BothProgramsReproduceEveryExpectedFile) {
    const fs::path source = fs::path(TEST_SOURCE_DIR) / "golden" / GetParam();
    TempDir tmp("golden");
    fs::copy(source / "project", tmp.path() / "project", fs::copy_options::recursive);
    const fs::path root = tmp.path() / "project";
    const fs::path here = run_dir(root);

    const RunResult model = run_program(GRIDRUN_EXE, {}, here, read_file(source / "menu.txt"));
    ASSERT_EQ(model.exit_code, 0) << model.err;
    const RunResult means = run_program(AREAMEAN_EXE, {}, here);
    ASSERT_EQ(means.exit_code, 0) << means.err;

    for (const std::string& name : file_names(source / "expected")) {
        SCOPED_TRACE(name);
        const std::string expected = without_cr(read_file(source / "expected" / name));
        if (name == "gridrun.stdout") {
            EXPECT_EQ(model.out, expected);
        } else if (name == "areamean.stdout") {
            EXPECT_EQ(without_run_time(means.out), without_run_time(expected));
        } else {
            ASSERT_TRUE(fs::exists(root / "model" / "output" / name));
            EXPECT_EQ(read_file(root / "model" / "output" / name), expected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Reference, GoldenCase, ::testing::ValuesIn(golden_cases()), [](const auto& param_info) {
    std::string n = param_info.param;
    for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
});

}  // namespace

namespace {

// Every result file is identical whatever the number of threads of the cell
// loop, in both run modes.
TEST(ThreadCount, ResultsAreIdenticalForOneTwoAndThreeThreads) {
    for (const std::string& name : golden_cases()) {
        for (const char* mode : {"1", "2"}) {
            SCOPED_TRACE(name + " mode " + mode);
            std::vector<std::string> baseline_names;
            std::map<std::string, std::string> baseline;
            for (const char* threads : {"1", "2", "3"}) {
                TempDir tmp("threads");
                fs::copy(fs::path(TEST_SOURCE_DIR) / "golden" / name / "project", tmp.path() / "project",
                         fs::copy_options::recursive);
                const fs::path root = tmp.path() / "project";
                const RunResult r = run_program(GRIDRUN_EXE, {"--mode", mode, "--threads", threads}, run_dir(root));
                ASSERT_EQ(r.exit_code, 0) << r.err;
                std::map<std::string, std::string> files;
                for (const std::string& f : file_names(root / "model" / "output"))
                    files[f] = read_file(root / "model" / "output" / f);
                files["stdout"] = r.out;
                if (baseline.empty())
                    baseline = files;
                else
                    EXPECT_TRUE(files == baseline) << "outputs differ with " << threads << " threads";
            }
        }
    }
}

}  // namespace
