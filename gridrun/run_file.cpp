#include "run_file.hpp"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "input_error.hpp"
#include "model.hpp"

#ifdef HYDRO_HAVE_TOML
#include <toml++/toml.h>
#endif

namespace hydro {

namespace {

std::size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t here = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = here;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string nearest_key(const std::string& key, const std::vector<std::string>& known) {
    std::string best;
    std::size_t best_distance = std::max<std::size_t>(3, key.size() / 3) + 1;
    for (const std::string& k : known) {
        const std::size_t d = edit_distance(key, k);
        if (d < best_distance) best = k, best_distance = d;
    }
    return best;
}

#ifndef HYDRO_HAVE_TOML

bool run_files_available() { return false; }

RunFile read_run_file(const std::string& path) {
    throw InputError(path +
                     ": run files are not available: this gridrun was built without the toml++ library "
                     "(install it with: sudo apt-get install -y libtomlplusplus-dev, then build again)");
}

#else

bool run_files_available() { return true; }

namespace {

// The keys of each part of the file ("" the top), parameters aside.
const std::vector<std::pair<std::string, std::vector<std::string>>> kSections = {
    {"", {"project", "mode", "threads", "parameters", "output", "state"}},
    {"output", {"text", "csv", "netcdf"}},
    {"state", {"initial", "save", "save_at"}},
};

class RunFileReader {
  public:
    explicit RunFileReader(const std::string& path) : path_(path) {
        std::ifstream f(path);
        if (!f) throw InputError(path, 0, "a run file (TOML)", "no readable file");
        std::string line;
        while (std::getline(f, line)) lines_.push_back(line);
        folder_ = std::filesystem::path(path).parent_path();
    }

    RunFile read() {
        toml::table top;
        try {
            top = toml::parse_file(path_);
        } catch (const toml::parse_error& e) {
            throw InputError(path_, static_cast<int>(e.source().begin.line), "a run file in TOML",
                             std::string(e.description()));
        }
        RunFile r;
        r.path = path_;
        for (auto&& [key, node] : top) {
            const std::string k(key.str());
            if (k == "project")
                r.project = path_value(node, k);
            else if (k == "mode")
                r.mode = static_cast<int32_t>(whole(node, k, 1, 2, "1 or 2"));
            else if (k == "threads")
                r.threads = static_cast<int>(whole(node, k, 1, 1024, "from 1 to 1024"));
            else if (k == "parameters")
                read_parameters(table(node, k), r);
            else if (k == "output")
                read_output(table(node, k), r);
            else if (k == "state")
                read_state(table(node, k), r);
            else
                unknown(node, key, "");
        }
        return r;
    }

  private:
    int line_of(const toml::node& n) const { return static_cast<int>(n.source().begin.line); }

    [[noreturn]] void unknown(const toml::node& n, const toml::key& key, const std::string& section) const {
        std::vector<std::string> known;
        for (const auto& [s, keys] : kSections)
            if (s == section) known = keys;
        if (section == "parameters") known = parameter_names();
        const std::string k(key.str());
        const std::string near = nearest_key(k, known);
        const std::string where = section.empty() ? "at the top of the file" : "in [" + section + "]";
        std::string keys;
        for (const std::string& s : known) keys += (keys.empty() ? "" : ", ") + s;
        if (section == "parameters") keys = "a parameter name or <grid>_multiplier";
        throw InputError(path_, static_cast<int>(key.source().begin.line ? key.source().begin.line : line_of(n)),
                         "a key " + where + " (" + keys + ")",
                         "the unknown key \"" + printable(k) + "\"" +
                             (near.empty() ? std::string() : " (did you mean \"" + near + "\"?)"));
    }

    const toml::table& table(const toml::node& n, const std::string& key) const {
        if (!n.is_table()) throw InputError(path_, line_of(n), "[" + key + "] as a table of keys", "a single value");
        return *n.as_table();
    }

    int64_t whole(const toml::node& n, const std::string& key, int64_t low, int64_t high, const char* range) const {
        const auto v = n.value<int64_t>();
        if (!n.is_integer() || !v || *v < low || *v > high)
            throw InputError(path_, line_of(n), key + " as a whole number " + range, "another value");
        return *v;
    }

    std::string text(const toml::node& n, const std::string& key) const {
        if (!n.is_string() || n.value<std::string>()->empty())
            throw InputError(path_, line_of(n), key + " as a quoted, non-empty text", "another value");
        return *n.value<std::string>();
    }

    // A path relative to the run file's folder.
    std::string path_value(const toml::node& n, const std::string& key) const {
        const std::filesystem::path p(text(n, key));
        return (p.is_absolute() || folder_.empty() ? p : folder_ / p).string();
    }

    // A real read from the file's own digits straight into 32 bits.
    float real(const toml::node& n, const std::string& key) const {
        if (!n.is_number()) throw InputError(path_, line_of(n), key + " as a number", "another value");
        const auto& src = n.source().begin;
        if (src.line >= 1 && src.line <= lines_.size()) {
            const std::string& line = lines_[src.line - 1];
            std::string digits;
            for (std::size_t i = src.column >= 1 ? src.column - 1 : 0; i < line.size(); ++i) {
                const char c = line[i];
                if (c == '_') continue;
                if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == 'e' || c == 'E' || c == '-' ||
                      c == '+'))
                    break;
                digits += c;
            }
            if (!digits.empty() && digits[0] == '+') digits.erase(0, 1);
            float v = 0;
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
            if (ec == std::errc() && end == digits.data() + digits.size()) return v;
        }
        return static_cast<float>(*n.value<double>());
    }

    void read_parameters(const toml::table& t, RunFile& r) const {
        const std::vector<std::string> names = parameter_names();
        for (auto&& [key, node] : t) {
            const std::string k(key.str());
            if (std::find(names.begin(), names.end(), k) == names.end()) unknown(node, key, "parameters");
            r.parameters.emplace_back(k, real(node, k));
        }
    }

    void read_output(const toml::table& t, RunFile& r) const {
        for (auto&& [key, node] : t) {
            const std::string k(key.str());
            if (k == "netcdf") {
                r.netcdf = path_value(node, k);
                continue;
            }
            if (k != "text" && k != "csv") unknown(node, key, "output");
            if (!node.is_boolean()) throw InputError(path_, line_of(node), k + " as true or false", "another value");
            (k == "text" ? r.text : r.csv) = *node.value<bool>();
        }
    }

    void read_state(const toml::table& t, RunFile& r) const {
        for (auto&& [key, node] : t) {
            const std::string k(key.str());
            if (k == "initial")
                r.initial_state = path_value(node, k);
            else if (k == "save")
                r.save_state = path_value(node, k);
            else if (k == "save_at")
                read_dates(node, r);
            else
                unknown(node, key, "state");
        }
    }

    // Dates as quoted texts or as TOML dates and date-times.
    void read_dates(const toml::node& n, RunFile& r) const {
        if (!n.is_array()) throw InputError(path_, line_of(n), "save_at as a list of dates", "another value");
        for (const toml::node& d : *n.as_array()) {
            if (d.is_string()) {
                r.save_at.push_back(*d.value<std::string>());
            } else if (d.is_date_time() || d.is_date()) {
                std::ostringstream s;
                if (d.is_date_time())
                    s << d.as_date_time()->get();
                else
                    s << d.as_date()->get();
                r.save_at.push_back(s.str());
            } else {
                throw InputError(path_, line_of(d), "a date in save_at (such as \"2020-06-30T23:00\")",
                                 "another value");
            }
        }
    }

    std::string path_;
    std::vector<std::string> lines_;
    std::filesystem::path folder_;
};

}  // namespace

RunFile read_run_file(const std::string& path) { return RunFileReader(path).read(); }

#endif

}  // namespace hydro
