#include "test_support.hpp"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir(const std::string& tag) {
    static std::atomic<int> counter{0};
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("hydro_" + tag + "_" + std::to_string(::getpid()) + "_" +
                                         std::to_string(counter++) + "_" + std::to_string(rd() % 100000));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const fs::path& p, const std::string& contents) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string without_cr(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
}

namespace {

RunResult run_limited(const std::string& exe, const std::vector<std::string>& args, const fs::path& working_dir,
                      const std::string& input, long long file_size_limit) {
    TempDir io("io");
    const fs::path in_file = io.path() / "stdin", out_file = io.path() / "stdout", err_file = io.path() / "stderr";
    write_file(in_file, input);
    std::fflush(nullptr);  // the child must not repeat the parent's buffered output
    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (::chdir(working_dir.c_str()) != 0) ::_exit(127);
        if (file_size_limit >= 0) {
            const rlimit limit{static_cast<rlim_t>(file_size_limit), static_cast<rlim_t>(file_size_limit)};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(127);
        }
        if (!std::freopen(in_file.c_str(), "r", stdin) || !std::freopen(out_file.c_str(), "w", stdout) ||
            !std::freopen(err_file.c_str(), "w", stderr))
            ::_exit(127);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(exe.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    RunResult r;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = read_file(out_file);
    r.err = read_file(err_file);
    return r;
}

}  // namespace

RunResult run_program(const std::string& exe, const std::vector<std::string>& args, const fs::path& working_dir,
                      const std::string& input) {
    return run_limited(exe, args, working_dir, input, -1);
}

RunResult run_program_with_file_size_limit(const std::string& exe, const std::vector<std::string>& args,
                                           const fs::path& working_dir, long long file_size_limit) {
    return run_limited(exe, args, working_dir, "", file_size_limit);
}

fs::path run_dir(const fs::path& project_root) {
    fs::path d = project_root / "run" / "here";
    fs::create_directories(d);
    return d;
}

std::vector<std::string> file_names(const fs::path& dir) {
    std::vector<std::string> names;
    if (!fs::exists(dir)) return names;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace testing_support
