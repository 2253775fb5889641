#include "input_error.hpp"

namespace hydro {

namespace {
std::string compose(const std::string& file, int line, const std::string& expected, const std::string& found) {
    std::string msg = file;
    if (line > 0) msg += ", line " + std::to_string(line);
    msg += ": expected " + expected + ", found " + found;
    return msg;
}
}  // namespace

InputError::InputError(std::string file, int line, std::string expected, std::string found)
    : std::runtime_error(compose(file, line, expected, found)), file_(std::move(file)), line_(line) {}

std::string printable(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

InputError::InputError(const std::string& message) : std::runtime_error(message) {}

}  // namespace hydro
