#include "csv_series.hpp"

#include <charconv>
#include <cstdio>

namespace hydro {

std::string iso_time(int32_t year, int32_t month, int32_t day, int32_t hour) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:00", static_cast<int>(year), static_cast<int>(month),
                  static_cast<int>(day), static_cast<int>(hour));
    return text;
}

void append_shortest(std::string& out, float value) {
    char text[32];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    out.append(text, r.ptr);
}

std::string csv_header(const std::vector<std::string>& columns) {
    std::string out = "time";
    for (const std::string& c : columns) out += "," + c;
    out += '\n';
    return out;
}

void append_csv_record(std::string& out, int32_t year, int32_t month, int32_t day, int32_t hour,
                       std::span<const float> values) {
    out += iso_time(year, month, day, hour);
    for (float v : values) {
        out += ',';
        append_shortest(out, v);
    }
    out += '\n';
}

}  // namespace hydro
