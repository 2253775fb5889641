// The one error a user sees: which file, which line, what was expected there
// and what was found instead. Readers throw it; each program's main catches it,
// prints one line on standard error and exits with a non-zero status.
#pragma once

#include <stdexcept>
#include <string>

namespace hydro {

class InputError : public std::runtime_error {
  public:
    // line 0 means the message concerns the file as a whole (missing, unreadable).
    InputError(std::string file, int line, std::string expected, std::string found);

    // A message that is not about one place in one file (a value that makes
    // the run meaningless, found after the files were read).
    explicit InputError(const std::string& message);

    const std::string& file() const { return file_; }
    int line() const { return line_; }

  private:
    std::string file_;
    int line_ = 0;
};

// The text with every control character (a line end, an escape sequence in a
// folder's name) shown as \xNN, so that a message stays one readable line.
std::string printable(const std::string& text);

// A result file that could not be created or written completely.
class OutputError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace hydro
