// A run's result files, replaced as one set. Each file is written to a
// temporary file in its own folder and flushed to disk; only when every file
// of the set is complete are they renamed over the earlier results. A run that
// fails or is stopped before that leaves the earlier results as they were.
//
// Before the first rename a journal listing every rename is written to the
// folder of the set's first file (and flushed to disk); it is removed when the
// last rename is on disk. A run stopped between the two (a kill, a power cut)
// leaves the journal behind, and recover_result_sets() finishes the renames,
// so that the folder holds the complete new set, never a mix of old and new.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hydro {

// One result file being written: text appended in pieces, as records become
// complete. Failures throw OutputError.
class ResultFile {
  public:
    ResultFile(std::string final_path, std::string temporary_path, int fd);
    ~ResultFile();
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;

    void write(std::string_view text);
    const std::string& path() const { return final_path_; }
    const std::string& temporary_path() const { return temporary_path_; }

    // Writes what is buffered, flushes it to disk and closes the file.
    void finish();
    bool finished() const { return fd_ < 0; }

  private:
    void drain();
    std::string final_path_, temporary_path_;
    int fd_ = -1;
    std::string buffer_;
};

class ResultSet {
  public:
    ResultSet() = default;
    // The journal goes into `journal_folder` (the folder a later run
    // recovers), not into the folder of the set's first file.
    explicit ResultSet(std::string journal_folder) : journal_folder_(std::move(journal_folder)) {}
    ~ResultSet();  // removes the temporary files of a set never committed
    ResultSet(const ResultSet&) = delete;
    ResultSet& operator=(const ResultSet&) = delete;

    // Starts the file that will replace `path`. The reference lives as long as the set.
    ResultFile& create(const std::string& path);
    // A whole file at once.
    void write_file(const std::string& path, std::string_view contents) { create(path).write(contents); }

    // Completes every file, writes the journal and renames them over the
    // earlier results. A result path that is a symbolic link is replaced by
    // the new file; the link's target is never written.
    void commit();
    bool committed() const { return committed_; }

  private:
    std::string journal_folder_;
    std::vector<std::unique_ptr<ResultFile>> files_;
    bool committed_ = false;
    bool journal_written_ = false;  // from then on the temporary files belong to the journal
};

// The journal's name in a result folder.
inline constexpr const char* kResultJournalName = ".result-set.journal";

struct RecoveryReport {
    int finished_renames = 0;     // renames of an interrupted set completed now
    int removed_temporaries = 0;  // temporary files of stopped runs removed
    bool journal_found = false;
};

// Finishes the renames of a set interrupted in `folder` (a journal left
// behind) and removes the temporary files of runs stopped before their
// renames. Must run while no other run writes to the folder (the output
// folder lock). Throws OutputError when a rename cannot be finished.
//
// A journal is acted on only when every entry is a rename this program could
// have made: a regular file of this user (not a link), under the temporary
// name of its result and beside it; in the journal's folder a result file by
// name (q_tot.txt, a map, ...), elsewhere a NetCDF file or a model state
// replacing nothing, an empty file, a link or a file of its own kind; never a
// folder replaced. Otherwise recovery throws OutputError naming the journal,
// and every file stays as it is.
//
// Temporary files are removed only when they carry a result file's
// temporary name, are regular files of this user, and the process named in
// the name no longer runs.
RecoveryReport recover_result_sets(const std::string& folder);

// Removes the temporary files that stopped runs left beside `path` (a result
// written outside an output folder: a NetCDF file, a saved state); returns
// how many.
int remove_stale_temporaries(const std::string& path);
// One line for the user: what a recovery did in `folder`.
std::string describe_recovery(const RecoveryReport& report, const std::string& folder);

// Ignores the signal that a file-size limit (ulimit -f) sends, so that a
// result file that reaches the limit fails with an error message instead of
// killing the process.
void treat_file_size_limit_as_write_error();

// Test seam: when set to n >= 0, commit() stops the process with SIGKILL after
// n renames (the journal written, the set half renamed).
void stop_after_renames_for_tests(int n);

}  // namespace hydro
