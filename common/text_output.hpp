// Result files are written whole, with every failure (a missing output folder,
// a read-only folder, a full disk) reported as an error, never ignored.
#pragma once

#include <string>

namespace hydro {

// Creates or rewrites `path` with `contents`; throws OutputError on failure.
void write_text_file(const std::string& path, const std::string& contents);

// Console output of the programs: buffered, written in large pieces.
void console_write(const std::string& text);
void console_flush();

}  // namespace hydro
