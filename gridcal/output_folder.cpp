#include "output_folder.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "input_error.hpp"
#include "text_output.hpp"

namespace hydro {

namespace fs = std::filesystem;

namespace {

// A file inside the hidden folder that tells it from any folder of the user.
constexpr const char* kMarker = ".gridcal-unfinished";

bool process_may_run(long pid) { return pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

// Hidden folders ".NAME.tmp.PID" of calibrations that no longer run, holding the marker.
void remove_stopped(const fs::path& parent, const std::string& name) {
    std::error_code ec;
    const std::string prefix = "." + name + ".tmp.";
    std::vector<fs::path> stale;
    for (const fs::directory_entry& e : fs::directory_iterator(parent, ec)) {
        const std::string n = e.path().filename().string();
        if (n.rfind(prefix, 0) != 0 || n.size() == prefix.size() || n.size() > prefix.size() + 10) continue;
        const std::string pid = n.substr(prefix.size());
        if (pid.find_first_not_of("0123456789") != std::string::npos || process_may_run(std::stol(pid))) continue;
        struct stat st {};
        if (::lstat(e.path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
        if (::lstat((e.path() / kMarker).c_str(), &st) == 0 && S_ISREG(st.st_mode)) stale.push_back(e.path());
    }
    for (const fs::path& p : stale) fs::remove_all(p, ec);
}

void sync_folder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

UnfinishedFolder::UnfinishedFolder(const std::string& final_path) : final_(final_path) {
    fs::path final = fs::absolute(final_path).lexically_normal();
    if (!final.has_filename()) final = final.parent_path();
    const fs::path parent = final.parent_path();
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec) throw OutputError("cannot create the output folder " + final_path + ": " + ec.message());
    remove_stopped(parent, final.filename().string());
    path_ = (parent / ("." + final.filename().string() + ".tmp." + std::to_string(::getpid()))).string();
    if (::mkdir(path_.c_str(), 0755) != 0)
        throw OutputError("cannot create the output folder " + final_path + ": " + std::strerror(errno));
    write_text_file(path_ + "/" + kMarker, "A calibration that has not completed writes here.\n");
}

UnfinishedFolder::~UnfinishedFolder() {
    if (finished_) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void UnfinishedFolder::finish() {
    if (::unlink((path_ + "/" + kMarker).c_str()) != 0)
        throw OutputError("cannot complete the output folder " + final_ + ": " + std::strerror(errno));
    sync_folder(path_);
    if (std::rename(path_.c_str(), final_.c_str()) != 0)
        throw OutputError("cannot rename the completed output to " + final_ + ": " + std::strerror(errno) +
                          " (was a file put there during the calibration?)");
    finished_ = true;
    sync_folder(fs::absolute(final_).lexically_normal().parent_path());
}

}  // namespace hydro
