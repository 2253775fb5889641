// Result sets: a set of result files replaces the earlier results all at once
// or not at all, whatever moment the process is stopped at, once the next run
// (or --recover) has completed an interrupted replacement; symbolic links at
// result paths are replaced, never written through; one run at a time.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "input_error.hpp"
#include "output_lock.hpp"
#include "result_set.hpp"
#include "test_support.hpp"

namespace {

using namespace hydro;
using namespace testing_support;

const std::map<std::string, std::string> kOld = {{"a.txt", "old a\n"}, {"b.asc", "old b\n"}, {"c.txt", "old c\n"}};
const std::map<std::string, std::string> kNew = {{"a.txt", "new a, longer\n"}, {"b.asc", "new b\n"}, {"c.txt", ""}};

std::map<std::string, std::string> folder_contents(const fs::path& dir) {
    std::map<std::string, std::string> m;
    for (const std::string& name : file_names(dir)) m[name] = read_file(dir / name);
    return m;
}

// In a child process: writes the new set over the old one and stops at `stop`.
enum class Stop { BeforeCommit, AfterRenames0, AfterRenames1, AfterRenames2, AfterRenames3, Never };

void write_new_set_in_child(const fs::path& dir, Stop stop) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ResultSet set;
        for (const auto& [name, text] : kNew) set.write_file((dir / name).string(), text);
        if (stop == Stop::BeforeCommit) {
            set.create((dir / "a.txt").string()).write("half of a");
            ::kill(::getpid(), SIGKILL);
        }
        if (stop != Stop::Never) stop_after_renames_for_tests(static_cast<int>(stop) - 1);
        set.commit();
        std::_Exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (stop == Stop::Never)
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    else
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

struct StopCase {
    Stop stop;
    bool new_results;  // after recovery: the new set (else the old one)
};

class StoppedReplacement : public ::testing::TestWithParam<StopCase> {};

TEST_P(StoppedReplacement, IsAllOldOrAllNewAfterRecovery) {
    TempDir tmp("result-set");
    for (const auto& [name, text] : kOld) write_file(tmp.path() / name, text);
    write_new_set_in_child(tmp.path(), GetParam().stop);
    const RecoveryReport r = recover_result_sets(tmp.path().string());
    EXPECT_EQ(folder_contents(tmp.path()), GetParam().new_results ? kNew : kOld);
    // Nothing of the replacement is left behind, hidden files included.
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(tmp.path())) ++entries, (void)e;
    EXPECT_EQ(entries, 3u);
    EXPECT_EQ(recover_result_sets(tmp.path().string()).journal_found, false);
    EXPECT_EQ(r.journal_found, GetParam().stop != Stop::BeforeCommit && GetParam().stop != Stop::Never);
}

INSTANTIATE_TEST_SUITE_P(ResultSet, StoppedReplacement,
                         ::testing::Values(StopCase{Stop::BeforeCommit, false}, StopCase{Stop::AfterRenames0, true},
                                           StopCase{Stop::AfterRenames1, true}, StopCase{Stop::AfterRenames2, true},
                                           StopCase{Stop::AfterRenames3, true}, StopCase{Stop::Never, true}));

TEST(ResultSet, ReplacesASymbolicLinkAtAResultPathAndLeavesItsTargetAlone) {
    TempDir tmp("result-set");
    write_file(tmp.path() / "precious.txt", "keep me\n");
    fs::create_symlink(tmp.path() / "precious.txt", tmp.path() / "q_tot.txt");
    ResultSet set;
    set.write_file((tmp.path() / "q_tot.txt").string(), "results\n");
    set.commit();
    EXPECT_EQ(read_file(tmp.path() / "precious.txt"), "keep me\n");
    EXPECT_FALSE(fs::is_symlink(tmp.path() / "q_tot.txt"));
    EXPECT_EQ(read_file(tmp.path() / "q_tot.txt"), "results\n");
}

TEST(ResultSet, AFolderAtAResultPathStopsTheSetBeforeAnyRename) {
    TempDir tmp("result-set");
    write_file(tmp.path() / "a.txt", "old a\n");
    fs::create_directory(tmp.path() / "b.txt");
    {
        ResultSet set;
        set.write_file((tmp.path() / "a.txt").string(), "new a\n");
        set.write_file((tmp.path() / "b.txt").string(), "new b\n");
        EXPECT_THROW(set.commit(), OutputError);
    }
    EXPECT_EQ(read_file(tmp.path() / "a.txt"), "old a\n");
    EXPECT_EQ(file_names(tmp.path()), std::vector<std::string>{"a.txt"});
}

// A journal that was not written by a run (damaged, or planted to move files
// elsewhere) moves nothing; it is removed.
TEST(ResultSet, ARecoveryActsOnlyOnAJournalOfItsOwnTemporaryFiles) {
    const std::vector<std::string> journals = {
        "result set journal 1\n1\n11 5\n../../x.txt\na.txt\nend\n",       // a file outside the folder
        "result set journal 1\n1\n5 5\nb.asc\na.txt\nend\n",              // not a temporary file
        "result set journal 1\n1\n16 5\n.a.txt.tmp.12.0\na.txt\n",        // not whole
        "result set journal 1\n99999999999\n",                            // an absurd count
        "result set journal 1\n1\n900 5\n.a.txt.tmp.12.0\na.txt\nend\n",  // lengths beyond the text
    };
    for (const std::string& j : journals) {
        SCOPED_TRACE(j);
        TempDir tmp("result-set");
        for (const auto& [name, text] : kOld) write_file(tmp.path() / name, text);
        write_file(tmp.path() / ".a.txt.tmp.12.0", "new a\n");
        write_file(tmp.path() / kResultJournalName, j);
        const RecoveryReport r = recover_result_sets(tmp.path().string());
        EXPECT_TRUE(r.journal_found);
        EXPECT_EQ(r.finished_renames, 0);
        EXPECT_EQ(folder_contents(tmp.path()), kOld);
    }
}

TEST(OutputFolderLock, ASecondRunRefusesWithoutWaiting) {
    TempDir tmp("lock");
    {
        const OutputFolderLock first(tmp.path().string(), false, "test");
        try {
            const OutputFolderLock second(tmp.path().string(), false, "test");
            ADD_FAILURE() << "the second lock was granted";
        } catch (const OutputError& e) {
            EXPECT_NE(std::string(e.what()).find("another run"), std::string::npos) << e.what();
        }
    }
    EXPECT_NO_THROW(OutputFolderLock(tmp.path().string(), false, "test"));
}

}  // namespace
