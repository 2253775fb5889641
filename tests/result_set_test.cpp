// Result sets: a set of result files replaces the earlier results all at once
// or not at all, whatever moment the process is stopped at, once the next run
// (or --recover) has completed an interrupted replacement; symbolic links at
// result paths are replaced, never written through; one run at a time.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

const std::map<std::string, std::string> kOld = {
    {"q_tot.txt", "old a\n"}, {"runoff0001.asc", "old b\n"}, {"balance.txt", "old c\n"}};
const std::map<std::string, std::string> kNew = {
    {"q_tot.txt", "new a, longer\n"}, {"runoff0001.asc", "new b\n"}, {"balance.txt", ""}};
// A NetCDF file written beside the output folder (its signature, then text).
const std::string kOldNetcdf = "\x89HDF\r\n\x1a\nold", kNewNetcdf = "\x89HDF\r\n\x1a\nnew";

std::map<std::string, std::string> folder_contents(const fs::path& dir) {
    std::map<std::string, std::string> m;
    for (const std::string& name : file_names(dir)) m[name] = read_file(dir / name);
    return m;
}

// In a child process: writes the new set over the old one and stops at `stop`.
enum class Stop { BeforeCommit, AfterRenames0, AfterRenames1, AfterRenames2, AfterRenames3, AfterRenames4, Never };

void write_new_set_in_child(const fs::path& dir, const fs::path& elsewhere, Stop stop) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ResultSet set(dir.string());
        set.write_file((elsewhere / "run.nc").string(), kNewNetcdf);
        for (const auto& [name, text] : kNew) set.write_file((dir / name).string(), text);
        if (stop == Stop::BeforeCommit) {
            set.create((dir / "q_tot.txt").string()).write("half of a");
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
    TempDir tmp("result-set"), other("result-set-elsewhere");
    for (const auto& [name, text] : kOld) write_file(tmp.path() / name, text);
    write_file(other.path() / "run.nc", kOldNetcdf);
    write_new_set_in_child(tmp.path(), other.path(), GetParam().stop);
    const RecoveryReport r = recover_result_sets(tmp.path().string());
    EXPECT_EQ(folder_contents(tmp.path()), GetParam().new_results ? kNew : kOld);
    EXPECT_EQ(remove_stale_temporaries((other.path() / "run.nc").string()),
              GetParam().stop == Stop::BeforeCommit ? 1 : 0);
    EXPECT_EQ(folder_contents(other.path()),
              (std::map<std::string, std::string>{{"run.nc", GetParam().new_results ? kNewNetcdf : kOldNetcdf}}));
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
                                           StopCase{Stop::AfterRenames3, true}, StopCase{Stop::AfterRenames4, true},
                                           StopCase{Stop::Never, true}));

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

// A journal that a run could not have written (damaged, or planted to move
// files elsewhere) is refused with one message naming it; nothing moves.
TEST(ResultSet, ARecoveryRefusesAJournalOfRenamesThisProgramCouldNotHaveMade) {
    TempDir tmp("result-set"), other("result-set-elsewhere");
    const fs::path out = fs::canonical(tmp.path()), away = fs::canonical(other.path());
    fs::create_directories(out / "input");
    fs::create_directories(away / ".folder.tmp.1.1");
    fs::create_directories(away / "folder");
    write_file(out / "input/p.txt", "rain\n");
    write_file(out / "input/.p.txt.tmp.1.1", "planted\n");
    write_file(out / "uh_river.txt", "responses\n");
    write_file(out / ".uh_river.txt.tmp.1.1", "planted\n");
    write_file(out / ".q_sub.txt.tmp.1.1", "planted\n");
    write_file(away / "victim.txt", "victim\n");
    write_file(away / ".victim.txt.tmp.1.1", "planted\n");
    write_file(away / "notes.nc", "notes\n");
    write_file(away / ".notes.nc.tmp.1.1", kNewNetcdf);
    fs::create_symlink(away / "victim.txt", out / ".q_tot.txt.tmp.1.1");
    fs::create_symlink(away / "victim.txt", away / ".run.nc.tmp.1.1");
    auto entry = [](const std::string& t, const std::string& f) {
        return std::to_string(t.size()) + " " + std::to_string(f.size()) + "\n" + t + "\n" + f + "\n";
    };
    auto journal = [](const std::vector<std::string>& entries) {
        std::string j = "result set journal 1\n" + std::to_string(entries.size()) + "\n";
        for (const std::string& e : entries) j += e;
        return j + "end\n";
    };
    const std::string a = away.string();
    const std::vector<std::string> journals = {
        journal({entry(a + "/.victim.txt.tmp.1.1", a + "/victim.txt")}),  // a text file elsewhere
        journal({entry(a + "/.notes.nc.tmp.1.1", a + "/notes.nc")}),      // over a file of another kind
        journal({entry("../input/.p.txt.tmp.1.1", "../input/p.txt")}),    // an input of the project
        journal({entry(out.string() + "/input/.p.txt.tmp.1.1", out.string() + "/input/p.txt")}),
        journal({entry(".uh_river.txt.tmp.1.1", "uh_river.txt")}),  // not a result
        journal({entry(a + "/.folder.tmp.1.1", a + "/folder")}),    // a folder over a folder
        journal({entry(".q_tot.txt.tmp.1.1", "q_tot.txt")}),        // a link as the result
        journal({entry(a + "/.run.nc.tmp.1.1", a + "/run.nc")}),    // the same elsewhere
        journal({entry(a + "/../" + away.filename().string() + "/.notes.nc.tmp.1.1",
                       a + "/../" + away.filename().string() + "/notes.nc")}),  // spelled with ".."
        journal({entry(".q_sub.txt.tmp.1.1", "q_sub.txt"), entry(".q_sub.txt.tmp.1.1", "q_sub.txt")}),
        journal({entry(".q_sub.txt.tmp.1.1", "q_tot.txt")}),        // not the temporary of that result
        "result set journal 1\n1\n16 5\n.a.txt.tmp.12.0\na.txt\n",  // not whole
        "result set journal 1\n99999999999\n",                      // an absurd count
    };
    auto snapshot = [&] {
        std::map<std::string, std::string> m;
        for (const auto& root : {out, away})
            for (const auto& e : fs::recursive_directory_iterator(root))
                m[e.path().string()] = e.is_symlink()        ? "link " + fs::read_symlink(e.path()).string()
                                       : e.is_regular_file() ? read_file(e.path())
                                                             : "folder";
        return m;
    };
    for (const std::string& j : journals) {
        SCOPED_TRACE(j);
        write_file(out / kResultJournalName, j);
        const auto before = snapshot();
        try {
            recover_result_sets(out.string());
            ADD_FAILURE() << "the journal was obeyed";
        } catch (const OutputError& e) {
            EXPECT_NE(std::string(e.what()).find(kResultJournalName), std::string::npos) << e.what();
        }
        EXPECT_EQ(snapshot(), before);
    }
    // A journal that is a link, to a journal that would be obeyed.
    write_file(away / "journal", journal({entry(".q_sub.txt.tmp.1.1", "q_sub.txt")}));
    fs::remove(out / kResultJournalName);
    fs::create_symlink(away / "journal", out / kResultJournalName);
    EXPECT_THROW(recover_result_sets(out.string()), OutputError);
    EXPECT_FALSE(fs::exists(out / "q_sub.txt"));
}

// Only temporary files of result files, left by a process that no longer
// runs, are removed: look-alikes of the user stay.
TEST(ResultSet, StaleTemporaryFilesOfStoppedRunsAreRemovedAndLookAlikesStay) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) std::_Exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child), alive = std::to_string(::getpid());
    TempDir tmp("result-set");
    const fs::path out = tmp.path();
    const std::vector<std::string> removed = {".q_tot.txt.tmp." + dead + ".0", ".moisture0012.asc.tmp." + dead + ".3",
                                              "..result-set.journal.tmp." + dead + ".1"};
    const std::vector<std::string> kept = {
        ".notes.txt.tmp." + dead + ".0", ".q_tot.txt.tmp." + alive + ".0", ".q_tot.txt.tmp.x.0",
        ".q_tot.txt.tmp." + dead,        "q_tot.txt.tmp." + dead + ".0",   ".run.nc.tmp." + alive + ".0"};
    for (const auto& n : removed) write_file(out / n, "x");
    for (const auto& n : kept) write_file(out / n, "x");
    fs::create_symlink(out / kept[0], out / (".balance.txt.tmp." + dead + ".1"));
    fs::create_directory(out / (".q_sub.txt.tmp." + dead + ".2"));
    write_file(out / (".run.nc.tmp." + dead + ".7"), "x");
    EXPECT_EQ(recover_result_sets(out.string()).removed_temporaries, 3);
    EXPECT_EQ(remove_stale_temporaries((out / "run.nc").string()), 1);
    std::vector<std::string> left = kept;
    left.push_back(".balance.txt.tmp." + dead + ".1");
    left.push_back(".q_sub.txt.tmp." + dead + ".2");
    std::sort(left.begin(), left.end());
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(out)) found.push_back(e.path().filename().string());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, left);
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
