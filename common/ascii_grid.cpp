#include "ascii_grid.hpp"

#include <string>

#include "fixed_width.hpp"
#include "input_error.hpp"
#include "text_output.hpp"

namespace hydro {

GridGeometry read_grid_geometry(const std::string& path) {
    FreeFormatReader in(path);
    GridGeometry g;
    in.begin_read();
    in.token("the keyword of header line 1");
    g.n_cols = in.whole_number("the number of columns");
    if (g.n_cols <= 0) in.fail("a positive number of columns", std::to_string(g.n_cols));
    in.begin_read();
    in.token("the keyword of header line 2");
    g.n_rows = in.whole_number("the number of rows");
    if (g.n_rows <= 0) in.fail("a positive number of rows", std::to_string(g.n_rows));
    in.begin_read();
    in.token("header line 3");
    in.begin_read();
    in.token("header line 4");
    in.begin_read();
    in.token("the keyword of header line 5");
    g.cell_size = in.whole_number("the cell size in metres");
    if (g.cell_size <= 0) in.fail("a positive cell size in metres", std::to_string(g.cell_size));
    check_grid_fits(in, g.n_rows, g.n_cols);
    return g;
}

void skip_grid_header(FreeFormatReader& in) {
    for (int i = 1; i <= 6; ++i) {
        in.begin_read();
        in.token("header line " + std::to_string(i));
    }
}

void keep_grid_header(FreeFormatReader& in, GridHeaderTexts& texts) {
    for (int i = 0; i < 6; ++i) {
        in.begin_read();
        texts.keyword[i] = in.text("the keyword of header line " + std::to_string(i + 1));
        texts.value[i] = in.text("the value of header line " + std::to_string(i + 1));
    }
}

void check_grid_fits(const FreeFormatReader& in, int32_t n_rows, int32_t n_cols) {
    if (n_rows <= 0 || n_cols <= 0)
        throw InputError(in.path(), 0, "a grid of at least one row and one column",
                         std::to_string(n_rows) + " rows and " + std::to_string(n_cols) + " columns");
    // Every value takes at least one character and one separator.
    const unsigned long long cells = static_cast<unsigned long long>(n_rows) * static_cast<unsigned long long>(n_cols);
    if (cells > in.size() / 2 + 1)
        throw InputError(in.path(), 0,
                         "room for " + std::to_string(n_rows) + " x " + std::to_string(n_cols) + " values",
                         "a file of only " + std::to_string(in.size()) + " bytes");
}

void check_subbasin_numbering(const std::string& path, int32_t n_subbasins, int32_t n_rows, int32_t n_cols) {
    const int64_t cells = static_cast<int64_t>(n_rows) * n_cols;
    if (static_cast<int64_t>(n_subbasins) > cells)
        throw InputError(path + ": expected subbasin numbers from 1 to at most the " + std::to_string(cells) +
                         " cells of the grid, found subbasin " + std::to_string(n_subbasins));
}

void read_int_row(FreeFormatReader& in, int32_t n_cols, int32_t row, int32_t* out) {
    in.begin_read();
    for (int32_t c = 0; c < n_cols; ++c) {
        std::string_view tok;
        if (!in.try_token(tok))
            in.fail_at_end("row " + std::to_string(row) + ", column " + std::to_string(c + 1) + " of the grid");
        if (!parse_int32(tok, out[c]))
            in.fail("a whole number at row " + std::to_string(row) + ", column " + std::to_string(c + 1),
                    quote_token(tok));
    }
    in.check_record_end(n_cols, "row " + std::to_string(row), "row");
}

void read_real_row(FreeFormatReader& in, int32_t n_cols, int32_t row, float* out) {
    in.begin_read();
    for (int32_t c = 0; c < n_cols; ++c) {
        std::string_view tok;
        if (!in.try_token(tok))
            in.fail_at_end("row " + std::to_string(row) + ", column " + std::to_string(c + 1) + " of the grid");
        if (!parse_float(tok, out[c]))
            in.fail("a real number at row " + std::to_string(row) + ", column " + std::to_string(c + 1),
                    quote_token(tok));
    }
    in.check_record_end(n_cols, "row " + std::to_string(row), "row");
}

std::vector<int32_t> read_int_grid_values(FreeFormatReader& in, int32_t n_rows, int32_t n_cols) {
    check_grid_fits(in, n_rows, n_cols);
    std::vector<int32_t> v(static_cast<std::size_t>(n_rows) * n_cols);
    for (int32_t r = 0; r < n_rows; ++r)
        read_int_row(in, n_cols, r + 1, v.data() + static_cast<std::size_t>(r) * n_cols);
    return v;
}

std::vector<float> read_real_grid_values(FreeFormatReader& in, int32_t n_rows, int32_t n_cols) {
    check_grid_fits(in, n_rows, n_cols);
    std::vector<float> v(static_cast<std::size_t>(n_rows) * n_cols);
    for (int32_t r = 0; r < n_rows; ++r)
        read_real_row(in, n_cols, r + 1, v.data() + static_cast<std::size_t>(r) * n_cols);
    return v;
}

void append_grid_text(std::string& out, const GridHeaderTexts& header, const float* values, int32_t n_rows,
                      int32_t n_cols) {
    out.reserve(out.size() + static_cast<std::size_t>(n_rows) * n_cols * 10 + static_cast<std::size_t>(n_rows) * 2 +
                200);
    // Header lines start with the keyword: GIS readers refuse a leading blank.
    for (int i = 0; i < 5; ++i) out += header.keyword[i] + header.value[i] + '\n';
    out += header.keyword[5] + "-1.0\n";
    for (int32_t r = 0; r < n_rows; ++r) {
        for (int32_t c = 0; c < n_cols; ++c) {
            append_fixed(out, values[static_cast<std::size_t>(r) * n_cols + c], 10, 2);
            if ((c + 1) % 1000 == 0 && c + 1 < n_cols) out += '\n';
        }
        out += '\n';
    }
}

void write_grid(const std::string& path, const GridHeaderTexts& header, std::vector<float>& values,
                const std::vector<int32_t>& subbasin_id, int32_t n_rows, int32_t n_cols) {
    const std::size_t n = static_cast<std::size_t>(n_rows) * static_cast<std::size_t>(n_cols);
    for (std::size_t i = 0; i < n; ++i)
        if (subbasin_id[i] < 0 || values[i] < 0.0f) values[i] = -1.0f;
    std::string out;
    append_grid_text(out, header, values.data(), n_rows, n_cols);
    write_text_file(path, out);
}

}  // namespace hydro
