// Hostile input: malformed copies of a small valid project, generated here
// from the valid one, each run through the programs that read the damaged
// file. Every copy must be refused with a non-zero exit and one message line
// that names the file (and the line where there is one), and the results of
// an earlier run in the same output folder must survive untouched. The quirks
// of files that come from other systems (byte order mark, CRLF, trailing
// blanks, blank lines at the end) must read exactly like the clean files, and
// a result file that cannot be written must end the run with an error.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "calendar.hpp"
#include "ascii_grid.hpp"
#include "control_file.hpp"
#include "counting.hpp"
#include "dimension_scan.hpp"
#include "model_loading.hpp"
#include "thiessen.hpp"
#include "input_error.hpp"
#include "output_lock.hpp"
#include "test_support.hpp"

namespace {

using namespace testing_support;

const fs::path kCase = fs::path(TEST_SOURCE_DIR) / "golden" / "case-9007-tiny";

enum Program : unsigned { kGridrun = 1, kAreamean = 2, kBoth = 3 };

// ---------------------------------------------------------------------------
// Text edits of one input file.

bool is_blank(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; }

std::vector<std::string> split_lines(const std::string& s) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t nl = s.find('\n', start);
        if (nl == std::string::npos) nl = s.size() - 1;
        lines.push_back(s.substr(start, nl - start + 1));
        start = nl + 1;
    }
    return lines;
}

std::string join(const std::vector<std::string>& lines, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n && i < lines.size(); ++i) s += lines[i];
    return s;
}

// Position [begin, end) of token `index` (from 0) of a line.
std::pair<std::size_t, std::size_t> token_span(const std::string& line, int index) {
    std::size_t i = 0;
    for (int t = 0;; ++t) {
        while (i < line.size() && (is_blank(line[i]) || line[i] == '\n')) ++i;
        if (i >= line.size()) throw std::runtime_error("test edit: no token " + std::to_string(index) + " in " + line);
        std::size_t e = i;
        while (e < line.size() && !is_blank(line[e]) && line[e] != '\n') ++e;
        if (t == index) return {i, e};
        i = e;
    }
}

using Edit = std::function<std::string(const std::string&)>;

// Token `index` (from 0) of line `line` (from 1) replaced by `text`.
Edit set_token(int line, int index, std::string text) {
    return [=](const std::string& s) {
        std::vector<std::string> lines = split_lines(s);
        std::string& l = lines.at(static_cast<std::size_t>(line - 1));
        const auto [b, e] = token_span(l, index);
        l = l.substr(0, b) + text + l.substr(e);
        return join(lines, lines.size());
    };
}

// The first `n` lines only.
Edit keep_lines(std::size_t n) {
    return [=](const std::string& s) { return join(split_lines(s), n); };
}

// The lines before `line`, then the first `tokens` tokens of `line` and its
// line end, if `with_line_end`; nothing after.
Edit cut_in_line(int line, int tokens, bool with_line_end) {
    return [=](const std::string& s) {
        std::vector<std::string> lines = split_lines(s);
        const std::string& l = lines.at(static_cast<std::size_t>(line - 1));
        std::string cut = l.substr(0, token_span(l, tokens - 1).second);
        return join(lines, static_cast<std::size_t>(line - 1)) + cut + (with_line_end ? "\n" : "");
    };
}

// Line `line` keeps only its first `tokens` tokens; the rest of the file stays.
Edit keep_tokens(int line, int tokens) {
    return [=](const std::string& s) {
        std::vector<std::string> lines = split_lines(s);
        std::string& l = lines.at(static_cast<std::size_t>(line - 1));
        l = l.substr(0, token_span(l, tokens - 1).second) + "\n";
        return join(lines, lines.size());
    };
}

Edit replace_line(int line, std::string text) {
    return [=](const std::string& s) {
        std::vector<std::string> lines = split_lines(s);
        lines.at(static_cast<std::size_t>(line - 1)) = text + "\n";
        return join(lines, lines.size());
    };
}

Edit drop_last_lines(std::size_t n) {
    return [=](const std::string& s) {
        std::vector<std::string> lines = split_lines(s);
        return join(lines, lines.size() - n);
    };
}

// Both edits, `a` first.
Edit then(Edit a, Edit b) {
    return [=](const std::string& s) { return b(a(s)); };
}

// A copy of the last line added at the end (a spare record).
Edit last_line_repeated() {
    return [](const std::string& s) { return s + split_lines(s).back(); };
}

Edit emptied() {
    return [](const std::string&) { return std::string(); };
}

// ---------------------------------------------------------------------------
// Damage done to one file of the project.

using Damage = std::function<void(const fs::path&)>;

Damage edited(Edit e) {
    return [e](const fs::path& p) { write_file(p, e(read_file(p))); };
}
Damage removed() {
    return [](const fs::path& p) { fs::remove(p); };
}
Damage made_a_folder() {
    return [](const fs::path& p) {
        fs::remove(p);
        fs::create_directories(p / "inside");
    };
}
Damage linked_to(std::string target) {
    return [target](const fs::path& p) {
        fs::remove(p);
        fs::create_symlink(target, p);
    };
}
Damage made_a_pipe() {
    return [](const fs::path& p) {
        fs::remove(p);
        if (::mkfifo(p.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
    };
}

struct Variant {
    std::string name;
    std::string file;  // relative to the project root
    Damage damage;
    unsigned programs;  // the programs that read the file and must refuse it
    std::string where;  // what each message must hold, e.g. "slope.asc, line 9:"
    std::string menu = "2\n";
};

// ---------------------------------------------------------------------------
// The valid project, with the results of an earlier, successful run in its
// output folder (the reference results of this project).

fs::path copy_of_valid_project(const fs::path& dir) {
    const fs::path root = dir / "project";
    fs::copy(kCase / "project", root, fs::copy_options::recursive);
    return root;
}

fs::path copy_with_earlier_results(const fs::path& dir) {
    const fs::path root = copy_of_valid_project(dir);
    for (const std::string& name : file_names(kCase / "expected"))
        if (fs::path(name).extension() != ".stdout")
            fs::copy_file(kCase / "expected" / name, root / "model" / "output" / name);
    return root;
}

std::string menu_answer() { return read_file(kCase / "menu.txt"); }

const std::vector<std::string> kResponseFiles = {"uh_cell_h.txt", "uh_cell_s.txt", "uh_river.txt"};

bool is_response_file(const std::string& name) {
    return std::find(kResponseFiles.begin(), kResponseFiles.end(), name) != kResponseFiles.end();
}

// The results in an output folder: name -> contents (response files aside).
std::map<std::string, std::string> results_in(const fs::path& output) {
    std::map<std::string, std::string> r;
    for (const std::string& name : file_names(output))
        if (!is_response_file(name)) r[name] = read_file(output / name);
    return r;
}

// What an output folder holds: every entry's name, kind, contents and time
// of last change (set to a fixed past time beforehand, so that a rewrite with
// the same contents shows too).
const fs::file_time_type kPast = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);

struct FolderState {
    std::map<std::string, std::string> contents;
    std::map<std::string, bool> rewritten;
    bool operator==(const FolderState&) const = default;
};

void age_files(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(dir))
        if (fs::is_regular_file(fs::symlink_status(e.path()))) fs::last_write_time(e.path(), kPast);
}

FolderState state_of(const fs::path& dir) {
    FolderState s;
    if (!fs::exists(dir)) return s;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        const auto st = fs::symlink_status(e.path());
        if (fs::is_regular_file(st)) {
            s.contents[name] = read_file(e.path());
            s.rewritten[name] = fs::last_write_time(e.path()) != kPast;
        } else {
            s.contents[name] = fs::is_directory(st) ? "<folder>" : "<other>";
        }
    }
    return s;
}

// ---------------------------------------------------------------------------
// The message rules: one line, from the program, naming the place, no
// exception text, nothing that is not printable.

void expect_one_clear_message(const std::string& program, const RunResult& r, const std::string& where) {
    SCOPED_TRACE(program + " stderr: " + r.err);
    if (std::getenv("HOSTILE_SHOW_MESSAGES")) std::printf("%s", r.err.c_str()), std::fflush(stdout);
    EXPECT_NE(r.exit_code, 0);
    EXPECT_LT(r.exit_code, 126) << "ended by a signal";
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "more than one line";
    EXPECT_EQ(r.err.rfind(program + ": error: ", 0), 0u);
    EXPECT_NE(r.err.find(where), std::string::npos) << "expected the message to hold \"" << where << "\"";
    for (const char* noise : {"std::", "bad_alloc", "basic_string", "what()", "terminate"})
        EXPECT_EQ(r.err.find(noise), std::string::npos) << noise;
    for (std::size_t i = 0; i + 1 < r.err.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(r.err[i]);
        EXPECT_FALSE(c < 0x20 || c == 0x7F) << "control character " << int(c) << " at " << i;
    }
}

// ---------------------------------------------------------------------------
// The variants.

struct GridFile {
    const char* name;
    bool integer;
    unsigned programs;
};

const GridFile kGrids[] = {
    {"runoff_co.asc", false, kGridrun},    {"fieldcap.asc", false, kGridrun},   {"porosity.asc", false, kGridrun},
    {"conductivity.asc", false, kGridrun}, {"poreindex.asc", false, kGridrun},  {"depression.asc", false, kGridrun},
    {"interc_max.asc", false, kGridrun},   {"interc_min.asc", false, kGridrun}, {"residual.asc", false, kGridrun},
    {"rootdepth.asc", false, kGridrun},    {"slope.asc", false, kGridrun},      {"wiltingpoint.asc", false, kGridrun},
    {"elevation.asc", false, kGridrun},    {"moisture.asc", false, kGridrun},   {"thiessen_p.asc", true, kBoth},
    {"thiessen_e.asc", true, kBoth},       {"thiessen_t.asc", true, kBoth},     {"watershed.asc", true, kBoth},
};

std::string stem(const std::string& file) { return file.substr(0, file.find('.')); }

void add_file_level(std::vector<Variant>& v, const std::string& path, unsigned programs) {
    const std::string name = fs::path(path).filename().string(), s = stem(name);
    v.push_back({s + "_a_folder", path, made_a_folder(), programs, name + ": expected a file, found a folder"});
    v.push_back({s + "_a_device", path, linked_to("/dev/zero"), programs, name + ": expected a plain file"});
    v.push_back({s + "_a_pipe", path, made_a_pipe(), programs, name + ": expected a plain file"});
}

std::vector<Variant> grid_variants() {
    std::vector<Variant> v;
    for (const GridFile& g : kGrids) {
        const std::string path = std::string("arcview/ascii/") + g.name, s = stem(g.name),
                          at = std::string(g.name) + ", line ";
        const unsigned p = g.programs;
        v.push_back({s + "_missing", path, removed(), p, std::string(g.name) + ": expected an existing"});
        v.push_back({s + "_empty", path, edited(emptied()), p, at + "1:"});
        v.push_back({s + "_header_cut", path, edited(keep_lines(3)), p, at + "3:"});
        v.push_back({s + "_values_cut_in_a_row", path, edited(cut_in_line(10, 3, false)), p, at + "10:"});
        v.push_back({s + "_one_row_too_few", path, edited(keep_lines(12)), p, at + "12:"});
        v.push_back({s + "_last_value_missing", path, edited(cut_in_line(13, 6, true)), p, at + "13:"});
        v.push_back({s + "_letter", path, edited(set_token(9, 2, "x7")), p, at + "9:"});
        // A row one value short borrows from the next; a spare row at the end would hide the shift.
        v.push_back({s + "_row_short_and_a_spare_row", path, edited(then(keep_tokens(7, 6), last_line_repeated())), p,
                     at + "7:"});
        v.push_back({s + "_nan", path, edited(set_token(9, 2, "nan")), p, at + "9:"});
        if (g.integer) {
            v.push_back({s + "_decimal_point", path, edited(set_token(9, 2, "1.0")), p, at + "9:"});
            v.push_back({s + "_fraction", path, edited(set_token(9, 2, "1.5")), p, at + "9:"});
            v.push_back({s + "_beyond_32_bits", path, edited(set_token(9, 2, "2147483648")), p, at + "9:"});
        } else {
            v.push_back({s + "_inf", path, edited(set_token(9, 2, "-inf")), p, at + "9:"});
            v.push_back({s + "_infinity", path, edited(set_token(9, 2, "Infinity")), p, at + "9:"});
            v.push_back({s + "_beyond_float", path, edited(set_token(9, 2, "3.5e38")), p, at + "9:"});
        }
    }
    // Values without physical sense at a simulated cell (row 3, column 3 lies in subbasin 1).
    const std::string cell = ", row 3, column 3: expected ";
    for (const char* g : {"fieldcap.asc", "depression.asc", "interc_max.asc", "interc_min.asc", "conductivity.asc"})
        v.push_back({stem(g) + "_negative_at_a_simulated_cell", std::string("arcview/ascii/") + g,
                     edited(set_token(9, 2, "-0.25")), kGridrun, std::string(g) + cell});
    v.push_back(
        {"slope_negative_in_a_subbasin", "arcview/ascii/slope.asc", edited(set_token(9, 2, "-5")), kGridrun,
         "slope.asc, row 3, column 3: expected a slope of 0 or more (percent) at a cell of subbasin 1, found -5"});
    v.push_back({"porosity_above_one", "arcview/ascii/porosity.asc", edited(set_token(9, 2, "1.5")), kGridrun,
                 "porosity.asc" + cell + "a porosity (saturation) of 0 to 1"});
    v.push_back({"wiltingpoint_above_field_capacity", "arcview/ascii/wiltingpoint.asc", edited(set_token(9, 2, "0.3")),
                 kGridrun,
                 "wiltingpoint.asc" + cell + "residual content < wilting point < field capacity <= porosity"});
    v.push_back({"fieldcap_above_porosity", "arcview/ascii/fieldcap.asc", edited(set_token(9, 2, "0.49")), kGridrun,
                 "fieldcap.asc" + cell + "residual content < wilting point < field capacity <= porosity"});
    // Control characters in a token stay out of the message.
    v.push_back({"slope_escape_sequence", "arcview/ascii/slope.asc", edited(set_token(9, 2, "\x1b[2J7")), kGridrun,
                 "slope.asc, line 9:"});
    v.push_back({"watershed_nul_byte", "arcview/ascii/watershed.asc", edited(set_token(9, 2, std::string("1\0", 2))),
                 kBoth, "watershed.asc, line 9:"});
    add_file_level(v, "arcview/ascii/watershed.asc", kBoth);
    add_file_level(v, "arcview/ascii/slope.asc", kGridrun);
    add_file_level(v, "arcview/ascii/thiessen_t.asc", kBoth);

    // The grid size comes from watershed.asc's header.
    const std::string ws = "arcview/ascii/watershed.asc";
    struct Header {
        const char* name;
        int line;
        const char* text;
        const char* where;
    };
    const Header headers[] = {
        {"columns_zero", 1, "0", "watershed.asc, line 1:"},
        {"columns_negative", 1, "-7", "watershed.asc, line 1:"},
        {"columns_fraction", 1, "7.5", "watershed.asc, line 1:"},
        {"columns_word", 1, "seven", "watershed.asc, line 1:"},
        {"columns_beyond_32_bits", 1, "2147483648", "watershed.asc, line 1:"},
        {"columns_a_billion", 1, "1000000000", "watershed.asc: expected room for"},
        {"columns_one_too_many", 1, "8", "watershed.asc, line 7:"},
        {"rows_zero", 2, "0", "watershed.asc, line 2:"},
        {"rows_negative", 2, "-1", "watershed.asc, line 2:"},
        {"rows_a_billion", 2, "1000000000", "watershed.asc: expected room for"},
        {"rows_one_too_many", 2, "8", "watershed.asc, line 13:"},
        {"cell_size_zero", 5, "0", "watershed.asc, line 5:"},
        {"cell_size_negative", 5, "-250", "watershed.asc, line 5:"},
        {"cell_size_fraction", 5, "92.6", "watershed.asc, line 5:"},
        {"cell_size_nan", 5, "NaN", "watershed.asc, line 5:"},
    };
    for (const Header& h : headers)
        v.push_back(
            {std::string("watershed_header_") + h.name, ws, edited(set_token(h.line, 1, h.text)), kBoth, h.where});
    return v;
}

std::vector<Variant> control_file_variants() {
    std::vector<Variant> v;
    const std::string f = "model/input/input.txt", at = "input.txt, line ";
    v.push_back({"control_missing", f, removed(), kBoth, "input.txt: expected an existing"});
    v.push_back({"control_empty", f, edited(emptied()), kBoth, at + "1:"});
    v.push_back({"control_time_step_word", f, edited(set_token(2, 0, "six")), kBoth, at + "2:"});
    v.push_back({"control_time_step_nan", f, edited(set_token(2, 0, "nan")), kBoth, at + "2:"});
    v.push_back({"control_parameter_two_points", f, edited(set_token(4, 0, "1.6.0")), kGridrun, at + "4:"});
    v.push_back({"control_parameter_inf", f, edited(set_token(4, 5, "inf")), kGridrun, at + "4:"});
    v.push_back({"control_degree_day_decimal_point", f, edited(set_token(4, 7, "5.0")), kBoth, at + "4:"});
    v.push_back({"control_degree_day_exponent", f, edited(set_token(4, 7, "5e0")), kBoth, at + "4:"});
    v.push_back({"control_degree_day_word", f, edited(set_token(4, 7, "five")), kBoth, at + "4:"});
    v.push_back({"control_parameter_line_of_seven", f, edited(keep_tokens(4, 7)), kBoth, at + "5:"});
    v.push_back({"control_parameter_line_of_ten", f, edited(keep_tokens(4, 10)), kGridrun, at + "5:"});
    v.push_back({"control_reported_count_decimal_point", f, edited(set_token(5, 1, "3.0")), kGridrun, at + "5:"});
    v.push_back({"control_reported_count_negative", f, edited(set_token(5, 1, "-1")), kGridrun, at + "5:"});
    v.push_back({"control_reported_count_above_subbasins", f, edited(set_token(5, 1, "4")), kGridrun, at + "5:"});
    v.push_back({"control_reported_count_a_billion", f, edited(set_token(5, 1, "1000000000")), kGridrun, at + "5:"});
    v.push_back({"control_reported_letter", f, edited(set_token(6, 1, "x")), kGridrun, at + "6:"});
    v.push_back({"control_reported_list_short", f, edited(keep_tokens(6, 2)), kGridrun, at + "7:"});
    v.push_back({"control_period_count_decimal_point", f, edited(set_token(8, 0, "1.5")), kGridrun, at + "8:"});
    v.push_back({"control_period_count_negative", f, edited(set_token(8, 0, "-2")), kGridrun, at + "8:"});
    v.push_back({"control_period_count_a_billion", f, edited(set_token(8, 0, "1000000000")), kGridrun, at + "21:"});
    v.push_back({"control_period_field_decimal_point", f, edited(set_token(9, 1, "4.5")), kGridrun, at + "9:"});
    v.push_back({"control_period_of_seven_fields", f, edited(keep_tokens(9, 7)), kGridrun, at + "10:"});
    v.push_back({"control_period_of_seven_fields_before_another", f, edited(keep_tokens(12, 7)), kGridrun, at + "12:"});
    v.push_back({"control_cut_inside_interflow_block", f, edited(keep_lines(12)), kGridrun, at + "12:"});
    v.push_back({"control_cut_inside_evaporation_block", f, edited(keep_lines(20)), kGridrun, at + "20:"});
    v.push_back({"control_cut_before_last_block", f, edited(keep_lines(18)), kGridrun, at + "18:"});
    v.push_back({"control_cut_in_parameter_line", f, edited(cut_in_line(4, 5, false)), kBoth, at + "4:"});
    add_file_level(v, f, kBoth);
    return v;
}

std::vector<Variant> series_variants() {
    std::vector<Variant> v;
    const std::string p = "model/input/p.txt", e = "model/input/pet.txt", t = "model/input/t.txt";
    v.push_back({"p_missing", p, removed(), kBoth, "p.txt: expected an existing"});
    v.push_back({"p_empty", p, edited(emptied()), kBoth, "p.txt, line 1:"});
    v.push_back({"p_header_elevation_word", p, edited(set_token(1, 4, "Kassel")), kGridrun, "p.txt, line 1:"});
    v.push_back({"p_year_decimal_point", p, edited(set_token(5, 0, "1900.0")), kBoth, "p.txt, line 5:"});
    v.push_back({"p_month_letter", p, edited(set_token(5, 1, "IV")), kBoth, "p.txt, line 5:"});
    v.push_back(
        {"p_month_thirteen", p, edited(set_token(5, 1, "13")), kBoth, "p.txt, line 5: expected a month from 1 to 12"});
    // Values that make no sense: refused on their line, with the value.
    v.push_back(
        {"p_month_zero", p, edited(set_token(5, 1, "0")), kBoth, "p.txt, line 5: expected a month from 1 to 12"});
    v.push_back({"p_february_thirty_first", p, edited(replace_line(5, "1900 2 31 0 0.0")), kBoth,
                 "p.txt, line 5: expected a day from 1 to 28 (month 2 of 1900) in record 4, found 31"});
    v.push_back({"p_hour_ninety_nine", p, edited(set_token(5, 3, "99")), kBoth,
                 "p.txt, line 5: expected an hour from 0 to 23"});
    v.push_back(
        {"p_hour_negative", p, edited(set_token(5, 3, "-7")), kBoth, "p.txt, line 5: expected an hour from 0 to 23"});
    v.push_back(
        {"p_missing_value_code", p, edited(set_token(12, 4, "-9999")), kBoth,
         "p.txt, line 12: expected a precipitation of 0 or more for station 1 in record 11 (missing values must "
         "be filled in before the run), found \"-9999\""});
    v.push_back({"pet_negative", e, edited(set_token(6, 4, "-50")), kBoth,
                 "pet.txt, line 6: expected a potential evapotranspiration of 0 or more"});
    v.push_back({"t_beyond_sixty_degrees", t, edited(set_token(3, 5, "1e38")), kBoth,
                 "t.txt, line 3: expected a temperature from -90 to 60 degrees for station 2 in record 2"});
    v.push_back({"t_below_minus_ninety", t, edited(set_token(3, 4, "-99.5")), kBoth, "t.txt, line 3:"});
    v.push_back({"p_value_nan", p, edited(set_token(12, 4, "nan")), kBoth, "p.txt, line 12:"});
    v.push_back({"p_value_inf", p, edited(set_token(12, 4, "inf")), kBoth, "p.txt, line 12:"});
    v.push_back({"p_value_negative_infinity", p, edited(set_token(12, 4, "-Infinity")), kBoth, "p.txt, line 12:"});
    v.push_back({"p_value_beyond_float", p, edited(set_token(12, 4, "1e39")), kBoth, "p.txt, line 12:"});
    v.push_back({"p_value_hexadecimal", p, edited(set_token(12, 4, "0x1p3")), kBoth, "p.txt, line 12:"});
    v.push_back({"p_value_with_semicolon", p, edited(set_token(12, 4, "7;7")), kBoth, "p.txt, line 12:"});
    v.push_back({"p_last_line_without_value", p, edited(cut_in_line(26, 4, true)), kBoth, "p.txt, line 26:"});
    v.push_back({"p_last_line_cut_in_date", p, edited(cut_in_line(26, 2, false)), kBoth, "p.txt, line 26:"});
    v.push_back({"p_nul_byte", p, edited(set_token(12, 4, std::string("7\0", 2))), kBoth, "p.txt, line 12:"});
    add_file_level(v, p, kBoth);

    v.push_back({"pet_missing", e, removed(), kBoth, "pet.txt: expected an existing"});
    v.push_back({"pet_empty", e, edited(emptied()), kBoth, "pet.txt"});
    v.push_back({"pet_header_elevation_word", e, edited(set_token(1, 4, "high")), kGridrun, "pet.txt, line 1:"});
    v.push_back({"pet_fewer_records_than_p", e, edited(drop_last_lines(3)), kBoth, "pet.txt, line 23:"});
    v.push_back({"pet_value_letter", e, edited(set_token(10, 4, "l.29")), kBoth, "pet.txt, line 10:"});
    v.push_back({"pet_value_nan", e, edited(set_token(10, 4, "NAN")), kBoth, "pet.txt, line 10:"});
    v.push_back(
        {"pet_record_missing_a_field", e, edited(replace_line(3, "1900 4 10 0.00")), kBoth, "pet.txt, line 3:"});
    add_file_level(v, e, kBoth);

    v.push_back({"t_missing", t, removed(), kBoth, "t.txt: expected an existing"});
    v.push_back({"t_empty", t, edited(emptied()), kBoth, "t.txt"});
    v.push_back({"t_fewer_records_than_p", t, edited(drop_last_lines(1)), kBoth, "t.txt, line 25:"});
    v.push_back({"t_value_inf", t, edited(set_token(7, 5, "+inf")), kBoth, "t.txt, line 7:"});
    v.push_back({"t_last_value_missing", t, edited(cut_in_line(26, 5, true)), kBoth, "t.txt, line 26:"});
    v.push_back({"t_header_elevation_nan", t, edited(set_token(1, 5, "nan")), kGridrun, "t.txt, line 1:"});

    // A station number beyond the columns of its series, at a basin cell:
    // every record then takes values from the next line and the file ends
    // before the last record.
    v.push_back({"station_p_beyond_columns", "arcview/ascii/thiessen_p.asc", edited(set_token(9, 0, "2")), kBoth,
                 "p.txt, line "});
    v.push_back({"station_e_beyond_columns", "arcview/ascii/thiessen_e.asc", edited(set_token(9, 0, "7")), kBoth,
                 "pet.txt, line "});
    v.push_back({"station_t_beyond_columns", "arcview/ascii/thiessen_t.asc", edited(set_token(9, 0, "3")), kBoth,
                 "t.txt, line "});
    // A station number far beyond anything the series could hold.
    v.push_back({"station_p_two_billion", "arcview/ascii/thiessen_p.asc", edited(set_token(13, 0, "2000000000")),
                 kGridrun, "p.txt"});
    // Station 0 at a simulated cell.
    v.push_back({"station_e_zero_at_basin_cell", "arcview/ascii/thiessen_e.asc", edited(set_token(9, 0, "0")), kGridrun,
                 "thiessen_e.asc, row 3, column 1"});
    return v;
}

std::vector<Variant> response_variants() {
    std::vector<Variant> v;
    const std::string h = "model/output/uh_cell_h.txt", s = "model/output/uh_cell_s.txt",
                      r = "model/output/uh_river.txt";
    v.push_back({"uh_cell_h_missing", h, removed(), kGridrun, "uh_cell_h.txt: expected an existing"});
    v.push_back({"uh_cell_h_empty", h, edited(emptied()), kGridrun, "uh_cell_h.txt"});
    v.push_back({"uh_cell_h_fewer_lines_than_cells", h, edited(drop_last_lines(1)), kGridrun, "uh_cell_h.txt"});
    v.push_back({"uh_cell_h_first_lag_letter_mode_1", h, edited(set_token(1, 0, "x")), kGridrun,
                 "uh_cell_h.txt, line 1:", "1\n"});
    v.push_back({"uh_cell_h_ordinate_nan_mode_1", h, edited(set_token(4, 4, "nan")), kGridrun,
                 "uh_cell_h.txt, line 4:", "1\n"});
    v.push_back({"uh_cell_h_last_line_cut_mode_1", h, edited(cut_in_line(24, 3, false)), kGridrun,
                 "uh_cell_h.txt, line 24:", "1\n"});
    v.push_back({"uh_cell_s_missing", s, removed(), kGridrun, "uh_cell_s.txt: expected an existing"});
    v.push_back({"uh_cell_s_empty", s, edited(emptied()), kGridrun, "uh_cell_s.txt, line 1:"});
    v.push_back(
        {"uh_cell_s_fewer_lines_than_cells", s, edited(drop_last_lines(1)), kGridrun, "uh_cell_s.txt, line 23:"});
    v.push_back(
        {"uh_cell_s_last_lag_beyond_uh_length", s, edited(set_token(1, 1, "9")), kGridrun, "uh_cell_s.txt, line 1:"});
    v.push_back({"uh_cell_s_first_lag_negative", s, edited(set_token(1, 0, "-1")), kGridrun, "uh_cell_s.txt, line 1:"});
    v.push_back({"uh_cell_s_lag_decimal_point", s, edited(set_token(2, 1, "0.0")), kGridrun, "uh_cell_s.txt, line 2:"});
    v.push_back(
        {"uh_cell_s_lag_beyond_32_bits", s, edited(set_token(2, 1, "4294967296")), kGridrun, "uh_cell_s.txt, line 2:"});
    v.push_back({"uh_cell_s_ordinate_nan", s, edited(set_token(3, 2, "nan")), kGridrun, "uh_cell_s.txt, line 3:"});
    v.push_back(
        {"uh_cell_s_line_short_of_ordinates", s, edited(keep_tokens(1, 4)), kGridrun, "uh_cell_s.txt, line 1:"});
    v.push_back({"uh_cell_s_line_short_and_a_spare_line", s, edited(then(keep_tokens(1, 4), last_line_repeated())),
                 kGridrun, "uh_cell_s.txt, line 1:"});
    v.push_back({"uh_river_line_short_and_a_spare_line", r, edited(then(keep_tokens(3, 3), last_line_repeated())),
                 kGridrun, "uh_river.txt, line 3:"});
    v.push_back({"uh_river_missing", r, removed(), kGridrun, "uh_river.txt: expected an existing"});
    v.push_back({"uh_river_empty", r, edited(emptied()), kGridrun, "uh_river.txt, line 1:"});
    v.push_back({"uh_river_fewer_lines_than_subbasins", r, edited(keep_lines(2)), kGridrun, "uh_river.txt, line 2:"});
    v.push_back(
        {"uh_river_last_lag_beyond_uh_length", r, edited(set_token(1, 1, "8")), kGridrun, "uh_river.txt, line 1:"});
    v.push_back({"uh_river_ordinate_letter", r, edited(set_token(3, 3, "O.4")), kGridrun, "uh_river.txt, line 3:"});
    add_file_level(v, r, kGridrun);
    return v;
}

std::vector<Variant> menu_variants() {
    // The run mode typed at the menu; the file is untouched.
    const Damage none = [](const fs::path&) {};
    const std::string f = "model/input/input.txt", at = "standard input, line ";
    return {
        {"menu_letter", f, none, kGridrun, at + "1:", "x\n"},
        {"menu_decimal_point", f, none, kGridrun, at + "1:", "2.0\n"},
        {"menu_beyond_32_bits", f, none, kGridrun, at + "1:", "99999999999\n"},
        {"menu_after_blank_lines", f, none, kGridrun, at + "3:", "\n  \n2x\n"},
        {"menu_nothing", f, none, kGridrun, "standard input", ""},
    };
}

std::vector<Variant> all_variants() {
    std::vector<Variant> v;
    for (auto part :
         {grid_variants(), control_file_variants(), series_variants(), response_variants(), menu_variants()})
        v.insert(v.end(), part.begin(), part.end());
    return v;
}

class Refused : public ::testing::TestWithParam<Variant> {};

TEST_P(Refused, WithOneMessageAndTheEarlierResultsKept) {
    const Variant& v = GetParam();
    TempDir tmp("hostile");
    const fs::path root = copy_with_earlier_results(tmp.path());
    v.damage(root / v.file);
    const fs::path output = root / "model" / "output";
    age_files(output);
    const FolderState before = state_of(output);
    const fs::path here = run_dir(root);
    if (v.programs & kGridrun) expect_one_clear_message("gridrun", run_program(GRIDRUN_EXE, {}, here, v.menu), v.where);
    if (v.programs & kAreamean) expect_one_clear_message("areamean", run_program(AREAMEAN_EXE, {}, here), v.where);
    const FolderState after = state_of(output);
    EXPECT_EQ(after.contents, before.contents) << "the output folder changed";
    for (const auto& [name, rewritten] : after.rewritten) EXPECT_FALSE(rewritten) << name << " was rewritten";
}

INSTANTIATE_TEST_SUITE_P(Hostile, Refused, ::testing::ValuesIn(all_variants()),
                         [](const ::testing::TestParamInfo<Variant>& param_info) { return param_info.param.name; });

TEST(HostileVariants, CoverEveryInputFileOfBothPrograms) {
    std::map<std::string, unsigned> seen;
    for (const Variant& v : all_variants()) seen[fs::path(v.file).filename().string()] |= v.programs;
    for (const GridFile& g : kGrids) EXPECT_EQ(seen[g.name], g.programs) << g.name;
    for (const char* f : {"input.txt", "p.txt", "pet.txt", "t.txt"}) EXPECT_EQ(seen[f], unsigned(kBoth)) << f;
    for (const std::string& f : kResponseFiles) EXPECT_EQ(seen[f], unsigned(kGridrun)) << f;
    EXPECT_GE(all_variants().size(), 40u);
}

// ---------------------------------------------------------------------------
// Accepted quirks: the same results, byte for byte, as the clean project.

struct Quirk {
    std::string name;
    std::function<std::string(const std::string&)> apply;
};

std::string with_crlf(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string with_trailing_blanks(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n') out += " \t  ";
        out += c;
    }
    return out;
}

const std::vector<Quirk>& quirks() {
    static const std::vector<Quirk> q = {
        {"ByteOrderMark", [](const std::string& s) { return "\xEF\xBB\xBF" + s; }},
        {"CrLf", with_crlf},
        {"TrailingBlanksAndTabs", with_trailing_blanks},
        {"BlankLinesAtTheEnd", [](const std::string& s) { return s + "\n\n   \n\t\n\n"; }},
        {"NoLineEndAtTheEnd",
         [](const std::string& s) { return !s.empty() && s.back() == '\n' ? s.substr(0, s.size() - 1) : s; }},
        {"AllTogether",
         [](const std::string& s) { return "\xEF\xBB\xBF" + with_crlf(with_trailing_blanks(s)) + "\r\n \r\n\r\n"; }},
    };
    return q;
}

class AcceptedQuirk : public ::testing::TestWithParam<Quirk> {};

TEST_P(AcceptedQuirk, ReadsLikeTheCleanProject) {
    const Quirk& q = GetParam();
    TempDir clean_dir("clean"), quirky_dir("quirk");
    const fs::path clean = copy_of_valid_project(clean_dir.path()), root = copy_of_valid_project(quirky_dir.path());
    std::vector<fs::path> inputs;
    for (const char* dir : {"arcview/ascii", "model/input", "model/output"})
        for (const std::string& name : file_names(root / dir)) inputs.push_back(root / dir / name);
    ASSERT_EQ(inputs.size(), 25u);
    for (const fs::path& p : inputs) write_file(p, q.apply(read_file(p)));

    const RunResult clean_model = run_program(GRIDRUN_EXE, {}, run_dir(clean), menu_answer());
    ASSERT_EQ(clean_model.exit_code, 0) << clean_model.err;
    ASSERT_EQ(run_program(AREAMEAN_EXE, {}, run_dir(clean)).exit_code, 0);

    const RunResult g = run_program(GRIDRUN_EXE, {}, run_dir(root), q.apply(menu_answer()));
    ASSERT_EQ(g.exit_code, 0) << g.err;
    EXPECT_EQ(g.err, "");
    EXPECT_EQ(g.out, clean_model.out);
    const RunResult a = run_program(AREAMEAN_EXE, {}, run_dir(root));
    ASSERT_EQ(a.exit_code, 0) << a.err;
    EXPECT_EQ(a.err, "");
    const auto expected = results_in(clean / "model" / "output");
    const auto got = results_in(root / "model" / "output");
    ASSERT_EQ(expected.size(), 11u);
    for (const auto& [name, contents] : expected) {
        ASSERT_TRUE(got.count(name)) << name;
        EXPECT_EQ(got.at(name), contents) << name;
    }
    EXPECT_EQ(got.size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(Hostile, AcceptedQuirk, ::testing::ValuesIn(quirks()),
                         [](const ::testing::TestParamInfo<Quirk>& param_info) { return param_info.param.name; });

// ---------------------------------------------------------------------------
// A result file that cannot be created or written completely is an error.

struct WriteFailure {
    std::string name;
    unsigned program;  // the program that writes the file
    std::string file;  // in model/output
    std::function<void(const fs::path& output)> prepare;
    long long file_size_limit = -1;         // bytes (ulimit -f), -1: none
    std::vector<std::string> options = {};  // of gridrun, after --mode 2
};

std::vector<WriteFailure> write_failures() {
    auto a_folder = [](std::string name) {
        return [name](const fs::path& out) {
            fs::remove(out / name);
            fs::create_directories(out / name);
        };
    };
    return {
        {"SubbasinSeriesOverTheFileSizeLimit", kAreamean, "Subbasin_P.txt completely: File too large",
         [](const fs::path&) {}, 1000},
        {"ResultsOverTheFileSizeLimit", kGridrun, ".txt completely: File too large", [](const fs::path&) {}, 1000},
        {"QTotIsAFolder", kGridrun, "q_tot.txt", a_folder("q_tot.txt")},
        {"MapIsAFolder", kGridrun, "runoff0001.asc", a_folder("runoff0001.asc")},
        {"SubbasinSeriesIsAFolder", kAreamean, "Subbasin_T.txt", a_folder("Subbasin_T.txt")},
        {"NoOutputFolder", kAreamean, "Subbasin_P.txt", [](const fs::path& out) { fs::remove_all(out); }},
#ifdef HYDRO_HAVE_NETCDF
        // The NetCDF library fails inside its own writes: one line, no crash.
        {"NetcdfOverTheFileSizeLimit",
         kGridrun,
         "run.nc (definitions): File too large",
         [](const fs::path&) {},
         16000,
         {"--netcdf", "../../run.nc"}},
        {"NetcdfOpenWhenTheTextResultsFail",
         kGridrun,
         "File too large",
         [](const fs::path&) {},
         1000,
         {"--netcdf", "../../run.nc"}},
        {"NetcdfCompleteWhenAResultIsAFolder",
         kGridrun,
         "q_tot.txt",
         a_folder("q_tot.txt"),
         -1,
         {"--netcdf", "../../run.nc", "--quiet"}},
#endif
    };
}

// gridrun writes its results beside their places and renames them over the
// earlier results: a link at a result's place (to a full disk, into a missing
// folder) is replaced by the result, never written through.
std::vector<WriteFailure> replaced_links() {
    auto to = [](std::string name, std::string target) {
        return [name, target](const fs::path& out) {
            fs::remove(out / name);
            fs::create_symlink(target, out / name);
        };
    };
    return {
        {"QTotOnAFullDisk", kGridrun, "q_tot.txt", to("q_tot.txt", "/dev/full")},
        {"BalanceOnAFullDisk", kGridrun, "balance.txt", to("balance.txt", "/dev/full")},
        {"QSubOnAFullDisk", kGridrun, "q_sub.txt", to("q_sub.txt", "/dev/full")},
        {"MapOnAFullDisk", kGridrun, "evaporation0001.asc", to("evaporation0001.asc", "/dev/full")},
        {"BalanceInAMissingFolder", kGridrun, "balance.txt", to("balance.txt", "no/such/folder/balance.txt")},
    };
}

class WriteFailureIsAnError : public ::testing::TestWithParam<WriteFailure> {};

TEST_P(WriteFailureIsAnError, EndsTheRunWithAMessage) {
    const WriteFailure& w = GetParam();
    TempDir tmp("write");
    const fs::path root = copy_with_earlier_results(tmp.path());
    w.prepare(root / "model" / "output");
    const fs::path here = run_dir(root);
    const bool gridrun = w.program == kGridrun;
    std::vector<std::string> gridrun_options = {"--mode", "2"};
    gridrun_options.insert(gridrun_options.end(), w.options.begin(), w.options.end());
    const auto earlier = results_in(root / "model" / "output");
    const RunResult r = w.file_size_limit >= 0
                            ? run_program_with_file_size_limit(gridrun ? GRIDRUN_EXE : AREAMEAN_EXE,
                                                               gridrun ? gridrun_options : std::vector<std::string>{},
                                                               here, w.file_size_limit)
                        : gridrun && !w.options.empty() ? run_program(GRIDRUN_EXE, gridrun_options, here)
                        : gridrun                       ? run_program(GRIDRUN_EXE, {}, here, menu_answer())
                                                        : run_program(AREAMEAN_EXE, {}, here);
    expect_one_clear_message(gridrun ? "gridrun" : "areamean", r, w.file);
    if (!w.options.empty()) {
        EXPECT_EQ(results_in(root / "model" / "output"), earlier);
        EXPECT_FALSE(fs::exists(root / "run.nc"));
        for (const std::string& name : file_names(root)) EXPECT_EQ(name.find(".tmp."), std::string::npos) << name;
    }
}

// One run at a time: while another run holds the project's output folder,
// a run with --no-wait is refused and one without waits, saying so.
TEST(OneRunAtATime, ASecondRunWaitsOrRefuses) {
    TempDir tmp("lock");
    const fs::path root = copy_with_earlier_results(tmp.path());
    const fs::path here = run_dir(root);
    const auto earlier = results_in(root / "model" / "output");
    std::optional<hydro::OutputFolderLock> other;
    other.emplace((root / "model" / "output").string(), false, "test");
    expect_one_clear_message("gridrun", run_program(GRIDRUN_EXE, {"--mode", "2", "--no-wait"}, here),
                             "another run (gridrun or areamean) is writing to ../../model/output");
    expect_one_clear_message("areamean", run_program(AREAMEAN_EXE, {"--no-wait"}, here), "another run");
    EXPECT_EQ(results_in(root / "model" / "output"), earlier);
    RunResult waited;
    std::thread second([&] { waited = run_program(GRIDRUN_EXE, {"--mode", "2", "--quiet"}, here); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(waited.exit_code, -1) << "the second run did not wait";
    other.reset();
    second.join();
    EXPECT_EQ(waited.exit_code, 0) << waited.err;
    EXPECT_EQ(waited.err, "gridrun: waiting for another run (gridrun or areamean) to finish with ../../model/output\n");
}

// A project path with a line end and an escape sequence stays one printable line.
TEST(HostileCommandLine, AProjectPathWithControlCharactersIsShownEscaped) {
    TempDir tmp("odd-path");
    const std::string odd = (tmp.path() / "a\nb\x1b[2J").string();
    expect_one_clear_message("gridrun", run_program(GRIDRUN_EXE, {"--project", odd, "--mode", "1"}, tmp.path()),
                             "a\\x0Ab\\x1B[2J: no such folder");
    expect_one_clear_message("areamean", run_program(AREAMEAN_EXE, {"--project", odd}, tmp.path()), "a\\x0Ab\\x1B[2J");
}

// A grid rewritten between the first pass that sizes the run and the pass
// that loads it (gridprep writing the project meanwhile) is refused, never
// read past the sizes of the first pass.
TEST(ChangedDuringTheRun, ALargerSubbasinNumberAfterTheCountIsRefused) {
    TempDir tmp("race");
    const fs::path root = copy_of_valid_project(tmp.path());
    hydro::ProjectPaths paths;
    paths.root = root.string();
    hydro::AreaMeanSizes sizes;
    const hydro::GridGeometry geometry = hydro::read_grid_geometry(paths.grid("watershed.asc"));
    sizes.n_rows = geometry.n_rows;
    sizes.n_cols = geometry.n_cols;
    hydro::count_subbasins_and_stations(paths, sizes);
    const fs::path ws = root / "arcview" / "ascii" / "watershed.asc";
    write_file(ws, set_token(9, 2, "40")(read_file(ws)));
    try {
        hydro::thiessen_means(paths, sizes);
        ADD_FAILURE() << "accepted";
    } catch (const hydro::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("watershed.asc, row 3, column 3: expected a subbasin number of at most 3"),
                  std::string::npos)
            << e.what();
    }
}

TEST(ChangedDuringTheRun, GridrunRefusesAGridOrControlFileChangedSinceTheScan) {
    struct Change {
        const char* file;
        Edit edit;
        const char* message;
    };
    const std::vector<Change> changes = {
        {"arcview/ascii/watershed.asc", set_token(9, 2, "40"),
         "watershed.asc, row 3, column 3: expected a subbasin number of at most 3"},
        {"model/input/input.txt", set_token(4, 7, "-1"), "input.txt: expected the degree-day factor"},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.file);
        TempDir tmp("race");
        const fs::path root = copy_of_valid_project(tmp.path());
        hydro::ProjectPaths paths;
        paths.root = root.string();
        hydro::RunSizes sizes;
        const hydro::GridGeometry geometry = hydro::read_grid_geometry(paths.grid("watershed.asc"));
        sizes.n_rows = geometry.n_rows;
        sizes.n_cols = geometry.n_cols;
        sizes.cell_size = geometry.cell_size;
        sizes.run_mode = 2;
        hydro::scan_dimensions(paths, sizes);
        write_file(root / c.file, c.edit(read_file(root / c.file)));
        try {
            hydro::load_model_inputs(paths, sizes);
            ADD_FAILURE() << "accepted";
        } catch (const hydro::InputError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// A symbolic link at a result path is replaced by the result; the file it
// pointed to is never written.
TEST(ResultPaths, ALinkIsReplacedAndItsTargetKept) {
    TempDir tmp("links");
    const fs::path root = copy_with_earlier_results(tmp.path());
    const fs::path out = root / "model" / "output", target = tmp.path() / "target.txt";
    write_file(target, "not a result\n");
    for (const char* name : {"Subbasin_P.txt", "Subbasin_E.txt", "Subbasin_T.txt"}) {
        fs::remove(out / name);
        fs::create_symlink(target, out / name);
    }
    const RunResult a = run_program(AREAMEAN_EXE, {}, run_dir(root));
    ASSERT_EQ(a.exit_code, 0) << a.err;
    EXPECT_EQ(read_file(target), "not a result\n");
    for (const char* name : {"Subbasin_P.txt", "Subbasin_E.txt", "Subbasin_T.txt"}) {
        EXPECT_FALSE(fs::is_symlink(out / name)) << name;
        EXPECT_EQ(read_file(out / name), read_file(kCase / "expected" / name)) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Hostile, WriteFailureIsAnError, ::testing::ValuesIn(write_failures()),
                         [](const ::testing::TestParamInfo<WriteFailure>& param_info) {
                             return param_info.param.name;
                         });

class ResultBehindALink : public ::testing::TestWithParam<WriteFailure> {};

TEST_P(ResultBehindALink, IsReplacedNotWrittenThrough) {
    const WriteFailure& w = GetParam();
    TempDir tmp("link");
    const fs::path root = copy_with_earlier_results(tmp.path());
    w.prepare(root / "model" / "output");
    const RunResult r = run_program(GRIDRUN_EXE, {}, run_dir(root), menu_answer());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const fs::path result = root / "model" / "output" / w.file;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(result)));
    EXPECT_FALSE(read_file(result).empty());
    EXPECT_FALSE(fs::exists(root / "model" / "output" / "no"));
}

INSTANTIATE_TEST_SUITE_P(Hostile, ResultBehindALink, ::testing::ValuesIn(replaced_links()),
                         [](const ::testing::TestParamInfo<WriteFailure>& param_info) {
                             return param_info.param.name;
                         });

TEST(WriteFailureIsAnError, ReadOnlyOutputFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "folder permissions do not bind the superuser";
    TempDir tmp("readonly");
    const fs::path root = copy_with_earlier_results(tmp.path());
    const fs::path output = root / "model" / "output";
    fs::permissions(output, fs::perms::owner_read | fs::perms::owner_exec);
    const fs::path here = run_dir(root);
    expect_one_clear_message("gridrun", run_program(GRIDRUN_EXE, {}, here, menu_answer()), "output/");
    expect_one_clear_message("areamean", run_program(AREAMEAN_EXE, {}, here), "output/Subbasin_P.txt");
    fs::permissions(output, fs::perms::owner_all);
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Damage that only the programs can judge: sizes taken from the data, lags
// near the integer limit, and dates that no calendar has.

TEST(HostileModelInput, ResponseLagNearTheIntegerLimitRunsWithoutArrivals) {
    // A lag of 2147483646 steps is within uh_length (the largest lag of the
    // file itself); the flow of that cell simply never arrives in the run.
    TempDir tmp("lag");
    const fs::path root = copy_of_valid_project(tmp.path());
    for (const char* f : {"uh_cell_h.txt", "uh_cell_s.txt"})
        write_file(root / "model" / "output" / f,
                   replace_line(1, "2147483646 2147483646 1.0")(read_file(root / "model" / "output" / f)));
    const RunResult r = run_program(GRIDRUN_EXE, {}, run_dir(root), menu_answer());
    EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(HostileModelInput, DayOfTheMonthNearTheIntegerLimitIsRefused) {
    TempDir tmp("day");
    const fs::path root = copy_with_earlier_results(tmp.path());
    const fs::path p = root / "model" / "input" / "p.txt";
    write_file(p, replace_line(5, "1900 1 -2147483648 6 0.0")(read_file(p)));
    expect_one_clear_message("gridrun", run_program(GRIDRUN_EXE, {}, run_dir(root), menu_answer()), "p.txt, line 5:");
}

TEST(HostileModelInput, SubbasinNumberOfTwoBillionIsRefusedBeforeAllocating) {
    TempDir tmp("subbasin");
    const fs::path root = copy_with_earlier_results(tmp.path());
    const fs::path ws = root / "arcview" / "ascii" / "watershed.asc";
    write_file(ws, set_token(9, 0, "2000000000")(read_file(ws)));
    const fs::path here = run_dir(root);
    expect_one_clear_message("gridrun", run_program(GRIDRUN_EXE, {}, here, menu_answer()), "watershed.asc");
    expect_one_clear_message("areamean", run_program(AREAMEAN_EXE, {}, here), "watershed.asc");
}

TEST(HostileModelInput, StationNumberOfTwoBillionAtABasinCellIsRefusedBeforeAllocating) {
    TempDir tmp("station");
    const fs::path root = copy_with_earlier_results(tmp.path());
    const fs::path zone = root / "arcview" / "ascii" / "thiessen_p.asc";
    write_file(zone, set_token(9, 0, "2000000000")(read_file(zone)));
    expect_one_clear_message("areamean", run_program(AREAMEAN_EXE, {}, run_dir(root)), "p.txt");
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// The shared readers on their own.

// A count in the control file is taken at its word only as far as the file
// goes: two billion periods or reported subbasins end where the file stops
// holding them (a message), not in an allocation of gigabytes.
TEST(HostileReaders, ControlFileCountsBeyondTheFileEndAtItsEnd) {
    TempDir tmp("counts");
    const std::string valid = read_file(kCase / "project" / "model" / "input" / "input.txt");
    const std::string path = (tmp.path() / "input.txt").string();
    struct Case {
        Edit edit;
        std::string where;
    };
    const Case cases[] = {
        {set_token(8, 0, "2000000000"), "input.txt, line 10:"},   // period 2 meets the next title
        {set_token(20, 0, "2000000000"), "input.txt, line 21:"},  // period 2 meets the end
        {set_token(5, 1, "2000000000"), "input.txt, line 7:"},    // subbasin 4 meets a title
    };
    for (const Case& c : cases) {
        write_file(path, c.edit(valid));
        try {
            hydro::read_control_file(path, std::numeric_limits<int32_t>::max());
            ADD_FAILURE() << "accepted";
        } catch (const hydro::InputError& e) {
            EXPECT_NE(std::string(e.what()).find(c.where), std::string::npos) << e.what();
        }
    }
}

// A damaged date near the 32-bit limit gives a day of the year that wraps
// like 32-bit arithmetic (as the date code does), never an overflow.
TEST(HostileReaders, DayOfYearOfADayNearTheIntegerLimit) {
    const int32_t max = std::numeric_limits<int32_t>::max(), min = std::numeric_limits<int32_t>::min();
    EXPECT_EQ(hydro::day_of_year(2000, 3, max), min + 59);
    EXPECT_EQ(hydro::day_of_year(2000, 12, max), min + 334);
    EXPECT_EQ(hydro::day_of_year(2000, 3, min), min + 60);
    EXPECT_EQ(hydro::day_of_year(2000, 1, max), max);
    EXPECT_EQ(hydro::day_of_year(2000, 3, 15), 75);
}

}  // namespace
