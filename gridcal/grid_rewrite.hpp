// A calibrated parameter grid: the project's grid file with the values of
// changed cells replaced, the header and every other value kept as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace hydro {

// `new_value(index, as_read)` gets each cell's position (row-major from the
// top row) and value as read; it returns the cell's new value. A cell whose
// value does not change keeps its text; a changed one is written with %.9g,
// which reads back as the same float. Throws InputError (naming `path`) when
// the text is not a grid of n_rows x n_cols values.
std::string with_grid_values(const std::string& path, std::string_view text, int32_t n_rows, int32_t n_cols,
                             const std::function<float(std::size_t index, float as_read)>& new_value);

}  // namespace hydro
