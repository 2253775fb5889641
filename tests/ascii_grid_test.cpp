// ESRI ASCII grids as GIS exports write them: the geometry entries of the
// header, rows that wrap or carry extra values, and the exact bytes of the
// maps the model writes back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ascii_grid.hpp"
#include "input_error.hpp"
#include "test_support.hpp"

namespace {

using namespace hydro;
using namespace testing_support;

// `rows` lines of `cols` ones: enough values for the header to describe.
std::string ones(int rows, int cols) {
    std::string s;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) s += c ? " 1" : "1";
        s += '\n';
    }
    return s;
}

struct GeometryCase {
    const char* name;
    std::string header;
    bool ok;
    GridGeometry expected;
    int error_line;
    const char* found;
};

TEST(GridGeometry, WholeNumbersWithOrWithoutADecimalPoint) {
    const std::vector<GeometryCase> cases = {
        {"plain",
         "ncols 4\nnrows 3\nxllcorner 537220.79\nyllcorner 5891465.09\ncellsize 1000\nNODATA_value -9999\n",
         true,
         {4, 3, 1000},
         0,
         ""},
        {"exported with decimals",
         "ncols         4\nnrows 3.0\nxllcenter 1 2 3\nyllcenter 0\ncellsize      90.000000000000\nnodata -1\n",
         true,
         {4, 3, 90},
         0,
         ""},
        {"CRLF, BOM, tabs and blank lines",
         "\xEF\xBB\xBFNCOLS\t4\r\n\r\nNROWS\t3\r\nXLL\t0\r\nYLL\t0\r\nCELLSIZE\t25\r\nNODATA\t-9999\r\n",
         true,
         {4, 3, 25},
         0,
         ""},
        {"fractional cell size",
         "ncols 4\nnrows 3\nx 0\ny 0\ncellsize 92.6\nNODATA_value -9999\n",
         false,
         {},
         5,
         "\"92.6\""},
        {"cell size in exponent form",
         "ncols 4\nnrows 3\nx 0\ny 0\ncellsize 1e3\nNODATA_value -9999\n",
         false,
         {},
         5,
         "\"1e3\""},
        {"fractional rows", "ncols 4\nnrows 3.5\nx 0\ny 0\ncellsize 10\nNODATA_value -9999\n", false, {}, 2, "\"3.5\""},
        {"no columns", "ncols 0\nnrows 3\nx 0\ny 0\ncellsize 10\nNODATA_value -9999\n", false, {}, 1, "0"},
        {"negative rows", "ncols 4\nnrows -3\nx 0\ny 0\ncellsize 10\nNODATA_value -9999\n", false, {}, 2, "-3"},
        {"zero cell size", "ncols 4\nnrows 3\nx 0\ny 0\ncellsize 0\nNODATA_value -9999\n", false, {}, 5, "0"},
        {"word for columns",
         "ncols four\nnrows 3\nx 0\ny 0\ncellsize 10\nNODATA_value -9999\n",
         false,
         {},
         1,
         "\"four\""},
    };
    TempDir dir("geometry");
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir.path() / "watershed.asc").string();
        write_file(path, c.header + ones(3, 4));
        if (c.ok) {
            const GridGeometry g = read_grid_geometry(path);
            EXPECT_EQ(g.n_cols, c.expected.n_cols);
            EXPECT_EQ(g.n_rows, c.expected.n_rows);
            EXPECT_EQ(g.cell_size, c.expected.cell_size);
            continue;
        }
        try {
            read_grid_geometry(path);
            ADD_FAILURE() << "no error";
        } catch (const InputError& e) {
            const std::string msg = e.what();
            EXPECT_NE(msg.find(path), std::string::npos) << msg;
            EXPECT_NE(msg.find("line " + std::to_string(c.error_line)), std::string::npos) << msg;
            EXPECT_NE(msg.find(c.found), std::string::npos) << msg;
        }
    }
}

TEST(GridGeometry, RefusesSizesTheFileCannotHoldBeforeAllocating) {
    TempDir dir("geometry");
    const std::string path = (dir.path() / "watershed.asc").string();
    write_file(path, "ncols 2000000000\nnrows 2000000000\nx 0\ny 0\ncellsize 10\nNODATA_value -9999\n1 1\n");
    EXPECT_THROW(read_grid_geometry(path), InputError);
    write_file(path, "ncols 4\nnrows 3\n");
    EXPECT_THROW(read_grid_geometry(path), InputError);
}

const std::string kHeader = "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 10\nNODATA_value -9999\n";

struct IntGridCase {
    const char* name;
    std::string values;
    std::vector<int32_t> expected;
};

TEST(IntGrid, RowsMayWrapAndCarryExtraValuesOrLines) {
    const std::vector<IntGridCase> cases = {
        {"one row per line", "1 2 3\n4 5 6\n", {1, 2, 3, 4, 5, 6}},
        {"row wrapped over lines", "1\n2 3\n4 5\n\n6\n", {1, 2, 3, 4, 5, 6}},
        {"extra columns ignored", "1 2 3 99 99\n4 5 6 99\n", {1, 2, 3, 4, 5, 6}},
        {"extra rows ignored", "1 2 3\n4 5 6\n7 8 9\n", {1, 2, 3, 4, 5, 6}},
        {"commas, tabs, CRLF", "1,2,3\r\n\r\n-9999\t5\t+6\r\n", {1, 2, 3, -9999, 5, 6}},
    };
    for (const IntGridCase& c : cases) {
        SCOPED_TRACE(c.name);
        FreeFormatReader in("grid.asc", kHeader + c.values);
        skip_grid_header(in);
        EXPECT_EQ(read_int_grid_values(in, 2, 3), c.expected);
    }
}

struct GridErrorCase {
    const char* name;
    std::string values;
    bool real;
    int line;
    const char* found;
};

TEST(GridValues, BadOrMissingValuesNameTheirLine) {
    const std::vector<GridErrorCase> cases = {
        {"decimal point in an integer grid", "1 2 3\n4 5 3.0\n", false, 8, "\"3.0\""},
        {"exponent in an integer grid", "1 2 3\n\n1e3 5 6\n", false, 9, "\"1e3\""},
        {"NaN in a real grid", "1 2 3\n4 nan 6\n", true, 8, "\"nan\""},
        {"integer grid ends early", "1 2 3\n4 5\n", false, 8, "end of the file"},
        {"real grid ends early", "1 2 3\n", true, 7, "end of the file"},
    };
    for (const GridErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        FreeFormatReader in("/p/arcview/ascii/thiessen_p.asc", kHeader + c.values);
        skip_grid_header(in);
        try {
            if (c.real)
                read_real_grid_values(in, 2, 3);
            else
                read_int_grid_values(in, 2, 3);
            ADD_FAILURE() << "no error";
        } catch (const InputError& e) {
            const std::string msg = e.what();
            EXPECT_EQ(e.line(), c.line) << msg;
            EXPECT_NE(msg.find("/p/arcview/ascii/thiessen_p.asc"), std::string::npos) << msg;
            EXPECT_NE(msg.find(c.found), std::string::npos) << msg;
        }
    }
}

GridHeaderTexts kept_header(const std::string& text) {
    FreeFormatReader in("elevation.asc", text);
    GridHeaderTexts h;
    keep_grid_header(in, h);
    return h;
}

TEST(WriteGrid, ExactBytesWithMaskingInTheArrayItself) {
    TempDir dir("write");
    const std::string path = (dir.path() / "runoff0001.asc").string();
    write_file(path, std::string(5000, 'x'));  // an older, longer file is replaced
    const GridHeaderTexts header = kept_header(
        "ncols 3\r\nnrows 2\nxllcorner 537220.793456789 ignored\nyllcorner 5891465.09\n"
        "cellsize 90.000000000000\nNODATA_value -9999\n");
    std::vector<float> values = {3.14159f, -0.5f, 0.004f, 12.345f, 7.0f, 9999999.995f};
    const std::vector<int32_t> subbasin = {1, 1, 0, 3, -9999, 2};
    write_grid(path, header, values, subbasin, 2, 3);
    EXPECT_EQ(read_file(path),
              "ncols        3            \n"
              "nrows        2            \n"
              "xllcorner    537220.793456\n"
              "yllcorner    5891465.09   \n"
              "cellsize     90.0000000000\n"
              "NODATA_value -1.0\n"
              "      3.14     -1.00      0.00\n"
              "     12.35     -1.00**********\n");
    const std::vector<float> masked = {3.14159f, -1.0f, 0.004f, 12.345f, -1.0f, 9999999.995f};
    EXPECT_EQ(values, masked);
}

// Splits a text into its lines (without the LF).
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

struct WideCase {
    int32_t n_cols;
    std::vector<std::size_t> line_lengths;  // of one row's lines
};

TEST(WriteGrid, AtMostAThousandValuesPerLineAndReadsBack) {
    const std::vector<WideCase> cases = {{999, {9990}}, {1000, {10000}}, {1200, {10000, 2000}}, {2000, {10000, 10000}}};
    TempDir dir("wide");
    for (const WideCase& c : cases) {
        SCOPED_TRACE(c.n_cols);
        const int32_t n_rows = 2;
        const std::size_t cells = static_cast<std::size_t>(n_rows) * static_cast<std::size_t>(c.n_cols);
        std::vector<float> values(cells);
        for (std::size_t i = 0; i < cells; ++i) values[i] = static_cast<float>(i % 1237) * 0.25f;
        const std::vector<int32_t> subbasin(cells, 1);
        const GridHeaderTexts header =
            kept_header("ncols " + std::to_string(c.n_cols) + "\nnrows 2\nx 0\ny 0\ncellsize 10\nNODATA_value -9999\n");
        const std::string path = (dir.path() / "wide.asc").string();
        std::vector<float> written = values;
        write_grid(path, header, written, subbasin, n_rows, c.n_cols);

        const std::vector<std::string> lines = lines_of(read_file(path));
        ASSERT_EQ(lines.size(), 6 + n_rows * c.line_lengths.size());
        for (int32_t r = 0; r < n_rows; ++r)
            for (std::size_t k = 0; k < c.line_lengths.size(); ++k)
                EXPECT_EQ(lines[6 + r * c.line_lengths.size() + k].size(), c.line_lengths[k]);

        FreeFormatReader in(path);
        skip_grid_header(in);
        EXPECT_EQ(read_real_grid_values(in, n_rows, c.n_cols), values);
    }
}

TEST(WriteGrid, UnwritablePlaceIsAnOutputError) {
    TempDir dir("write");
    const GridHeaderTexts header = kept_header("a 1\nb 1\nc 0\nd 0\ne 1\nf -1\n");
    std::vector<float> values = {1.0f};
    EXPECT_THROW(write_grid((dir.path() / "no_such_folder" / "x.asc").string(), header, values, {1}, 1, 1),
                 OutputError);
}

}  // namespace
