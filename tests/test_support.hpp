// Helpers for tests that build small projects on disk and run the programs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

// A fresh, empty folder under the system's temporary folder, removed when the
// object goes out of scope.
class TempDir {
  public:
    explicit TempDir(const std::string& tag);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::string read_file(const fs::path& p);
void write_file(const fs::path& p, const std::string& contents);
// The text with carriage returns removed.
std::string without_cr(std::string s);

struct RunResult {
    int exit_code = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs a program with arguments in `working_dir`, feeding `input` on its
// standard input.
RunResult run_program(const std::string& exe, const std::vector<std::string>& args, const fs::path& working_dir,
                      const std::string& input = "");
// The same with a limit on the size of every file the program writes (ulimit -f).
RunResult run_program_with_file_size_limit(const std::string& exe, const std::vector<std::string>& args,
                                           const fs::path& working_dir, long long file_size_limit);

// The working folder two levels below a project root (created if needed).
fs::path run_dir(const fs::path& project_root);

// Lists the regular files of a folder (names only), sorted.
std::vector<std::string> file_names(const fs::path& dir);

}  // namespace testing_support
