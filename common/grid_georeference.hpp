// Where a grid lies on the earth: the lower-left corner and cell size of its
// header, read in full precision, and its coordinate system, the well-known
// text of the ".prj" file beside it ("watershed.asc" -> "watershed.prj").
// Rows run from the top of the map (row 0) down.
#pragma once

#include <cstdint>
#include <string>

namespace hydro {

struct GridGeoreference {
    int32_t n_cols = 0, n_rows = 0;
    double x_left = 0, y_bottom = 0;  // outer edges of the lower-left cell
    double cell_size = 0;

    double x_centre(int32_t col) const { return x_left + (static_cast<double>(col) + 0.5) * cell_size; }
    double y_centre(int32_t row) const { return y_bottom + (static_cast<double>(n_rows - row) - 0.5) * cell_size; }
};

// The first five header lines of an ESRI ASCII grid; "xllcenter" and
// "yllcenter" are turned into the corner. Throws InputError.
GridGeoreference read_grid_georeference(const std::string& grid_path);

// "dir/name.asc" -> "dir/name.prj".
std::string projection_path(const std::string& grid_path);

// The coordinate system text of a ".prj" file, trailing blanks and line ends
// removed; "" when the file does not exist. Throws InputError for a file
// that exists but cannot be read or is not text.
std::string read_projection_text(const std::string& prj_path);

}  // namespace hydro
