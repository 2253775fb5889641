#include "grid_georeference.hpp"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

#include "free_format.hpp"
#include "input_error.hpp"

namespace hydro {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

double header_number(FreeFormatReader& in, std::string& keyword, const std::string& what) {
    in.begin_read();
    keyword = lower(in.token("the keyword of " + what));
    const std::string_view tok = in.token(what);
    double value = 0;
    const auto r = std::from_chars(tok.data(), tok.data() + tok.size(), value);
    if (r.ec != std::errc() || r.ptr != tok.data() + tok.size()) in.fail(what + " (a number)", quote_token(tok));
    return value;
}

}  // namespace

GridGeoreference read_grid_georeference(const std::string& grid_path) {
    FreeFormatReader in(grid_path);
    GridGeoreference g;
    std::string keyword;
    g.n_cols = static_cast<int32_t>(header_number(in, keyword, "the number of columns"));
    g.n_rows = static_cast<int32_t>(header_number(in, keyword, "the number of rows"));
    g.x_left = header_number(in, keyword, "the x coordinate of the lower-left cell");
    const bool x_centre = keyword == "xllcenter";
    g.y_bottom = header_number(in, keyword, "the y coordinate of the lower-left cell");
    const bool y_centre = keyword == "yllcenter";
    g.cell_size = header_number(in, keyword, "the cell size");
    if (x_centre) g.x_left -= g.cell_size / 2;
    if (y_centre) g.y_bottom -= g.cell_size / 2;
    return g;
}

std::string projection_path(const std::string& grid_path) {
    const std::size_t slash = grid_path.find_last_of('/');
    const std::size_t dot = grid_path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return grid_path + ".prj";
    return grid_path.substr(0, dot) + ".prj";
}

std::string read_projection_text(const std::string& prj_path) {
    struct stat st {};
    if (::stat(prj_path.c_str(), &st) != 0) {
        if (errno == ENOENT) return "";
        throw InputError(prj_path, 0, "a readable file", "an error (" + std::string(std::strerror(errno)) + ")");
    }
    if (!S_ISREG(st.st_mode)) throw InputError(prj_path, 0, "a plain file", "a folder, device, pipe or socket");
    // A coordinate system is a few hundred characters of text.
    if (st.st_size > (1 << 20)) throw InputError(prj_path, 0, "a coordinate system text", "a file of more than 1 MB");
    std::ifstream f(prj_path, std::ios::binary);
    std::ostringstream text;
    text << f.rdbuf();
    if (!f && !f.eof()) throw InputError(prj_path, 0, "a readable file", "a read error");
    std::string s = text.str();
    for (unsigned char c : s)
        if (c == 0 || (c < 32 && c != '\n' && c != '\r' && c != '\t'))
            throw InputError(prj_path, 0, "a coordinate system as text (well-known text)", "binary data");
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    return s;
}

}  // namespace hydro
