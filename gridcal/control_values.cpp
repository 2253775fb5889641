#include "control_values.hpp"

#include "input_error.hpp"

namespace hydro {

namespace {

bool separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

std::string with_parameter_record(const std::string& path, std::string_view text,
                                  const std::vector<std::string>& values) {
    // The control file is read record by record: records 1 to 3 take one
    // value each (the rest of their line is skipped), record 4 the next eleven
    // values, over line ends where needed.
    struct Span {
        std::size_t at, length;
    };
    std::vector<Span> record;
    std::size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    int read = 0;
    bool mid_line = false;
    while (read < 4) {
        if (mid_line) {  // a new read starts on the next line
            const std::size_t nl = text.find('\n', pos);
            if (nl == std::string_view::npos) break;
            pos = nl + 1;
            mid_line = false;
        }
        ++read;
        const std::size_t wanted = read < 4 ? 1 : values.size();
        std::size_t taken = 0;
        while (taken < wanted && pos < text.size()) {
            if (separator(text[pos])) {
                ++pos;
            } else if (text[pos] == '\n') {
                ++pos;
                mid_line = false;
            } else {
                const std::size_t start = pos;
                while (pos < text.size() && text[pos] != '\n' && !separator(text[pos])) ++pos;
                if (read == 4) record.push_back({start, pos - start});
                ++taken;
                mid_line = true;
            }
        }
    }
    if (record.size() != values.size())
        throw InputError(path, 0, "a parameter record of " + std::to_string(values.size()) + " values",
                         std::to_string(record.size()));
    std::string out(text);
    for (std::size_t i = record.size(); i-- > 0;)
        if (!values[i].empty()) out.replace(record[i].at, record[i].length, values[i]);
    return out;
}

}  // namespace hydro
