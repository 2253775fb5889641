// The calibrated control file: the project's input.txt with the eleven values
// of its parameter record replaced, every other character (titles, comments,
// the reported subbasins, the map periods, line ends) kept as it was.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hydro {

// `values` holds the eleven new values as text, in record order; an empty
// text keeps the value as written. Throws
// InputError (naming `path`) when the text does not hold a parameter record.
std::string with_parameter_record(const std::string& path, std::string_view text,
                                  const std::vector<std::string>& values);

}  // namespace hydro
