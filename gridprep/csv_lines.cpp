#include "csv_lines.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "input_error.hpp"
#include "input_file.hpp"

namespace gridprep {

namespace {

std::string trim(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

}  // namespace

std::vector<CsvLine> split_csv_lines(const std::string& contents) {
    std::vector<CsvLine> lines;
    std::size_t pos = 0;
    if (contents.rfind("\xEF\xBB\xBF", 0) == 0) pos = 3;
    int number = 0;
    while (pos < contents.size()) {
        std::size_t end = contents.find('\n', pos);
        if (end == std::string::npos) end = contents.size();
        const std::string text = trim(contents.substr(pos, end - pos));
        pos = end + 1;
        ++number;
        if (text.empty() || text[0] == '#') continue;
        CsvLine line;
        line.number = number;
        if (text.find(',') != std::string::npos) {
            std::size_t a = 0;
            for (;;) {
                const std::size_t comma = text.find(',', a);
                line.fields.push_back(trim(text.substr(a, comma == std::string::npos ? std::string::npos : comma - a)));
                if (comma == std::string::npos) break;
                a = comma + 1;
            }
        } else {
            std::istringstream words(text);
            for (std::string w; words >> w;) line.fields.push_back(w);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool parse_number(const std::string& text, double& value) {
    std::string t = text;
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty()) return false;
    for (char c : t)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    return ec == std::errc() && ptr == t.data() + t.size() && std::isfinite(value);
}

std::string load_text_file(const std::string& path, const std::string& what) { return read_plain_file(path, what); }

}  // namespace gridprep
