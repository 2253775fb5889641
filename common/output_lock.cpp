#include "output_lock.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "input_error.hpp"

namespace hydro {

#ifdef _WIN32
// Windows has no lock on a folder that ends with the process holding it: runs
// there are not kept apart (each still replaces its results as a whole).
OutputFolderLock::OutputFolderLock(const std::string&, bool, const char*) {}

OutputFolderLock::~OutputFolderLock() {}
#else
OutputFolderLock::OutputFolderLock(const std::string& folder, bool wait, const char* program) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // Without the folder no run can write there: the run goes on to say which
    // of its files it cannot read or write.
    if (fd_ < 0 && errno == ENOENT) return;
    if (fd_ < 0) throw OutputError("cannot open the output folder " + folder + ": " + std::strerror(errno));
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
    const int err = errno;
    if (err != EWOULDBLOCK && err != EINTR) {
        ::close(fd_);
        throw OutputError("cannot lock the output folder " + folder + ": " + std::strerror(err));
    }
    if (!wait) {
        ::close(fd_);
        throw OutputError("another run (gridrun or areamean) is writing to " + folder +
                          "; try again when it has finished, or leave out --no-wait to wait for it");
    }
    std::fprintf(stderr, "%s: waiting for another run (gridrun or areamean) to finish with %s\n", program,
                 printable(folder).c_str());
    std::fflush(stderr);
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int e = errno;
        ::close(fd_);
        throw OutputError("cannot lock the output folder " + folder + ": " + std::strerror(e));
    }
}

OutputFolderLock::~OutputFolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

#endif

}  // namespace hydro
