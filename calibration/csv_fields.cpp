#include "csv_fields.hpp"

#include <charconv>
#include <cmath>

namespace hydro {

std::string_view trim_field(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> split_fields(std::string_view line) {
    std::vector<std::string_view> out;
    for (;;) {
        const std::size_t comma = line.find(',');
        out.push_back(trim_field(line.substr(0, comma)));
        if (comma == std::string_view::npos) return out;
        line.remove_prefix(comma + 1);
    }
}

bool parse_decimal(std::string_view s, double& value) {
    std::size_t i = 0, n = s.size();
    if (n == 0 || n > 100) return false;
    const bool plus = s[0] == '+';
    if (s[i] == '+' || s[i] == '-') ++i;
    std::size_t mantissa = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++mantissa;
    if (i < n && s[i] == '.') {
        ++i;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++mantissa;
    }
    if (mantissa == 0) return false;
    if (i < n) {
        if (s[i] != 'e' && s[i] != 'E') return false;
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exp = 0;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++exp;
        if (exp == 0 || i != n) return false;
    }
    const char* first = s.data() + (plus ? 1 : 0);
    auto [ptr, ec] = std::from_chars(first, s.data() + n, value);
    return ec == std::errc() && ptr == s.data() + n && std::isfinite(value);
}

}  // namespace hydro
