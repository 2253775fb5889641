// Helpers shared by the fuzz targets: the input as a file on disk (the
// readers open files by path, as the programs do) and the checks every
// error message must pass.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "input_error.hpp"

namespace fuzz_support {

// A scratch folder of this process, removed at exit.
inline const std::filesystem::path& scratch_dir() {
    static const std::filesystem::path dir = [] {
        std::filesystem::path d = std::filesystem::temp_directory_path() / ("hydro_fuzz_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratch_dir(), ec);
        });
        return d;
    }();
    return dir;
}

// Writes the fuzz input to a file of the scratch folder and returns its path.
inline std::string as_file(const uint8_t* data, std::size_t size, const char* name) {
    const std::string path = (scratch_dir() / name).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    if (std::fclose(f) != 0) std::abort();
    return path;
}

[[noreturn]] inline void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "property violated: %s: %s\n", what, detail.c_str());
    std::abort();
}

// A message a user sees: one line, printable, with the file named first.
inline void check_message(const hydro::InputError& e, const std::string& file) {
    const std::string m = e.what();
    if (m.rfind(file, 0) != 0) fail("the message does not start with the file", m);
    for (char ch : m) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) fail("control character in a message", m);
    }
    if (e.line() < 0) fail("negative line number", m);
}

}  // namespace fuzz_support
