// Line splitting shared by the station file and the parameter tables.
#pragma once

#include <string>
#include <vector>

namespace gridprep {

struct CsvLine {
    int number = 0;  // line number in the file, from 1
    std::vector<std::string> fields;
};

// The lines of a small CSV text that carry data: blank lines and lines whose
// first visible character is '#' are passed over. Fields are separated by
// commas (or, on a line without commas, by blanks and tabs) and trimmed.
std::vector<CsvLine> split_csv_lines(const std::string& contents);

// A finite decimal number in plain or exponent form; false otherwise.
bool parse_number(const std::string& text, double& value);

// Loads a whole text file; throws InputError naming `what` when it is
// missing or not a plain file (a folder, a pipe, a device).
std::string load_text_file(const std::string& path, const std::string& what);

}  // namespace gridprep
