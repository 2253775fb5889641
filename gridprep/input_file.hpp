// The input files of gridprep (the DEM, class maps, station file, tables,
// series) are read only when they are plain files: a folder, a pipe or a
// device (a FIFO, /dev/zero) is refused at once instead of hanging the
// program or filling its memory.
#pragma once

#include <cstddef>
#include <string>

namespace gridprep {

// Throws hydro::InputError unless `path` names an existing, readable plain
// file; `what` names the file for the message ("station file").
void require_plain_file(const std::string& path, const std::string& what);

// The first `limit` bytes of a plain file (fewer when it is shorter).
std::string read_file_start(const std::string& path, const std::string& what, std::size_t limit);

// The whole contents of a plain file.
std::string read_plain_file(const std::string& path, const std::string& what);

// The path as it can stand in a one-line message: control characters shown
// as \xNN.
std::string printable_path(const std::string& path);

// Whether bytes are text: no control characters but line ends and blanks,
// valid UTF-8 (a character cut at the end of a sample counts as valid).
bool looks_like_text(const std::string& bytes);

// A path as one shell word for a command line the user can copy.
std::string shell_word(const std::string& path);

}  // namespace gridprep
