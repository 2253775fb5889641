// Right-aligned fixed-width number fields, as the result files use them:
// integers (I8 and the date fields) and fixed-point reals (F10.3, F10.2, F9.3),
// rounded as C's printf does. A value that needs more characters than the
// field holds fills the field with asterisks.
#pragma once

#include <cstdint>
#include <string>

namespace hydro {

void append_int(std::string& out, int64_t value, int width);
void append_fixed(std::string& out, float value, int width, int decimals);

// Whether a value prints within `width` characters with `decimals` decimals
// (false: the field would be written as asterisks).
bool fixed_fits(float value, int width, int decimals);

// The same fields as strings (tests and one-off labels).
std::string format_int(int64_t value, int width);
std::string format_fixed(float value, int width, int decimals);

}  // namespace hydro
