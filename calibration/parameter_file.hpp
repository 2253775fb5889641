// The parameters a calibration varies: a CSV file of `name,lower,upper` with
// an optional fourth column `initial` (the starting value). An optional
// header line starting with `name`, empty lines and lines starting with `#`
// are passed over.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hydro {

struct ParameterRange {
    std::string name;
    double lower = 0, upper = 0;
    std::optional<double> initial;
    int line = 0;
};

// Reads the file; every name must be one of `known_names`, at most once.
// Refused with file and line: an unknown or repeated name, a bound that is
// not a number, lower not below upper, an initial value outside the bounds,
// a negative bound of a multiplier (a name ending in "_multiplier"), a line
// of fewer than three or more than four fields, and a file naming nothing.
std::vector<ParameterRange> read_parameter_file(const std::string& path, const std::vector<std::string>& known_names);
std::vector<ParameterRange> parse_parameter_file(const std::string& name, std::string_view text,
                                                 const std::vector<std::string>& known_names);

}  // namespace hydro
