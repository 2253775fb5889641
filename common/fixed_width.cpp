#include "fixed_width.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace hydro {

namespace {

// The value with `decimals` decimals as C's printf("%.*f") writes it, into
// buf (64 chars); its length, or -1 when it takes more. A float widened to
// double keeps its exact value, so the rounding is that of the float itself.
// std::to_chars rounds the exact value as printf does in the C locale, the
// same on every system, at a third of the time.
int fixed_text(char* buf, float value, int decimals) {
    if (!std::isfinite(value)) return std::snprintf(buf, 64, "%.*f", decimals, static_cast<double>(value));
    const std::to_chars_result r =
        std::to_chars(buf, buf + 64, static_cast<double>(value), std::chars_format::fixed, decimals);
    return r.ec == std::errc() ? static_cast<int>(r.ptr - buf) : -1;
}

}  // namespace

void append_int(std::string& out, int64_t value, int width) {
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%*lld", width, static_cast<long long>(value));
    if (n > width)
        out.append(static_cast<std::size_t>(width), '*');
    else
        out.append(buf, static_cast<std::size_t>(n));
}

void append_fixed(std::string& out, float value, int width, int decimals) {
    char buf[64];
    const int n = fixed_text(buf, value, decimals);
    if (n < 0 || n > width) {
        out.append(static_cast<std::size_t>(width), '*');
    } else {
        out.append(static_cast<std::size_t>(width - n), ' ');
        out.append(buf, static_cast<std::size_t>(n));
    }
}

bool fixed_fits(float value, int width, int decimals) {
    // Anything below 10^(width - decimals - 2) in magnitude fits: sign, digits, point, decimals.
    static const float kLimits[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f};
    const int digits = width - decimals - 2;
    if (digits >= 0 && digits < 10 && value < kLimits[digits] && value > -kLimits[digits]) return true;
    char buf[64];
    const int n = fixed_text(buf, value, decimals);
    return n >= 0 && n <= width;
}

std::string format_int(int64_t value, int width) {
    std::string s;
    append_int(s, value, width);
    return s;
}

std::string format_fixed(float value, int width, int decimals) {
    std::string s;
    append_fixed(s, value, width, decimals);
    return s;
}

}  // namespace hydro
