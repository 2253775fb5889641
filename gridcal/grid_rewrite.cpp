#include "grid_rewrite.hpp"

#include <cmath>
#include <cstdio>
#include <vector>

#include "free_format.hpp"
#include "input_error.hpp"

namespace hydro {

namespace {

bool separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

std::string with_grid_values(const std::string& path, std::string_view text, int32_t n_rows, int32_t n_cols,
                             const std::function<float(std::size_t, float)>& new_value) {
    // Six header reads of one value, then one read of n_cols values per row,
    // each read starting on a new line, as the grid reader takes them.
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    std::size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0, copied = 0;
    bool mid_line = false;
    std::size_t index = 0;
    auto fail = [&](const std::string& found) {
        throw InputError(
            path, 0, "a grid of " + std::to_string(n_rows) + " rows of " + std::to_string(n_cols) + " values", found);
    };
    for (int32_t read = 0; read < 6 + n_rows; ++read) {
        if (mid_line) {
            const std::size_t nl = text.find('\n', pos);
            if (nl == std::string_view::npos) fail("fewer values");
            pos = nl + 1;
            mid_line = false;
        }
        const int32_t wanted = read < 6 ? 1 : n_cols;
        for (int32_t taken = 0; taken < wanted;) {
            if (pos >= text.size()) fail("fewer values");
            if (separator(text[pos])) {
                ++pos;
            } else if (text[pos] == '\n') {
                ++pos;
            } else {
                const std::size_t start = pos;
                while (pos < text.size() && text[pos] != '\n' && !separator(text[pos])) ++pos;
                ++taken;
                mid_line = true;
                if (read < 6) continue;
                const std::string_view tok = text.substr(start, pos - start);
                float v;
                if (!parse_float(tok, v)) fail("the value " + quote_token(tok));
                const float nv = new_value(index++, v);
                if (nv == v && !(nv == 0 && std::signbit(nv) != std::signbit(v))) continue;
                char buf[32];
                std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(nv));
                out.append(text.substr(copied, start - copied));
                out.append(buf);
                copied = pos;
            }
        }
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace hydro
