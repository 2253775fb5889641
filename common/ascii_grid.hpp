// ESRI ASCII raster grids: six header lines, then the rows of the map from the
// top. Headers are read in three ways (geometry, skip, keep the texts) and the
// values row by row. The writer puts back a kept header, masks cells outside
// the basin and negative values with -1.0, and writes fields of 10 characters.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "free_format.hpp"

namespace hydro {

struct GridGeometry {
    int32_t n_cols = 0;
    int32_t n_rows = 0;
    int32_t cell_size = 0;
};

// Header lines 1, 2 and 5 of a grid: columns, rows, cell size (metres).
// The three values must be whole numbers; "90.000000" is accepted.
GridGeometry read_grid_geometry(const std::string& path);

// The six header lines as texts of exactly 13 characters, as they are put
// back into every written grid.
struct GridHeaderTexts {
    std::array<std::string, 6> keyword;
    std::array<std::string, 6> value;
};

// Passes over the six header lines (one token read from each).
void skip_grid_header(FreeFormatReader& in);
// Reads the six header lines as keyword and value texts.
void keep_grid_header(FreeFormatReader& in, GridHeaderTexts& texts);

// A grid must be able to hold n_rows x n_cols values: refuses sizes that are
// not positive or that the file is far too small to hold, before anything
// of that size is allocated.
void check_grid_fits(const FreeFormatReader& in, int32_t n_rows, int32_t n_cols);

// Subbasins are numbered 1..n and each owns a cell of the grid: a largest
// subbasin number beyond the grid's cell count is refused before anything
// is sized by it.
void check_subbasin_numbering(const std::string& path, int32_t n_subbasins, int32_t n_rows, int32_t n_cols);

// One row of n_cols values, read by one free-format read.
void read_int_row(FreeFormatReader& in, int32_t n_cols, int32_t row, int32_t* out);
void read_real_row(FreeFormatReader& in, int32_t n_cols, int32_t row, float* out);

// Whole grids, row-major, row 1 (the top of the map) first.
std::vector<int32_t> read_int_grid_values(FreeFormatReader& in, int32_t n_rows, int32_t n_cols);
std::vector<float> read_real_grid_values(FreeFormatReader& in, int32_t n_rows, int32_t n_cols);

// Appends the text of a grid whose values are already as written (masked).
void append_grid_text(std::string& out, const GridHeaderTexts& header, const float* values, int32_t n_rows,
                      int32_t n_cols);

// Writes a real grid. Every cell where `subbasin_id` is negative or the value
// is negative is set to -1.0 in `values` itself, then written. Throws
// OutputError when the file cannot be created or written completely.
void write_grid(const std::string& path, const GridHeaderTexts& header, std::vector<float>& values,
                const std::vector<int32_t>& subbasin_id, int32_t n_rows, int32_t n_cols);

}  // namespace hydro
