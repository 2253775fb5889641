#include "series_check.hpp"

#include <cmath>
#include <cstdio>

#include "calendar.hpp"
#include "csv_lines.hpp"
#include "free_format.hpp"
#include "input_error.hpp"

namespace gridprep {

namespace {

using hydro::InputError;

int32_t days_in_month(int32_t year, int32_t month) {
    static const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && hydro::is_leap_year(year) ? 29 : days[month - 1];
}

std::string value_text(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

std::string hours_text(int64_t h) {
    if (h % 24 == 0 && h >= 48) return std::to_string(h / 24) + " days";
    return std::to_string(h) + (h == 1 ? " hour" : " hours");
}

// The record's date is a real one.
void check_date(const std::string& path, int line, const DateHour& d) {
    auto refuse = [&](const std::string& expected, int32_t found) {
        throw InputError(path, line, expected, std::to_string(found));
    };
    if (d.year < 1 || d.year > 2147) refuse("a year from 1 to 2147", d.year);
    if (d.month < 1 || d.month > 12) refuse("a month from 1 to 12", d.month);
    const int32_t last_day = days_in_month(d.year, d.month);
    if (d.day < 1 || d.day > last_day)
        refuse("a day from 1 to " + std::to_string(last_day) + " (month " + std::to_string(d.month) + " of " +
                   std::to_string(d.year) + ")",
               d.day);
    if (d.hour < 0 || d.hour > 23) refuse("an hour from 0 to 23", d.hour);
}

}  // namespace

int64_t hours_since_epoch(const DateHour& d) {
    // Days before the year, then before the month, then the day.
    const int64_t y = d.year - 1;
    int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int32_t m = 1; m < d.month; ++m) days += days_in_month(d.year, m);
    days += d.day - 1;
    return days * 24 + d.hour;
}

SeriesCheck check_series(const std::string& path, const std::string& contents, int32_t stations, SeriesKind kind,
                         double time_step_hours) {
    SeriesCheck result;
    bool header = true;
    const std::size_t needed = 4 + static_cast<std::size_t>(stations);
    int64_t previous_hours = 0;
    int previous_line = 0;
    const int64_t step = static_cast<int64_t>(std::llround(time_step_hours));
    // Months and years differ in length: steps of four weeks or more allow three days either way.
    const int64_t tolerance = step >= 672 ? 72 : 0;
    for (const CsvLine& raw : split_csv_lines(contents)) {
        // Series files separate values by blanks, tabs or commas alike.
        std::vector<std::string> f;
        for (const std::string& field : raw.fields) {
            std::string word;
            for (char ch : field + " ") {
                if (ch == ' ' || ch == '\t' || ch == '\r') {
                    if (!word.empty()) f.push_back(word), word.clear();
                } else {
                    word += ch;
                }
            }
        }
        if (f.empty()) continue;
        if (f.size() < needed)
            throw InputError(path, raw.number,
                             std::to_string(needed) + " values (" +
                                 (header ? std::string("four labels") : std::string("year, month, day, hour")) +
                                 " and " + std::to_string(stations) + " station value(s))",
                             std::to_string(f.size()) + " value(s)");
        if (header) {
            for (std::size_t k = 4; k < needed; ++k) {
                float v = 0;
                if (!hydro::parse_float(f[k], v))
                    throw InputError(
                        path, raw.number,
                        "the elevation of station " + std::to_string(k - 3) + " (a number) after the four labels",
                        hydro::quote_token(f[k]));
            }
            header = false;
            continue;
        }
        DateHour d;
        int32_t* date[4] = {&d.year, &d.month, &d.day, &d.hour};
        const char* names[4] = {"year", "month", "day", "hour"};
        for (int k = 0; k < 4; ++k)
            if (!hydro::parse_int32(f[static_cast<std::size_t>(k)], *date[k]))
                throw InputError(path, raw.number, std::string("the ") + names[k] + " (a whole number)",
                                 hydro::quote_token(f[static_cast<std::size_t>(k)]));
        check_date(path, raw.number, d);
        for (std::size_t k = 4; k < needed; ++k) {
            float v = 0;
            const std::string station = "station " + std::to_string(k - 3);
            if (!hydro::parse_float(f[k], v))
                throw InputError(path, raw.number, "the value of " + station + " (a number)", hydro::quote_token(f[k]));
            if (kind == SeriesKind::temperature) {
                if (!(v >= -90.0f && v <= 60.0f))
                    throw InputError(path, raw.number, "a temperature of " + station + " from -90 to 60 degrees",
                                     value_text(v));
            } else if (v < 0.0f) {
                throw InputError(
                    path, raw.number,
                    std::string(kind == SeriesKind::precipitation ? "precipitation" : "evapotranspiration") + " of " +
                        station + " of 0 or more (fill missing values before the run)",
                    value_text(v));
            }
        }
        const int64_t hours = hours_since_epoch(d);
        if (result.records > 0) {
            const int64_t gap = hours - previous_hours;
            if (gap <= 0)
                throw InputError(path, raw.number,
                                 "a date and hour after those of line " + std::to_string(previous_line),
                                 std::to_string(d.year) + " " + std::to_string(d.month) + " " + std::to_string(d.day) +
                                     " " + std::to_string(d.hour));
            if (step > 0 && std::llabs(gap - step) > tolerance) {
                if (result.records == 1)
                    throw InputError(path, raw.number,
                                     "records " + hours_text(step) + " apart, the time step (--time-step " +
                                         std::to_string(step) + "), or --time-step " + std::to_string(gap) +
                                         " for these records",
                                     "records " + hours_text(gap) + " apart (lines " + std::to_string(previous_line) +
                                         " and " + std::to_string(raw.number) + ")");
                if (result.notes.empty())
                    result.notes.push_back(path + ", line " + std::to_string(raw.number) + ": a record " +
                                           hours_text(gap) + " after the one before, where the time step is " +
                                           hours_text(step) +
                                           " (the model takes every record as one step; later gaps not listed)");
            }
        }
        previous_hours = hours;
        previous_line = raw.number;
        if (result.records == 0) result.first = d;
        result.last = d;
        ++result.records;
    }
    if (header) throw InputError(path, 0, "a header line and one record per time step", "an empty file");
    if (result.records == 0) throw InputError(path, 0, "at least one record after the header", "none");
    return result;
}

}  // namespace gridprep
