// The few operating-system calls of reading and writing files, the same on
// POSIX systems and on Windows (mingw-w64). On Windows every file is opened
// as bytes (no line-end translation); O_CLOEXEC, named by every open here,
// stands for that there, as handles are not inherited by other programs anyway.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <unistd.h>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#undef O_CLOEXEC
#define O_CLOEXEC _O_BINARY
#define O_NONBLOCK 0
#define O_NOFOLLOW 0
#define O_DIRECTORY 0
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace hydro::system_calls {

// The bytes of one read or write: at most 1 GiB, as Windows counts them in
// an unsigned int (the callers loop until every byte has moved).
inline unsigned io_bytes(std::size_t wanted) {
    constexpr std::size_t kMost = std::size_t{1} << 30;
    return static_cast<unsigned>(wanted < kMost ? wanted : kMost);
}

// Puts a file's data on disk.
inline int sync_file(int fd) {
#ifdef _WIN32
    return ::_commit(fd);
#else
    return ::fsync(fd);
#endif
}

// Whether a folder's entries can be put on disk by themselves (not on Windows,
// where a rename is on disk when it returns with write-through).
constexpr bool folders_sync() {
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

// Status of a path itself (a link not followed where there are links).
inline int status_no_follow(const char* path, struct stat* st) {
#ifdef _WIN32
    return ::stat(path, st);
#else
    return ::lstat(path, st);
#endif
}

// Renames `from` to `to`, replacing a file there; 0 on success (errno set otherwise).
inline int replace_file(const std::string& from, const std::string& to) {
#ifdef _WIN32
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    errno = ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return -1;
#else
    return std::rename(from.c_str(), to.c_str());
#endif
}

// Ends this process at once, as a crash or a kill would (for tests of recovery).
[[noreturn]] inline void stop_now() {
#ifdef _WIN32
    ::TerminateProcess(::GetCurrentProcess(), 9);
#else
    ::kill(::getpid(), SIGKILL);
#endif
    std::_Exit(9);
}

// The folder of temporary files when TMPDIR names none.
inline std::string default_scratch_folder() {
#ifdef _WIN32
    for (const char* name : {"TEMP", "TMP"})
        if (const char* dir = std::getenv(name); dir && *dir) return dir;
    return ".";
#else
    return "/tmp";
#endif
}

// A file that disappears with the run, made in `folder`; nullptr (errno set)
// where it cannot be made.
inline std::FILE* open_scratch_file(const std::string& folder) {
#ifdef _WIN32
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = folder + "\\gridrun-XXXXXX";
        if (::_mktemp_s(path.data(), path.size() + 1) != 0) return nullptr;
        const int fd =
            ::_open(path.c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY | _O_TEMPORARY, _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return nullptr;
        std::FILE* f = ::_fdopen(fd, "w+b");
        if (!f) ::_close(fd);
        return f;
    }
    return nullptr;
#else
    std::string path = folder + "/gridrun-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) return nullptr;
    ::unlink(path.c_str());
    std::FILE* f = ::fdopen(fd, "w+b");
    if (!f) ::close(fd);
    return f;
#endif
}

inline long process_id() { return static_cast<long>(::getpid()); }

// Whether a path is absolute ("/...", or on Windows "C:\..." or "\\server\...").
inline bool is_absolute(const std::string& p) {
#ifdef _WIN32
    if (p.size() >= 3 && p[1] == ':' && (p[2] == '\\' || p[2] == '/')) return true;
    if (!p.empty() && p[0] == '\\') return true;
#endif
    return !p.empty() && p[0] == '/';
}

// The path with links, "." and ".." resolved; "" where it does not exist.
inline std::string real_path(const std::string& p) {
#ifdef _WIN32
    char buf[_MAX_PATH];
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0 || !::_fullpath(buf, p.c_str(), sizeof buf)) return "";
    return buf;
#else
    char* real = ::realpath(p.c_str(), nullptr);
    if (!real) return "";
    std::string s = real;
    std::free(real);
    return s;
#endif
}

// Whether the process `pid` may still run (true when that cannot be told).
inline bool process_may_run(long pid) {
#ifdef _WIN32
    (void)pid;
    return true;  // a temporary file is only removed where its writer is known to be gone
#else
    if (pid <= 0 || pid > 0x7fffffffL) return true;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

// Whether a file belongs to the user running the program.
inline bool owned_by_this_user(const struct stat& st) {
#ifdef _WIN32
    (void)st;
    return true;
#else
    return st.st_uid == ::geteuid();
#endif
}

// Whether a file belongs to this user and has no other name (no hard link).
inline bool single_link_of_this_user(const struct stat& st) { return owned_by_this_user(st) && st.st_nlink == 1; }

}  // namespace hydro::system_calls
