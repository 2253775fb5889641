#include "input_error.hpp"

namespace hydro {

namespace {
std::string compose(const std::string& file, int line, const std::string& expected,
                    const std::string& found) {
    std::string msg = file;
    if (line > 0) msg += ", line " + std::to_string(line);
    msg += ": expected " + expected + ", found " + found;
    return msg;
}
}  // namespace

InputError::InputError(std::string file, int line, std::string expected, std::string found)
    : std::runtime_error(compose(file, line, expected, found)), file_(std::move(file)), line_(line) {}

InputError::InputError(const std::string& message) : std::runtime_error(message) {}

}  // namespace hydro
