#include "free_format.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "input_error.hpp"
#include "project_check.hpp"

namespace hydro {

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\f' || c == '\v'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string load_file(const std::string& path) {
    // Only plain files are read: a folder would read as an empty file, and a
    // device or a pipe (/dev/zero, a FIFO) could hang the run or fill memory.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        throw InputError(path, 0, "an existing, readable file",
                         "none (" + std::string(std::strerror(error)) + ")" +
                             (error == ENOENT ? similar_file_hint(path) : std::string()));
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw InputError(path, 0, "a readable file", "an error (" + std::string(std::strerror(errno)) + ")");
    if (S_ISDIR(st.st_mode)) throw InputError(path, 0, "a file", "a folder");
    if (!S_ISREG(st.st_mode)) throw InputError(path, 0, "a plain file", "a device, pipe or socket");
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            throw InputError(path, 0, "a readable file", "a read error (" + std::string(std::strerror(errno)) + ")");
        }
        data.append(buf, static_cast<std::size_t>(got));
    }
    return data;
}

void drop_byte_order_mark(std::string& data) {
    if (data.size() >= 3 && static_cast<unsigned char>(data[0]) == 0xEF &&
        static_cast<unsigned char>(data[1]) == 0xBB && static_cast<unsigned char>(data[2]) == 0xBF)
        data.erase(0, 3);
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
    for (std::size_t k = (text[0] == '+') ? 1 : 0; k < n; ++k)
        buf[len++] = (k == exponent_at) ? 'e' : text[k];
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

FreeFormatReader::FreeFormatReader(const std::string& path) : path_(path), data_(load_file(path)) {
    drop_byte_order_mark(data_);
}

FreeFormatReader::FreeFormatReader(std::string name, std::string contents)
    : path_(std::move(name)), data_(std::move(contents)) {
    drop_byte_order_mark(data_);
}

void FreeFormatReader::begin_read() {
    read_started_ = false;
    if (!mid_line_) return;
    const char* nl = static_cast<const char*>(std::memchr(data_.data() + pos_, '\n', data_.size() - pos_));
    if (nl) {
        pos_ = static_cast<std::size_t>(nl - data_.data()) + 1;
        ++line_;
    } else {
        pos_ = data_.size();
    }
    mid_line_ = false;
}

bool FreeFormatReader::try_token(std::string_view& tok) {
    const std::size_t n = data_.size();
    const char* d = data_.data();
    for (;;) {
        while (pos_ < n && is_separator(d[pos_])) ++pos_;
        if (pos_ >= n) return false;
        if (d[pos_] == '\n') {
            ++pos_;
            ++line_;
            mid_line_ = false;
            continue;
        }
        std::size_t start = pos_;
        while (pos_ < n && d[pos_] != '\n' && !is_separator(d[pos_])) ++pos_;
        tok = std::string_view(d + start, pos_ - start);
        token_line_ = line_;
        mid_line_ = true;
        if (!read_started_) read_started_ = true, read_first_line_ = line_, read_first_line_values_ = 0;
        if (line_ == read_first_line_) ++read_first_line_values_;
        return true;
    }
}

bool FreeFormatReader::more_on_line() const {
    for (std::size_t i = pos_; i < data_.size() && data_[i] != '\n'; ++i)
        if (!is_separator(data_[i])) return true;
    return false;
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

void FreeFormatReader::check_record_end(int64_t values, std::string_view record, std::string_view records) const {
    if (!read_started_ || token_line_ == read_first_line_ || !more_on_line()) return;
    throw InputError(path_, read_first_line_,
                     std::to_string(values) + (values == 1 ? " value in " : " values in ") + std::string(record) +
                         " (the rest would be taken from line " + std::to_string(token_line_) + ", shifting every later " +
                         std::string(records) + ")",
                     std::to_string(read_first_line_values_));
}

void FreeFormatReader::fail(std::string_view expected, std::string_view found) const {
    throw InputError(path_, token_line_, std::string(expected), std::string(found));
}

void FreeFormatReader::fail_at_end(std::string_view expected) const {
    // At the end of a file that ends with a line end, name its last line.
    int last = line_;
    if (pos_ >= data_.size() && !data_.empty() && data_.back() == '\n' && last > 1) --last;
    throw InputError(path_, last, std::string(expected), "the end of the file");
}

}  // namespace hydro
