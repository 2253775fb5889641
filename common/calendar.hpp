// Dates of the time steps: the date-hour code that periods are compared with,
// and the day of the year that drives the seasonal interception capacity.
#pragma once

#include <cstdint>

namespace hydro {

// year x 1000000 + month x 10000 + day x 100 + hour, as a 32-bit integer
// (wrapping like 32-bit arithmetic beyond the year 2147).
inline int32_t date_code(int32_t year, int32_t month, int32_t day, int32_t hour) {
    int64_t code = static_cast<int64_t>(year) * 1000000 + static_cast<int64_t>(month) * 10000 +
                   static_cast<int64_t>(day) * 100 + hour;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(code)));
}

// Gregorian leap years: every fourth year, but not full centuries unless
// divisible by 400 (1900 is not a leap year, 2000 is).
inline bool is_leap_year(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days of a month (1..12) of a year.
inline int32_t days_in_month(int32_t year, int32_t month) {
    static const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

// Hours between two valid dates (proleptic Gregorian calendar).
int64_t hours_between(int32_t y1, int32_t m1, int32_t d1, int32_t h1, int32_t y2, int32_t m2, int32_t d2, int32_t h2);

// Day of the year: the day itself in January, otherwise the lengths of the
// months before plus the day. A month outside 1..12 counts the months that
// exist before it (none below 1, all twelve above 12).
int32_t day_of_year(int32_t year, int32_t month, int32_t day);

// Day number of a date in the proleptic Gregorian calendar, day 0 being
// 1970-01-01. A month outside 1..12 carries into the year and a day beyond
// its month's length into the next months, so every record gets a number.
int64_t civil_day_number(int64_t year, int64_t month, int64_t day);

struct CivilDate {
    int64_t year, month, day;
};
// The date of a day number (the inverse of civil_day_number for real dates).
CivilDate civil_date(int64_t day_number);

}  // namespace hydro
