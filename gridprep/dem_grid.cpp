#include "dem_grid.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string_view>

#include "coordinate_system.hpp"
#include "free_format.hpp"
#include "gdal_raster.hpp"
#include "grid_cells.hpp"
#include "input_error.hpp"
#include "input_file.hpp"

namespace gridprep {

namespace {

using hydro::InputError;

// Splits text into tokens (blanks, tabs, commas, line ends) and knows the
// line of every token.
class Tokens {
  public:
    Tokens(std::string name, std::string data) : name_(std::move(name)), data_(std::move(data)) {
        if (data_.size() >= 3 && static_cast<unsigned char>(data_[0]) == 0xEF &&
            static_cast<unsigned char>(data_[1]) == 0xBB && static_cast<unsigned char>(data_[2]) == 0xBF)
            data_.erase(0, 3);
    }

    // The next token without consuming it; false at the end of the text.
    bool peek(std::string_view& tok, int& line) {
        skip_separators();
        if (pos_ >= data_.size()) return false;
        std::size_t end = pos_;
        while (end < data_.size() && !is_separator(data_[end])) ++end;
        tok = std::string_view(data_.data() + pos_, end - pos_);
        line = line_;
        return true;
    }
    bool next(std::string_view& tok, int& line) {
        if (!peek(tok, line)) return false;
        pos_ += tok.size();
        last_line_ = line_;
        return true;
    }
    int last_line() const { return last_line_ > 0 ? last_line_ : line_; }
    const std::string& name() const { return name_; }

  private:
    static bool is_separator(char c) {
        return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    }
    void skip_separators() {
        while (pos_ < data_.size() && is_separator(data_[pos_])) {
            if (data_[pos_] == '\n') ++line_;
            ++pos_;
        }
    }

    std::string name_;
    std::string data_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int last_line_ = 0;
};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool is_nan_word(std::string_view tok) {
    std::string l = lower(tok);
    return l == "nan" || l == "-nan" || l == "+nan" || l == "1.#qnan" || l == "-1.#ind";
}

// A finite decimal number in plain or exponent form (no nan, no inf, no hex).
bool parse_double(std::string_view tok, double& value) {
    if (tok.empty()) return false;
    if (tok[0] == '+') tok.remove_prefix(1);
    if (tok.empty() || tok[0] == '+') return false;
    for (char c : tok)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    auto [ptr, ec] = std::from_chars(tok.data(), tok.data() + tok.size(), value, std::chars_format::general);
    return ec == std::errc() && ptr == tok.data() + tok.size() && std::isfinite(value);
}

// The first token of the grid values: a number, or a word a GIS writes for
// one (nan, inf).
bool looks_like_value(std::string_view tok) {
    if (tok.empty()) return false;
    const char c = tok[0];
    const std::string l = lower(tok);
    return std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.' || is_nan_word(tok) ||
           l == "inf" || l == "infinity";
}

std::string load(const std::string& path) { return read_plain_file(path, "grid file"); }

bool starts_with(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Cells of dx by dy that differ are kept (cell size dy, the width in
// `non_square_dx`) so that a DEM in degrees can be told from its .prj.
Raster parse(Tokens& t, double& non_square_dx) {
    non_square_dx = 0;
    bool have_cols = false, have_rows = false, have_x = false, have_y = false, have_size = false;
    bool x_centre = false, y_centre = false;
    double ncols = 0, nrows = 0, x = 0, y = 0, size = 0, dx = -1, dy = -1;
    bool have_nodata = false, nodata_is_nan = false;
    double nodata = -9999.0;

    std::string_view tok;
    int line = 0;
    // Header: "keyword value" pairs until the first token that is a number.
    while (t.peek(tok, line) && !looks_like_value(tok)) {
        t.next(tok, line);
        const std::string key = lower(tok);
        std::string_view val;
        int val_line = 0;
        if (!t.next(val, val_line))
            throw InputError(t.name(), line, "a value after the header keyword " + hydro::quote_token(key),
                             "the end of the file");
        if (key == "nodata_value" || key == "nodata") {
            have_nodata = true;
            if (is_nan_word(val)) {
                nodata_is_nan = true;
                continue;
            }
        }
        double v = 0;
        if (!parse_double(val, v))
            throw InputError(t.name(), val_line, "a number for the header keyword " + hydro::quote_token(key),
                             hydro::quote_token(val));
        if (key == "ncols")
            ncols = v, have_cols = true;
        else if (key == "nrows")
            nrows = v, have_rows = true;
        else if (key == "xllcorner")
            x = v, have_x = true, x_centre = false;
        else if (key == "xllcenter" || key == "xllcentre")
            x = v, have_x = true, x_centre = true;
        else if (key == "yllcorner")
            y = v, have_y = true, y_centre = false;
        else if (key == "yllcenter" || key == "yllcentre")
            y = v, have_y = true, y_centre = true;
        else if (key == "cellsize")
            size = v, have_size = true;
        else if (key == "dx")
            dx = v;
        else if (key == "dy")
            dy = v;
        else if (key == "nodata_value" || key == "nodata")
            nodata = v;
        else
            throw InputError(t.name(), line,
                             "a header keyword (ncols, nrows, xllcorner, yllcorner, cellsize, NODATA_value)",
                             hydro::quote_token(key));
    }
    if (!have_size && dx > 0 && dy > 0) {
        if (std::fabs(dx - dy) > 1e-9 * dx) non_square_dx = dx;
        size = dy, have_size = true;
    }
    const char* missing = !have_cols   ? "ncols"
                          : !have_rows ? "nrows"
                          : !have_x    ? "xllcorner"
                          : !have_y    ? "yllcorner"
                          : !have_size ? "cellsize"
                                       : nullptr;
    if (missing)
        throw InputError(t.name(), line, std::string("the header keyword ") + missing,
                         t.peek(tok, line) ? hydro::quote_token(tok) : std::string("the end of the file"));
    auto whole_positive = [&](double v, const char* what) {
        if (!(v >= 1 && v <= 2e9 && v == std::floor(v)))
            throw InputError(t.name(), 0, std::string("a positive whole number of ") + what, std::to_string(v));
        return static_cast<int32_t>(v);
    };
    Raster r;
    r.geometry.n_cols = whole_positive(ncols, "columns");
    r.geometry.n_rows = whole_positive(nrows, "rows");
    if (!(size > 0)) throw InputError(t.name(), 0, "a positive cell size", std::to_string(size));
    r.geometry.cell_size = size;
    r.geometry.xll = x_centre ? x - 0.5 * size : x;
    r.geometry.yll = y_centre ? y - 0.5 * size : y;
    r.nodata = have_nodata && !nodata_is_nan ? nodata : -9999.0;

    const std::size_t n = r.geometry.cells();
    if (n > 400'000'000ull)
        throw InputError(t.name(), 0, "a grid of at most 400 million cells", std::to_string(n) + " cells");
    r.value.assign(n, 0.0);
    r.has_data.assign(n, 0);
    const double tolerance = std::fabs(nodata) * 1e-6;
    for (std::size_t i = 0; i < n; ++i) {
        if (!t.next(tok, line)) {
            throw InputError(t.name(), t.last_line(),
                             "the value of " + cell_text(r.geometry, i) + " (the header announces " +
                                 std::to_string(r.geometry.n_rows) + " rows of " + std::to_string(r.geometry.n_cols) +
                                 " values)",
                             "the end of the file");
        }
        if (is_nan_word(tok)) continue;  // no data
        double v = 0;
        if (!parse_double(tok, v)) throw InputError(t.name(), line, "a number", hydro::quote_token(tok));
        if (have_nodata && !nodata_is_nan && std::fabs(v - nodata) <= tolerance) continue;
        r.value[i] = v;
        r.has_data[i] = 1;
    }
    if (t.next(tok, line))
        throw InputError(t.name(), line,
                         "the end of the file after " + std::to_string(r.geometry.n_rows) + " rows of " +
                             std::to_string(r.geometry.n_cols) + " values",
                         "more values, starting with " + hydro::quote_token(tok));
    return r;
}

void require_square(const std::string& name, const Raster& r, double non_square_dx) {
    if (non_square_dx > 0)
        throw InputError(name, 0, "square cells (dx equal to dy)",
                         "dx " + std::to_string(non_square_dx) + " and dy " + std::to_string(r.geometry.cell_size));
}

}  // namespace

Raster parse_ascii_raster(const std::string& name, const std::string& contents) {
    Tokens t(name, contents);
    double non_square_dx = 0;
    Raster r = parse(t, non_square_dx);
    require_square(name, r, non_square_dx);
    return r;
}

Raster read_ascii_raster(const std::string& path) { return parse_ascii_raster(path, load(path)); }

bool looks_like_ascii_grid(const std::string& start) {
    std::size_t a = starts_with(start, "\xEF\xBB\xBF") ? 3 : 0;
    while (a < start.size() && std::isspace(static_cast<unsigned char>(start[a]))) ++a;
    std::size_t b = a;
    while (b < start.size() && std::isalpha(static_cast<unsigned char>(start[b]))) ++b;
    if (b < start.size() && start[b] == '_') {
        ++b;
        while (b < start.size() && std::isalpha(static_cast<unsigned char>(start[b]))) ++b;
    }
    const std::string key = lower(std::string_view(start).substr(a, b - a));
    static const char* const keys[] = {"ncols",     "nrows",     "xllcorner", "xllcenter", "xllcentre",
                                       "yllcorner", "yllcenter", "yllcentre", "cellsize",  "nodata_value",
                                       "nodata",    "dx",        "dy"};
    for (const char* k : keys)
        if (key == k) return b < start.size() && !std::isalnum(static_cast<unsigned char>(start[b]));
    return false;
}

std::string describe_file_start(const std::string& s) {
    struct Magic {
        std::string_view bytes;
        const char* kind;
    };
    static const Magic magics[] = {
        {std::string_view("II*\0", 4), "a TIFF file"},
        {std::string_view("MM\0*", 4), "a TIFF file"},
        {std::string_view("II+\0", 4), "a BigTIFF file"},
        {std::string_view("MM\0+", 4), "a BigTIFF file"},
        {"\x89PNG", "a PNG image"},
        {"\xFF\xD8\xFF", "a JPEG image"},
        {"GIF8", "a GIF image"},
        {std::string_view("\0\0\0\x0CjP", 6), "a JPEG 2000 image"},
        {"PK\x03\x04", "a ZIP archive"},
        {"\x1F\x8B", "a gzip-compressed file"},
        {"BZh", "a bzip2-compressed file"},
        {"\xFD"
         "7zXZ",
         "an xz-compressed file"},
        {"7z\xBC\xAF", "a 7-Zip archive"},
        {"CDF\x01", "a NetCDF file"},
        {"CDF\x02", "a NetCDF file"},
        {"\x89HDF", "an HDF5 or NetCDF-4 file"},
        {"%PDF", "a PDF document"},
        {"EHFA_HEADER_TAG", "an ERDAS Imagine file"},
        {"SQLite format 3", "an SQLite (GeoPackage) file"},
    };
    for (const Magic& m : magics)
        if (starts_with(s, m.bytes)) return m.kind;
    if (s.empty()) return "an empty file";
    if (!looks_like_text(s)) return "binary data (not text)";
    std::size_t a = starts_with(s, "\xEF\xBB\xBF") ? 3 : 0;
    while (a < s.size() && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    std::size_t b = a;
    while (b < s.size() && !std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    return "text starting with " + hydro::quote_token(std::string_view(s).substr(a, b - a));
}

Raster read_raster(const std::string& path, const std::string& what, bool elevations) {
    const std::string start = read_file_start(path, what, 4096);
    if (looks_like_ascii_grid(start) || (!gdal_available() && looks_like_text(start))) {
        Tokens t(path, load(path));
        double non_square_dx = 0;
        Raster r = parse(t, non_square_dx);
        const PrjFile prj = read_prj_beside(path);
        r.crs_wkt = prj.wkt;
        r.crs_source = prj.path;
        // Cells in degrees are seldom square: the coordinate system's check
        // gives the command that projects them.
        if (non_square_dx > 0 && elevations) require_projected_metres(r, path);
        require_square(path, r, non_square_dx);
        return r;
    }
    if (gdal_available()) return read_gdal_raster(path, what, describe_file_start(start), elevations);
    const std::filesystem::path p(path);
    const std::string converted = (p.parent_path() / p.stem()).string() + ".asc";
    throw InputError(path, 0,
                     "a " + what +
                         " as an ESRI ASCII grid (this gridprep is built without GDAL, which reads GeoTIFF and other "
                         "rasters: convert it with gdal_translate -of AAIGrid " +
                         shell_word(path) + " " + shell_word(converted) + ", or install libgdal-dev and rebuild)",
                     describe_file_start(start));
}

void require_plausible_elevations(const Raster& dem, const std::string& path) {
    const Geometry& g = dem.geometry;
    for (std::size_t i = 0; i < dem.value.size(); ++i) {
        const double v = dem.value[i];
        if (!dem.has_data[i] || (v >= -12000.0 && v <= 10000.0)) continue;
        char found[64];
        std::snprintf(found, sizeof found, "%.9g", v);
        throw InputError(
            path, 0,
            "elevations from -12000 to 10000 m (a no-data value the file does not declare?) at " + cell_text(g, i),
            found);
    }
}

void require_same_geometry(const Geometry& dem, const Geometry& other, const std::string& other_path) {
    auto describe = [](const Geometry& g) {
        std::ostringstream s;
        s.precision(12);
        s << g.n_cols << " columns x " << g.n_rows << " rows of " << g.cell_size << " from (" << g.xll << ", " << g.yll
          << ")";
        return s.str();
    };
    const double tol = 0.01 * dem.cell_size;
    if (other.n_cols != dem.n_cols || other.n_rows != dem.n_rows ||
        std::fabs(other.cell_size - dem.cell_size) > 1e-6 * dem.cell_size || std::fabs(other.xll - dem.xll) > tol ||
        std::fabs(other.yll - dem.yll) > tol)
        throw InputError(other_path, 0, "the cells of the DEM (" + describe(dem) + ")", describe(other));
}

}  // namespace gridprep
