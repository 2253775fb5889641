#include "free_format.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "input_error.hpp"
#include "project_check.hpp"
#include "system_calls.hpp"

namespace hydro {

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\f' || c == '\v'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Opens a file for reading. Only plain files are read: a folder would read as
// an empty file, and a device or a pipe (/dev/zero, a FIFO) could hang the
// run or fill memory.
int open_plain_file(const std::string& path, struct stat& st) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        throw InputError(path, 0, "an existing, readable file",
                         "none (" + std::string(std::strerror(error)) + ")" +
                             (error == ENOENT ? similar_file_hint(path) : std::string()));
    }
    struct FdCloser {
        int fd;
        ~FdCloser() {
            if (fd >= 0) ::close(fd);
        }
    } closer{fd};
    if (::fstat(fd, &st) != 0)
        throw InputError(path, 0, "a readable file", "an error (" + std::string(std::strerror(errno)) + ")");
    if (S_ISDIR(st.st_mode)) throw InputError(path, 0, "a file", "a folder");
    if (!S_ISREG(st.st_mode)) throw InputError(path, 0, "a plain file", "a device, pipe or socket");
    closer.fd = -1;
    return fd;
}

bool starts_with_byte_order_mark(const char* d, std::size_t n) {
    return n >= 3 && static_cast<unsigned char>(d[0]) == 0xEF && static_cast<unsigned char>(d[1]) == 0xBB &&
           static_cast<unsigned char>(d[2]) == 0xBF;
}

}  // namespace

std::string quote_token(std::string_view tok) {
    // The message stays one readable line whatever the file holds: control
    // characters (a NUL, an escape sequence) are shown as \xNN, and a long
    // token is cut, at a character boundary, with "..." after it.
    bool cut = false;
    if (tok.size() > 40) {
        std::size_t n = 37;
        while (n > 0 && (static_cast<unsigned char>(tok[n]) & 0xC0) == 0x80) --n;
        tok = tok.substr(0, n);
        cut = true;
    }
    std::string out = "\"" + printable(std::string(tok));
    if (cut) out += "...";
    out += '"';
    return out;
}

bool parse_int32(std::string_view text, int32_t& value) {
    if (text.empty()) return false;
    std::size_t start = 0;
    if (text[0] == '+') {
        start = 1;
        if (text.size() == 1 || text[1] == '-') return false;
    }
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last;
}

bool parse_float(std::string_view text, float& value) {
    // Validate the shape first: [sign] digits [. digits] [(e|E|d|D) [sign] digits],
    // at least one mantissa digit. This rejects nan, inf and hex forms.
    std::size_t i = 0, n = text.size();
    if (n == 0) return false;
    if (text[i] == '+' || text[i] == '-') ++i;
    std::size_t mantissa_digits = 0;
    while (i < n && is_digit(text[i])) ++i, ++mantissa_digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && is_digit(text[i])) ++i, ++mantissa_digits;
    }
    if (mantissa_digits == 0) return false;
    std::size_t exponent_at = n;
    if (i < n) {
        char c = text[i];
        if (c != 'e' && c != 'E' && c != 'd' && c != 'D') return false;
        exponent_at = i;
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < n && is_digit(text[i])) ++i, ++exp_digits;
        if (exp_digits == 0 || i != n) return false;
    }
    // from_chars takes neither a leading '+' nor the Fortran exponent letter D.
    char small[208];
    std::string large;
    char* buf = small;
    if (n + 1 > sizeof small) {
        large.resize(n + 1);
        buf = large.data();
    }
    std::size_t len = 0;
    for (std::size_t k = (text[0] == '+') ? 1 : 0; k < n; ++k) buf[len++] = (k == exponent_at) ? 'e' : text[k];
    buf[len] = '\0';
    auto [ptr, ec] = std::from_chars(buf, buf + len, value);
    if (ec == std::errc() && ptr == buf + len) return true;
    if (ec == std::errc::result_out_of_range) {
        // Underflow gives a tiny or zero value, which is fine; overflow is not.
        errno = 0;
        float v = std::strtof(buf, nullptr);
        if (std::isfinite(v)) {
            value = v;
            return true;
        }
    }
    return false;
}

std::string read_plain_file(const std::string& path) {
    struct stat st {};
    const int fd = open_plain_file(path, st);
    std::string text;
    char buf[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            const int error = errno;
            ::close(fd);
            if (got < 0)
                throw InputError(path, 0, "a readable file",
                                 "a read error (" + std::string(std::strerror(error)) + ")");
            return text;
        }
        text.append(buf, static_cast<std::size_t>(got));
    }
}

FreeFormatReader::FreeFormatReader(const std::string& path, std::size_t buffer_bytes) : path_(path) {
    struct stat st {};
    fd_ = open_plain_file(path_, st);
    at_file_end_ = false;
    buf_.resize(buffer_bytes > 3 ? buffer_bytes : 3);
    std::size_t keep = 0;
    // A file that tells no size (as in /proc) is read whole.
    while ((st.st_size == 0 || end_ < 3) && refill(keep)) {}
    if (starts_with_byte_order_mark(buf_.data(), end_)) pos_ = 3, bytes_read_ -= 3;
    size_ = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) - pos_ : bytes_read_;
}

FreeFormatReader::FreeFormatReader(std::string name, std::string contents)
    : path_(std::move(name)), buf_(std::move(contents)) {
    end_ = bytes_read_ = buf_.size();
    if (end_ > 0) last_byte_ = buf_.back();
    if (starts_with_byte_order_mark(buf_.data(), end_)) pos_ = 3, bytes_read_ -= 3;
    size_ = bytes_read_;
}

FreeFormatReader::~FreeFormatReader() {
    if (fd_ >= 0) ::close(fd_);
}

bool FreeFormatReader::refill(std::size_t& keep) {
    if (at_file_end_) return false;
    if (keep > 0) {
        std::memmove(buf_.data(), buf_.data() + keep, end_ - keep);
        end_ -= keep;
        pos_ -= keep;
        keep = 0;
    }
    if (end_ == buf_.size()) buf_.resize(buf_.size() * 2);
    for (;;) {
        const ssize_t got = ::read(fd_, buf_.data() + end_, system_calls::io_bytes(buf_.size() - end_));
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
            bytes_read_ += static_cast<std::size_t>(got);
            last_byte_ = buf_[end_ - 1];
            return true;
        }
        const int error = errno;
        if (got < 0 && error == EINTR) continue;
        at_file_end_ = true;
        ::close(fd_);
        fd_ = -1;
        if (got < 0)
            throw InputError(path_, 0, "a readable file", "a read error (" + std::string(std::strerror(error)) + ")");
        return false;
    }
}

void FreeFormatReader::begin_read() {
    read_started_ = false;
    if (!mid_line_) return;
    for (;;) {
        const char* nl = static_cast<const char*>(std::memchr(buf_.data() + pos_, '\n', end_ - pos_));
        if (nl) {
            pos_ = static_cast<std::size_t>(nl - buf_.data()) + 1;
            ++line_;
            break;
        }
        pos_ = end_;
        std::size_t keep = pos_;
        if (!refill(keep)) break;
    }
    mid_line_ = false;
}

bool FreeFormatReader::try_token(std::string_view& tok) {
    for (;;) {
        const char* d = buf_.data();
        std::size_t n = end_;
        while (pos_ < n && is_separator(d[pos_])) ++pos_;
        if (pos_ >= n) {
            std::size_t keep = pos_;
            if (refill(keep)) continue;
            return false;
        }
        if (d[pos_] == '\n') {
            ++pos_;
            ++line_;
            mid_line_ = false;
            continue;
        }
        std::size_t start = pos_;
        for (;;) {
            while (pos_ < n && d[pos_] != '\n' && !is_separator(d[pos_])) ++pos_;
            if (pos_ < n) break;
            // A token that reaches the buffer's end may go on in the file
            // (the buffer may have moved even when nothing more was read).
            const bool more = refill(start);
            d = buf_.data();
            n = end_;
            if (!more) break;
        }
        tok = std::string_view(d + start, pos_ - start);
        token_line_ = line_;
        mid_line_ = true;
        if (!read_started_) read_started_ = true, read_first_line_ = line_, read_first_line_values_ = 0;
        if (line_ == read_first_line_) ++read_first_line_values_;
        return true;
    }
}

bool FreeFormatReader::more_on_line() {
    // Blanks passed over here would be passed over by any later read too.
    for (;;) {
        while (pos_ < end_ && is_separator(buf_[pos_])) ++pos_;
        if (pos_ < end_) return buf_[pos_] != '\n';
        std::size_t keep = pos_;
        if (!refill(keep)) return false;
    }
}

std::string_view FreeFormatReader::token(std::string_view what) {
    std::string_view tok;
    if (!try_token(tok)) fail_at_end(what);
    return tok;
}

int32_t FreeFormatReader::integer(std::string_view what) {
    std::string_view tok = token(what);
    int32_t v = 0;
    if (!parse_int32(tok, v)) fail(std::string(what) + " (a whole number)", quote_token(tok));
    return v;
}

float FreeFormatReader::real(std::string_view what) {
    std::string_view tok = token(what);
    float v = 0;
    if (!parse_float(tok, v)) fail(std::string(what) + " (a real number)", quote_token(tok));
    return v;
}

std::string FreeFormatReader::text(std::string_view what, std::size_t width) {
    std::string s(token(what).substr(0, width));
    s.resize(width, ' ');
    return s;
}

int32_t FreeFormatReader::whole_number(std::string_view what) {
    std::string_view tok = token(what);
    int32_t v = 0;
    if (parse_int32(tok, v)) return v;
    // "250.000000": a whole value written with a decimal point.
    std::size_t dot = tok.find('.');
    if (dot != std::string_view::npos && dot > 0) {
        std::string_view intpart = tok.substr(0, dot), frac = tok.substr(dot + 1);
        bool zero_fraction = frac.find_first_not_of('0') == std::string_view::npos;
        if (zero_fraction && parse_int32(intpart, v) && intpart != "+" && intpart != "-") return v;
    }
    fail(std::string(what) + " (a whole number)", quote_token(tok));
}

void FreeFormatReader::check_record_end(int64_t values, std::string_view record, std::string_view records) {
    if (!read_started_ || token_line_ == read_first_line_ || !more_on_line()) return;
    throw InputError(path_, read_first_line_,
                     std::to_string(values) + (values == 1 ? " value in " : " values in ") + std::string(record) +
                         " (the rest would be taken from line " + std::to_string(token_line_) +
                         ", shifting every later " + std::string(records) + ")",
                     std::to_string(read_first_line_values_));
}

void FreeFormatReader::fail(std::string_view expected, std::string_view found) const {
    throw InputError(path_, token_line_, std::string(expected), std::string(found));
}

void FreeFormatReader::fail_at_end(std::string_view expected) const {
    // At the end of a file that ends with a line end, name its last line.
    int last = line_;
    if (pos_ >= end_ && at_file_end_ && bytes_read_ > 0 && last_byte_ == '\n' && last > 1) --last;
    throw InputError(path_, last, std::string(expected), "the end of the file");
}

}  // namespace hydro
