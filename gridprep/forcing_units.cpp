#include "forcing_units.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "calendar.hpp"
#include "input_error.hpp"

namespace gridprep {

namespace {

using hydro::InputError;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trimmed(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// Julian day numbers of a date in the Julian and in the Gregorian calendar.
int64_t julian_calendar_jdn(int64_t y, int64_t m, int64_t d) {
    const int64_t a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - 32083;
}
constexpr int64_t kJdn1970 = 2440588;
// 15 October 1582, the first Gregorian date of the standard calendar.
const int64_t kGregorianStart = hydro::civil_day_number(1582, 10, 15);

// A whole number of `digits` digits at most from s[i]; false when none.
bool take_number(const std::string& s, std::size_t& i, int64_t& v, std::size_t most = 9) {
    std::size_t n = 0;
    v = 0;
    while (i < s.size() && n < most && std::isdigit(static_cast<unsigned char>(s[i]))) v = v * 10 + (s[i++] - '0'), ++n;
    return n > 0;
}

// "YYYY-MM-DD[ T]hh[:mm[:ss[.fff]]][ ]{Z|UTC|GMT|+hh[:mm]|-hh[:mm]}": seconds
// since 1970 in the calendar given; false for text that is not such a date.
bool reference_seconds(const std::string& text, bool mixed, int64_t& seconds) {
    const std::string s = trimmed(text);
    std::size_t i = 0;
    int64_t y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    const bool negative_year = i < s.size() && s[i] == '-';
    if (negative_year) ++i;
    if (!take_number(s, i, y) || i >= s.size() || s[i++] != '-' || !take_number(s, i, mo, 2) || i >= s.size() ||
        s[i++] != '-' || !take_number(s, i, d, 2))
        return false;
    if (negative_year) y = -y;
    if (mo < 1 || mo > 12 || d < 1 || d > 31) return false;
    double fraction = 0;
    if (i < s.size() && (s[i] == ' ' || s[i] == 'T')) {
        while (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
        if (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            if (!take_number(s, i, h, 2) || h > 24) return false;
            if (i < s.size() && s[i] == ':') {
                ++i;
                if (!take_number(s, i, mi, 2) || mi > 59) return false;
                if (i < s.size() && s[i] == ':') {
                    ++i;
                    if (!take_number(s, i, se, 2) || se > 60) return false;
                    if (i < s.size() && s[i] == '.') {
                        double scale = 0.1;
                        for (++i; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i, scale /= 10)
                            fraction += (s[i] - '0') * scale;
                    }
                }
            }
        }
    }
    int64_t zone = 0;  // seconds east of UTC
    while (i < s.size() && s[i] == ' ') ++i;
    const std::string rest = s.substr(i);
    if (!rest.empty() && rest != "Z" && rest != "UTC" && rest != "GMT") {
        if (rest[0] != '+' && rest[0] != '-') return false;
        std::size_t k = 1;
        int64_t zh = 0, zm = 0;
        if (!take_number(rest, k, zh, 2)) return false;
        if (k < rest.size() && rest[k] == ':') ++k;
        if (k < rest.size() && !take_number(rest, k, zm, 2)) return false;
        if (k != rest.size()) return false;
        zone = (rest[0] == '-' ? -1 : 1) * (zh * 3600 + zm * 60);
    }
    // 29 February of a Julian leap year that is no Gregorian one (1500) exists in the standard calendar.
    const bool julian_leap_day = mixed && y < 1582 && mo == 2 && d == 29 && y % 4 == 0;
    if (d > hydro::days_in_month(static_cast<int32_t>(y), static_cast<int32_t>(mo)) && !julian_leap_day) return false;
    int64_t day = hydro::civil_day_number(y, mo, d);
    if (mixed && day < kGregorianStart) {
        if (y == 1582 && mo == 10 && d > 4) return false;  // the ten days the calendar skipped
        day = julian_calendar_jdn(y, mo, d) - kJdn1970;
    }
    seconds = day * 86400 + h * 3600 + mi * 60 + se + static_cast<int64_t>(std::llround(fraction)) - zone;
    return true;
}

// One factor of a unit: its symbol and power, SI scale and dimensions.
struct Dimensions {
    double si = 1.0;  // metres, kilograms, seconds
    int length = 0, mass = 0, time = 0;
    bool known = true;
};

void multiply(Dimensions& u, const std::string& symbol, int power) {
    static const struct {
        const char* names[6];
        double si;
        int length, mass, time;
    } kUnits[] = {
        {{"m", "metre", "meter", "metres", "meters", nullptr}, 1.0, 1, 0, 0},
        {{"mm", "millimetre", "millimeter", "millimetres", "millimeters", nullptr}, 1e-3, 1, 0, 0},
        {{"cm", "centimetre", "centimeter", "centimetres", "centimeters", nullptr}, 1e-2, 1, 0, 0},
        {{"kg", "kilogram", "kilograms", nullptr}, 1.0, 0, 1, 0},
        {{"g", "gram", "grams", nullptr}, 1e-3, 0, 1, 0},
        {{"s", "sec", "secs", "second", "seconds", nullptr}, 1.0, 0, 0, 1},
        {{"min", "mins", "minute", "minutes", nullptr}, 60.0, 0, 0, 1},
        {{"h", "hr", "hrs", "hour", "hours", nullptr}, 3600.0, 0, 0, 1},
        {{"d", "day", "days", nullptr}, 86400.0, 0, 0, 1},
    };
    const std::string name = lower(symbol);
    for (const auto& k : kUnits)
        for (const char* const* n = k.names; *n; ++n)
            if (name == *n) {
                u.si *= std::pow(k.si, power);
                u.length += k.length * power, u.mass += k.mass * power, u.time += k.time * power;
                return;
            }
    u.known = false;
}

// UDUNITS products and quotients: "kg m-2 s-1", "kg.m-2.s-1", "kg m**-2",
// "mm/h", "kg/m2/s", "mm day^-1", a leading number ("1e-3 m").
Dimensions dimensions_of(const std::string& units) {
    Dimensions u;
    std::string s;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units.compare(i, 2, "**") == 0) {
            ++i;
            continue;
        }
        if (units[i] != '^') s += units[i];
    }
    std::size_t i = 0;
    bool invert = false, any = false;
    while (i < s.size()) {
        const char c = s[i];
        if (c == ' ' || c == '*' || c == '.') {
            ++i;
            continue;
        }
        if (c == '/') {
            invert = true, ++i;
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) && !any) {  // a leading scale
            std::size_t used = 0;
            try {
                u.si *= std::stod(s.substr(i), &used);
            } catch (...) {
                u.known = false;
                return u;
            }
            i += used, any = true;
            continue;
        }
        std::string symbol;
        while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) symbol += s[i++];
        if (symbol.empty()) {
            u.known = false;
            return u;
        }
        int power = 1;
        if (i < s.size() && (s[i] == '-' || s[i] == '+' || std::isdigit(static_cast<unsigned char>(s[i])))) {
            const int sign = s[i] == '-' ? -1 : 1;
            if (s[i] == '-' || s[i] == '+') ++i;
            int64_t p = 0;
            if (!take_number(s, i, p, 2)) {
                u.known = false;
                return u;
            }
            power = sign * static_cast<int>(p);
        }
        multiply(u, symbol, invert ? -power : power);
        invert = false, any = true;
    }
    if (!any) u.known = false;
    return u;
}

}  // namespace

TimeUnits time_units_of(const std::string& path, const std::string& variable, const std::string& units,
                        const std::string& calendar) {
    TimeUnits t;
    const std::string cal = lower(trimmed(calendar));
    if (cal == "proleptic_gregorian")
        t.mixed = false;
    else if (!cal.empty() && cal != "standard" && cal != "gregorian")
        throw InputError(path, 0,
                         "the time of " + variable + " in the standard, gregorian or proleptic_gregorian calendar",
                         "the calendar \"" + hydro::printable(calendar) + "\"");
    const std::string text = lower(trimmed(units));
    const std::size_t since = text.find(" since ");
    const std::string unit = since == std::string::npos ? text : text.substr(0, since);
    static const struct {
        const char* names[6];
        double seconds;
    } kSteps[] = {{{"seconds", "second", "secs", "sec", "s", nullptr}, 1.0},
                  {{"minutes", "minute", "mins", "min", nullptr}, 60.0},
                  {{"hours", "hour", "hrs", "hr", "h", nullptr}, 3600.0},
                  {{"days", "day", "d", nullptr}, 86400.0}};
    double seconds = 0;
    for (const auto& k : kSteps)
        for (const char* const* n = k.names; *n; ++n)
            if (unit == *n) seconds = k.seconds;
    if (since == std::string::npos || seconds == 0 ||
        !reference_seconds(trimmed(units).substr(since + 7), t.mixed, t.reference))
        throw InputError(path, 0,
                         "time units of " + variable + " as \"seconds|minutes|hours|days since YYYY-MM-DD hh:mm:ss\"",
                         "\"" + hydro::printable(units) + "\"");
    t.seconds_per_unit = seconds;
    return t;
}

bool seconds_of(const TimeUnits& u, double value, int64_t& seconds) {
    const double s = std::round(value * u.seconds_per_unit);
    if (!(std::fabs(s) < 1e17)) return false;
    seconds = u.reference + static_cast<int64_t>(s);
    return true;
}

bool date_hour_of(int64_t seconds, bool mixed, DateHour& d) {
    if (seconds % 3600 != 0) return false;
    const int64_t hours = seconds / 3600;
    const int64_t day = hours >= 0 ? hours / 24 : -((-hours + 23) / 24);
    if (mixed && day < kGregorianStart) return false;
    const hydro::CivilDate c = hydro::civil_date(day);
    if (c.year < -2000000 || c.year > 2000000) return false;
    d.year = static_cast<int32_t>(c.year), d.month = static_cast<int32_t>(c.month);
    d.day = static_cast<int32_t>(c.day), d.hour = static_cast<int32_t>(hours - day * 24);
    return true;
}

std::string instant_text(int64_t seconds) {
    const int64_t day = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    const int64_t in_day = seconds - day * 86400;
    const hydro::CivilDate c = hydro::civil_date(day);
    char buf[64];
    if (in_day % 60 != 0)
        std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(c.year),
                      static_cast<long long>(c.month), static_cast<long long>(c.day),
                      static_cast<long long>(in_day / 3600), static_cast<long long>(in_day / 60 % 60),
                      static_cast<long long>(in_day % 60));
    else
        std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld", static_cast<long long>(c.year),
                      static_cast<long long>(c.month), static_cast<long long>(c.day),
                      static_cast<long long>(in_day / 3600), static_cast<long long>(in_day / 60 % 60));
    return buf;
}

UnitConversion unit_conversion(const std::string& path, const std::string& variable, ForcingQuantity quantity,
                               const std::string& units) {
    UnitConversion c;
    const std::string found = "units \"" + hydro::printable(units) + "\"";
    if (quantity == ForcingQuantity::temperature) {
        const std::string u = lower(trimmed(units));
        for (const char* k : {"k", "kelvin", "kelvins", "degk", "deg_k", "degree_k", "degrees_k", "degreek"})
            if (u == k) {
                c.offset = -273.15;
                return c;
            }
        for (const char* k : {"degc", "deg_c", "c", "celsius", "degree_celsius", "degrees_celsius", "degree_c",
                              "degrees_c", "degreec", "\xc2\xb0\x63"})
            if (u == k) return c;
        throw InputError(path, 0, "a temperature " + variable + " in K or degC", found);
    }
    const Dimensions d = dimensions_of(units);
    // Depths of water in metres, or masses per area (1 kg m-2 of water is 1 mm).
    const bool depth = d.length == 1 && d.mass == 0, mass = d.length == -2 && d.mass == 1;
    if (!d.known || !(depth || mass) || (d.time != 0 && d.time != -1))
        throw InputError(path, 0,
                         "an amount of water " + variable +
                             " in kg m-2 s-1, mm h-1, mm d-1 or mm or m per forcing step (UDUNITS form)",
                         found);
    c.factor = depth ? d.si * 1000.0 : d.si;
    c.per_second = d.time == -1;
    return c;
}

}  // namespace gridprep
