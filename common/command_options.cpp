#include "command_options.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#ifndef HYDRO_VERSION
#define HYDRO_VERSION "0.1.0"
#endif

namespace hydro {

namespace {

constexpr std::size_t kTextWidth = 90;        // --help wraps its lines here
constexpr std::size_t kWidestOptionCol = 26;  // help starts here, or on the next line

const CommandOption kHelpRow{"--help", "", "this text", {}};
const CommandOption kVersionRow{"--version", "", "the program's name and version", {}};

std::size_t word_count(std::string_view text) {
    std::size_t n = 0;
    bool in_word = false;
    for (char c : text) {
        const bool space = c == ' ';
        if (!space && !in_word) ++n;
        in_word = !space;
    }
    return n;
}

// Edit distance in which two neighbouring letters swapped count as one edit.
std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

std::string_view without_dashes(std::string_view s) {
    while (!s.empty() && s.front() == '-') s.remove_prefix(1);
    return s;
}

std::string printable_argument(std::string_view s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string unknown_option(std::string_view arg, std::span<const CommandOption> table) {
    std::vector<std::string_view> names;
    for (const CommandOption& o : table)
        if (!o.name.empty()) names.push_back(o.name);
    names.push_back(kHelpRow.name);
    names.push_back(kVersionRow.name);
    const std::string name(arg.substr(0, std::min(arg.find('='), arg.size())));
    const std::string hint = closest_name(name, names);
    return "unknown option \"" + printable_argument(arg) + "\"" + (hint.empty() ? "" : "; did you mean " + hint + "?");
}

// `text` wrapped to lines of at most `width` characters, each after `indent` spaces but the first.
std::string wrapped(std::string_view text, std::size_t first_col, std::size_t indent) {
    std::string out;
    std::size_t col = first_col;
    bool line_start = true;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        const std::string_view word = text.substr(pos, end - pos);
        pos = end + 1;
        if (word.empty()) continue;
        if (!line_start && col + 1 + word.size() > kTextWidth) {
            out += "\n" + std::string(indent, ' ');
            col = indent;
            line_start = true;
        }
        if (!line_start) out += ' ', ++col;
        out += word;
        col += word.size();
        line_start = false;
    }
    return out + "\n";
}

void append_option(std::string& out, const CommandOption& o, std::size_t help_col) {
    if (o.name.empty()) {
        out += "\n" + std::string(o.help) + "\n";
        return;
    }
    std::string head = "  " + std::string(o.name) + (o.argument.empty() ? "" : " " + std::string(o.argument));
    if (head.size() + 2 > help_col) {
        out += head + "\n";
        head.clear();
    }
    if (!head.empty()) out += head;
    out += std::string(help_col - head.size(), ' ');
    out += wrapped(o.help, help_col, help_col);
}

}  // namespace

std::string closest_name(std::string_view typed, std::span<const std::string_view> names) {
    const std::string_view bare = without_dashes(typed);
    if (bare.empty()) return "";
    const std::size_t limit = bare.size() <= 4 ? 1 : bare.size() <= 8 ? 2 : 3;
    std::string best;
    std::size_t best_score = limit + 1;
    for (std::string_view name : names) {
        const std::string_view candidate = without_dashes(name);
        // A name cut short ("--proj") is as close as one letter wrong.
        const bool prefix =
            bare.size() >= 3 && candidate.size() > bare.size() && candidate.substr(0, bare.size()) == bare;
        const std::size_t score = prefix ? 1 : edit_distance(bare, candidate);
        if (score < best_score) best_score = score, best = std::string(name);
    }
    return best;
}

std::string closest_name(std::string_view typed, const std::vector<std::string>& names) {
    const std::vector<std::string_view> views(names.begin(), names.end());
    return closest_name(typed, std::span<const std::string_view>(views));
}

bool parse_count(std::string_view text, long long least, long long most, long long& out) {
    if (text.empty() || text.size() > 18) return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < least || v > most) return false;
    out = v;
    return true;
}

CommandRequest parse_command_line(const CommandLineSpec& spec, std::span<const CommandOption> table,
                                  const std::vector<std::string>& args, std::vector<std::string>* operands) {
    CommandRequest request = CommandRequest::run;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            if (spec.operand.empty() || operands == nullptr) throw UsageError(unknown_option(arg, table));
            operands->push_back(arg);
            continue;
        }
        const std::size_t eq = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, eq);
        if (name == "--help" || name == "-h" || name == "--version") {
            if (eq != std::string::npos) throw UsageError(name + " takes no value");
            if (request == CommandRequest::run)
                request = name == "--version" ? CommandRequest::version : CommandRequest::help;
            continue;
        }
        const auto row = std::find_if(table.begin(), table.end(),
                                      [&](const CommandOption& o) { return !o.name.empty() && o.name == name; });
        if (row == table.end()) throw UsageError(unknown_option(arg, table));
        const std::size_t count = word_count(row->argument);
        OptionValues values;
        if (eq != std::string::npos) {
            if (count == 0) throw UsageError(name + " takes no value");
            values.push_back(arg.substr(eq + 1));
        }
        while (values.size() < count) {
            if (i + 1 >= args.size())
                throw UsageError(name + " needs " + (count == 1 ? "a value" : std::to_string(count) + " values"));
            values.push_back(args[++i]);
        }
        if (row->apply) row->apply(values);
    }
    return request;
}

std::string help_text(const CommandLineSpec& spec, std::span<const CommandOption> table) {
    std::size_t help_col = 0;
    for (const CommandOption& o : table)
        if (!o.name.empty()) {
            const std::size_t width = 2 + o.name.size() + (o.argument.empty() ? 0 : 1 + o.argument.size()) + 2;
            if (width <= kWidestOptionCol) help_col = std::max(help_col, width);
        }
    help_col = std::max<std::size_t>(help_col, 14);
    std::string out(spec.usage);
    if (!spec.description.empty()) out += "\n" + wrapped(spec.description, 0, 0);
    if (!table.empty() && !table.front().name.empty()) out += "\n";
    for (const CommandOption& o : table) append_option(out, o, help_col);
    append_option(out, kHelpRow, help_col);
    append_option(out, kVersionRow, help_col);
    if (!spec.closing.empty()) out += std::string(spec.closing);
    return out;
}

std::string version_text(const CommandLineSpec& spec) { return std::string(spec.program) + " " HYDRO_VERSION "\n"; }

std::string usage_error_text(const CommandLineSpec& spec, const std::string& message) {
    const std::string program(spec.program);
    return program + ": " + printable_argument(message) + "\n\n" + std::string(spec.usage) + "Run " + program +
           " --help for every option.\n";
}

std::vector<std::string> read_command_line(const CommandLineSpec& spec, std::span<const CommandOption> table, int argc,
                                           char** argv) {
    std::vector<std::string> operands;
    try {
        switch (parse_command_line(spec, table, std::vector<std::string>(argv + 1, argv + argc), &operands)) {
            case CommandRequest::help:
                std::fputs(help_text(spec, table).c_str(), stdout);
                std::exit(std::fflush(stdout) == 0 ? 0 : 1);
            case CommandRequest::version:
                std::fputs(version_text(spec).c_str(), stdout);
                std::exit(std::fflush(stdout) == 0 ? 0 : 1);
            case CommandRequest::run:
                break;
        }
    } catch (const UsageError& e) {
        std::fputs(usage_error_text(spec, e.what()).c_str(), stderr);
        std::exit(2);
    }
    return operands;
}

}  // namespace hydro
