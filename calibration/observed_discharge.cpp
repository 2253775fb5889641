#include "observed_discharge.hpp"

#include <charconv>
#include <cstdio>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

#include "calendar.hpp"
#include "csv_fields.hpp"
#include "free_format.hpp"
#include "input_error.hpp"

namespace hydro {

namespace {

bool digits(std::string_view s, std::size_t from, std::size_t count, int32_t& value) {
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

int32_t month_days(int32_t year, int32_t month) {
    static const int32_t len[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : len[month - 1];
}

// YYYY-MM-DD, YYYY-MM-DD HH:MM or YYYY-MM-DDTHH:MM; false for anything else,
// impossible dates and hours included.
bool parse_date(std::string_view s, int64_t& key) {
    int32_t y, m, d, h = 0, minute = 0;
    if (s.size() != 10 && s.size() != 16) return false;
    if (!digits(s, 0, 4, y) || s[4] != '-' || !digits(s, 5, 2, m) || s[7] != '-' || !digits(s, 8, 2, d)) return false;
    if (s.size() == 16) {
        if ((s[10] != ' ' && s[10] != 'T') || !digits(s, 11, 2, h) || s[13] != ':' || !digits(s, 14, 2, minute))
            return false;
    }
    if (m < 1 || m > 12 || d < 1 || d > month_days(y, m) || h > 23 || minute != 0) return false;
    key = step_key(y, m, d, h);
    return true;
}

bool is_missing_mark(std::string_view s) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    auto same = [&](std::string_view word) {
        if (s.size() != word.size()) return false;
        for (std::size_t i = 0; i < s.size(); ++i)
            if (lower(s[i]) != word[i]) return false;
        return true;
    };
    return s.empty() || same("na") || same("nan");
}

std::string quoted(std::string_view s) { return s.empty() ? std::string("an empty field") : quote_token(s); }

}  // namespace

ObservedDischarge parse_observed_discharge(const std::string& name, std::string_view text) {
    ObservedDischarge out;
    out.path = name;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int line_no = 0;
    bool header_seen = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = trim_field(text.substr(pos, end - pos));
        pos = end + 1;
        ++line_no;
        if (line.empty()) continue;
        const std::size_t comma = line.find(',');
        const std::string_view first = trim_field(line.substr(0, comma));
        if (!header_seen) {
            int64_t key;
            if (parse_date(first, key))
                throw InputError(name, line_no, "a header line naming the columns (date,discharge)", quote_token(line));
            if (comma == std::string_view::npos || line.find(',', comma + 1) != std::string_view::npos)
                throw InputError(name, line_no, "a header line of two columns (date,discharge)", quote_token(line));
            header_seen = true;
            continue;
        }
        if (comma == std::string_view::npos)
            throw InputError(name, line_no, "a record date,discharge", quote_token(line));
        const std::string_view second = trim_field(line.substr(comma + 1));
        if (second.find(',') != std::string_view::npos)
            throw InputError(name, line_no, "two fields (date,discharge)", quote_token(line));
        ObservedRecord r;
        r.line = line_no;
        if (!parse_date(first, r.key))
            throw InputError(name, line_no, "a date YYYY-MM-DD, YYYY-MM-DD HH:MM or YYYY-MM-DDTHH:MM (whole hours)",
                             quoted(first));
        if (!out.records.empty() && r.key <= out.records.back().key)
            throw InputError(name, line_no,
                             "a date after the one on line " + std::to_string(out.records.back().line) +
                                 " (records in increasing order of date and hour, each once)",
                             quote_token(first));
        if (is_missing_mark(second)) {
            r.discharge = std::numeric_limits<double>::quiet_NaN();
        } else if (!parse_decimal(second, r.discharge)) {
            throw InputError(name, line_no, "a discharge in m3/s (or empty, NA or NaN when missing)", quoted(second));
        } else if (r.discharge < 0) {
            r.discharge = std::numeric_limits<double>::quiet_NaN();
        }
        out.records.push_back(r);
    }
    if (!header_seen) throw InputError(name, 0, "a header line (date,discharge) and records", "an empty file");
    return out;
}

ObservedDischarge read_observed_discharge(const std::string& path) {
    return parse_observed_discharge(path, read_plain_file(path));
}

MatchedObservations match_observations(const ObservedDischarge& observed, std::span<const int64_t> step_keys) {
    MatchedObservations m;
    const auto& recs = observed.records;
    for (std::size_t s = 0; s < step_keys.size(); ++s) {
        // Records are sorted: a binary search per step keeps any step order.
        std::size_t lo = 0, hi = recs.size();
        while (lo < hi) {
            std::size_t mid = lo + (hi - lo) / 2;
            if (recs[mid].key < step_keys[s])
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo < recs.size() && recs[lo].key == step_keys[s] && !std::isnan(recs[lo].discharge)) {
            m.steps.push_back(s);
            m.discharge.push_back(recs[lo].discharge);
        }
    }
    if (m.steps.empty()) {
        std::string found = "none of its " + std::to_string(recs.size()) + " records";
        if (!recs.empty()) {
            auto show = [](int64_t k) {
                char b[40];
                std::snprintf(b, sizeof b, "%04lld-%02lld-%02lld %02lld:00", static_cast<long long>(k / 1000000),
                              static_cast<long long>(k / 10000 % 100), static_cast<long long>(k / 100 % 100),
                              static_cast<long long>(k % 100));
                return std::string(b);
            };
            found += " (" + show(recs.front().key) + " to " + show(recs.back().key) + ")";
            if (!step_keys.empty())
                found += "; the run has " + show(step_keys.front()) + " to " + show(step_keys.back());
        }
        throw InputError(observed.path, 0, "an observed discharge on a date and hour of the run's steps", found);
    }
    return m;
}

}  // namespace hydro
