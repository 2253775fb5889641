#include "parameter_file.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "command_options.hpp"
#include "csv_fields.hpp"
#include "free_format.hpp"
#include "input_error.hpp"

namespace hydro {

namespace {

bool ends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::string shown(std::string_view s) { return s.empty() ? std::string("an empty field") : quote_token(s); }

}  // namespace

std::vector<ParameterRange> parse_parameter_file(const std::string& name, std::string_view text,
                                                 const std::vector<std::string>& known_names) {
    std::vector<ParameterRange> out;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int line_no = 0;
    bool first = true;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = trim_field(text.substr(pos, end - pos));
        pos = end + 1;
        ++line_no;
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string_view> f = split_fields(line);
        const bool header = first && f[0] == "name";
        first = false;
        if (header) continue;
        if (f.size() < 3 || f.size() > 4)
            throw InputError(name, line_no, "name,lower,upper or name,lower,upper,initial", quote_token(line));
        ParameterRange r;
        r.name = std::string(f[0]);
        r.line = line_no;
        if (std::find(known_names.begin(), known_names.end(), r.name) == known_names.end()) {
            const std::string meant = closest_name(r.name, known_names);
            throw InputError(name, line_no,
                             "the name of a control-file parameter (interflow_scale ... runoff_rain_threshold) or of a "
                             "grid multiplier (<grid file stem>_multiplier, for example conductivity_multiplier)",
                             shown(f[0]) + (meant.empty() ? "" : "; did you mean " + meant + "?"));
        }
        for (const ParameterRange& earlier : out)
            if (earlier.name == r.name)
                throw InputError(name, line_no,
                                 "each parameter once (" + r.name + " is on line " + std::to_string(earlier.line) + ")",
                                 quote_token(f[0]));
        if (!parse_decimal(f[1], r.lower)) throw InputError(name, line_no, "a lower bound (a number)", shown(f[1]));
        if (!parse_decimal(f[2], r.upper)) throw InputError(name, line_no, "an upper bound (a number)", shown(f[2]));
        if (!(r.lower < r.upper))
            throw InputError(name, line_no, "a lower bound below the upper bound",
                             std::string(f[1]) + " and " + std::string(f[2]));
        if (ends_with(r.name, "_multiplier") && r.lower < 0)
            throw InputError(name, line_no, "a multiplier's bounds of 0 or more", std::string(f[1]));
        if (f.size() == 4 && !f[3].empty()) {
            double v;
            if (!parse_decimal(f[3], v)) throw InputError(name, line_no, "an initial value (a number)", shown(f[3]));
            if (v < r.lower || v > r.upper)
                throw InputError(name, line_no, "an initial value within the bounds", std::string(f[3]));
            r.initial = v;
        }
        out.push_back(r);
    }
    if (out.empty()) throw InputError(name, 0, "at least one parameter line name,lower,upper", "none");
    return out;
}

std::vector<ParameterRange> read_parameter_file(const std::string& path, const std::vector<std::string>& known_names) {
    return parse_parameter_file(path, read_plain_file(path), known_names);
}

}  // namespace hydro
