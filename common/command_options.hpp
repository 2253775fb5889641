// The command line of every program: one table per program lists its
// options (name, argument, help and what the option does), and that table
// alone drives the parsing, the --help text and the hint for a misspelt
// option. Every program accepts --name VALUE and --name=VALUE, --help (or
// -h) and --version, and answers a usage error with status 2.
#pragma once

#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hydro {

// A command line that cannot be understood: the message names the option
// and what it needs.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The values an option was given: one per word of its argument.
using OptionValues = std::vector<std::string>;

// One row of a program's option table.
struct CommandOption {
    std::string_view name;      // "--project"; empty: a heading of the help text (held in help)
    std::string_view argument;  // "DIR", "X Y" (two values), "1|2"; empty: a switch without a value
    std::string_view help;      // what the option does, in sentences; --help wraps it
    std::function<void(const OptionValues&)> apply;  // takes the values; throws UsageError for bad ones
};

// A program's command line as a whole.
struct CommandLineSpec {
    std::string_view program;       // the name it answers to: messages, --version
    std::string_view usage;         // "Usage: ..." lines, each ending with a newline
    std::string_view description;   // what the program does: a paragraph after the usage
    std::string_view operand;       // the name of a bare argument it accepts ("PROJECT_ROOT"); empty: none
    std::string_view closing = {};  // lines after the options ("See docs/...")
};

enum class CommandRequest { run, help, version };

// Applies `args` (without the program's name) to `table` in the order given.
// Bare arguments go to `operands` when the program takes one. Throws
// UsageError for an unknown option (naming the closest one of the table), a
// missing value, a value given to a switch, or a value an option refuses.
CommandRequest parse_command_line(const CommandLineSpec& spec, std::span<const CommandOption> table,
                                  const std::vector<std::string>& args, std::vector<std::string>* operands = nullptr);

// The --help text: usage, description, the table's options with their help
// wrapped beside them, --help and --version, and the closing lines.
std::string help_text(const CommandLineSpec& spec, std::span<const CommandOption> table);

// The --version line: "gridrun 0.1.0".
std::string version_text(const CommandLineSpec& spec);

// The text on standard error for a usage error: the message, the usage lines
// and where to find the rest.
std::string usage_error_text(const CommandLineSpec& spec, const std::string& message);

// For programs that end at once: parses argv; answers --help and --version on
// standard output (status 0) and a usage error on standard error (status 2),
// ending the process in those cases. Returns the bare arguments.
std::vector<std::string> read_command_line(const CommandLineSpec& spec, std::span<const CommandOption> table, int argc,
                                           char** argv);

// The one of `names` that `typed` is most likely a slip of the keyboard for
// (a letter wrong, missing, added or two swapped, or a prefix of it); empty
// when none is close.
std::string closest_name(std::string_view typed, std::span<const std::string_view> names);
std::string closest_name(std::string_view typed, const std::vector<std::string>& names);

// A whole number in [least, most] written in plain decimal digits (no sign,
// no spaces): the counts and seeds of the command lines.
bool parse_count(std::string_view text, long long least, long long most, long long& out);

}  // namespace hydro
