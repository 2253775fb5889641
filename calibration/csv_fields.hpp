// Small pieces shared by the CSV readers of calibration: fields of a line and
// plain decimal numbers.
#pragma once

#include <string_view>
#include <vector>

namespace hydro {

// The text without leading and trailing blanks, tabs and carriage returns.
std::string_view trim_field(std::string_view s);
// The comma-separated fields of a line, each trimmed.
std::vector<std::string_view> split_fields(std::string_view line);
// A finite decimal number: [sign] digits [. digits] [e [sign] digits]; no
// nan, inf or hex forms.
bool parse_decimal(std::string_view s, double& value);

}  // namespace hydro
