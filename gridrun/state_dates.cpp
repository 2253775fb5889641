#include "state_dates.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "input_error.hpp"

namespace hydro {

namespace {

// Reads `width` digits at `pos`.
bool digits(const std::string& s, std::size_t pos, std::size_t width, int32_t& value) {
    if (pos + width > s.size()) return false;
    for (std::size_t i = pos; i < pos + width; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return std::from_chars(s.data() + pos, s.data() + pos + width, value).ec == std::errc();
}

std::string date_text(const StepDate& d) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d", d.year, d.month, d.day, d.hour);
    return buf;
}

}  // namespace

bool parse_step_date(const std::string& s, StepDate& d) {
    if (!digits(s, 0, 4, d.year) || s.size() < 10 || s[4] != '-' || !digits(s, 5, 2, d.month) || s[7] != '-' ||
        !digits(s, 8, 2, d.day))
        return false;
    d.hour = 0;
    if (s.size() == 10) return true;
    if ((s[10] != 'T' && s[10] != ' ') || !digits(s, 11, 2, d.hour)) return false;
    if (s.size() == 13) return true;
    // Minutes (and seconds) are accepted only as whole hours: steps are dated to the hour.
    int32_t minutes = 0, seconds = 0;
    if (s[13] != ':' || !digits(s, 14, 2, minutes) || minutes != 0) return false;
    if (s.size() == 16) return true;
    return s.size() == 19 && s[16] == ':' && digits(s, 17, 2, seconds) && seconds == 0;
}

std::vector<std::size_t> steps_at_dates(const std::vector<std::string>& dates, const StepCalendar& calendar,
                                        const std::string& source) {
    std::vector<std::size_t> steps;
    for (const std::string& text : dates) {
        StepDate d{};
        if (!parse_step_date(text, d))
            throw InputError(source + ": expected a step's date such as 2020-06-30T23:00, found \"" + printable(text) +
                             "\"");
        std::size_t t = 0;
        while (t < calendar.size()) {
            const StepDate c = calendar.date(t);
            if (c.year == d.year && c.month == d.month && c.day == d.day && c.hour == d.hour) break;
            ++t;
        }
        if (t == calendar.size()) {
            const std::string span = calendar.size() == 0 ? std::string("no steps")
                                                          : "steps from " + date_text(calendar.date(0)) + " to " +
                                                                date_text(calendar.date(calendar.size() - 1));
            throw InputError(source + ": no step of the run is dated " + date_text(d) + " (the run has " + span + ")");
        }
        steps.push_back(t);
    }
    std::sort(steps.begin(), steps.end());
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    return steps;
}

std::string dated_state_path(const std::string& base, const StepDate& date) {
    const std::filesystem::path p(base.empty() ? std::string("state.state") : base);
    std::filesystem::path out = p.parent_path() / (p.stem().string() + "-" + date_text(date));
    out += p.has_extension() ? p.extension().string() : std::string(".state");
    return out.string();
}

}  // namespace hydro
