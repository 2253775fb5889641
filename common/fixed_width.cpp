#include "fixed_width.hpp"

#include <cstdio>

namespace hydro {

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
    // A float widened to double keeps its exact value, so the rounding is
    // that of the float itself.
    int n = std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, static_cast<double>(value));
    if (n < 0 || n > width)
        out.append(static_cast<std::size_t>(width), '*');
    else
        out.append(buf, static_cast<std::size_t>(n));
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
