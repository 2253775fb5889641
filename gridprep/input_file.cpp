#include "input_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "input_error.hpp"
#include "system_calls.hpp"

namespace gridprep {

namespace {

using hydro::InputError;

// An open plain file, closed when it goes out of scope.
class PlainFile {
  public:
    PlainFile(const std::string& path, const std::string& what) : path_(path) {
        // Non-blocking, so that opening a FIFO with no writer returns at once.
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0)
            throw InputError(path, 0, "an existing, readable " + what,
                             "none (" + std::string(std::strerror(errno)) + ")");
        struct stat st {};
        if (::fstat(fd_, &st) != 0) {
            const int e = errno;
            ::close(fd_);
            throw InputError(path, 0, "a readable " + what, "an error (" + std::string(std::strerror(e)) + ")");
        }
        if (!S_ISREG(st.st_mode)) {
            ::close(fd_);
            throw InputError(path, 0, "a " + what + " (a plain file)",
                             S_ISDIR(st.st_mode) ? "a folder" : "a device, pipe or socket");
        }
        size_ = static_cast<std::size_t>(st.st_size);
    }
    ~PlainFile() { ::close(fd_); }
    PlainFile(const PlainFile&) = delete;
    PlainFile& operator=(const PlainFile&) = delete;

    std::size_t size() const { return size_; }

    // Appends up to `limit` bytes to `out`.
    void read_into(std::string& out, std::size_t limit, const std::string& what) {
        char buf[1 << 16];
        while (out.size() < limit) {
            const std::size_t want = std::min(sizeof buf, limit - out.size());
            const ssize_t got = ::read(fd_, buf, want);
            if (got == 0) break;
            if (got < 0) {
                if (errno == EINTR) continue;
                throw InputError(path_, 0, "a readable " + what,
                                 "a read error (" + std::string(std::strerror(errno)) + ")");
            }
            out.append(buf, static_cast<std::size_t>(got));
        }
    }

  private:
    std::string path_;
    int fd_ = -1;
    std::size_t size_ = 0;
};

}  // namespace

void require_plain_file(const std::string& path, const std::string& what) { PlainFile f(path, what); }

std::string read_file_start(const std::string& path, const std::string& what, std::size_t limit) {
    PlainFile f(path, what);
    std::string out;
    f.read_into(out, limit, what);
    return out;
}

std::string read_plain_file(const std::string& path, const std::string& what) {
    PlainFile f(path, what);
    std::string out;
    out.reserve(f.size());
    f.read_into(out, static_cast<std::size_t>(-1), what);
    return out;
}

bool looks_like_text(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') || c == 0x7F) return false;
            ++i;
            continue;
        }
        const std::size_t len = c >= 0xC2 && c <= 0xDF   ? 2
                                : c >= 0xE0 && c <= 0xEF ? 3
                                : c >= 0xF0 && c <= 0xF4 ? 4
                                                         : 0;
        if (len == 0) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if (i + k >= s.size()) return true;
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += len;
    }
    return true;
}

std::string shell_word(const std::string& path) {
    const std::string p = printable_path(path);
    if (p.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+,:=@") ==
        std::string::npos)
        return p;
    std::string out = "'";
    for (char c : p) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string printable_path(const std::string& path) { return hydro::printable(path); }

}  // namespace gridprep
