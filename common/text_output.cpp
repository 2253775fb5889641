#include "text_output.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "input_error.hpp"

namespace hydro {

void write_text_file(const std::string& path, const std::string& contents) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw OutputError("cannot create " + path + ": " + std::strerror(errno));
    std::size_t written = std::fwrite(contents.data(), 1, contents.size(), f);
    int write_errno = errno;
    bool ok = written == contents.size();
    if (std::fflush(f) != 0) ok = false, write_errno = errno;
    if (std::fclose(f) != 0) ok = false, write_errno = errno;
    if (!ok) throw OutputError("cannot write " + path + " completely: " + std::strerror(write_errno));
}

void console_write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void console_flush() { std::fflush(stdout); }

}  // namespace hydro
