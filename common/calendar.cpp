#include "calendar.hpp"

namespace hydro {

int32_t day_of_year(int32_t year, int32_t month, int32_t day) {
    static const int32_t month_length[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month <= 1) return day;
    int32_t before = 0;
    for (int32_t m = 1; m < month && m <= 12; ++m) before += month_length[m - 1] + ((m == 2 && is_leap_year(year)) ? 1 : 0);
    // A day number near the 32-bit limit (a damaged record) wraps like 32-bit
    // arithmetic instead of overflowing.
    return static_cast<int32_t>(static_cast<uint32_t>(before) + static_cast<uint32_t>(day));
}

namespace {
int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
}  // namespace

// Counted in eras of 400 years (146097 days), with March as the first month
// so that the leap day ends the year.
int64_t civil_day_number(int64_t year, int64_t month, int64_t day) {
    year += floor_div(month - 1, 12);
    month = month - 12 * floor_div(month - 1, 12);
    const int64_t y = month <= 2 ? year - 1 : year;
    const int64_t era = floor_div(y, 400);
    const int64_t year_of_era = y - era * 400;
    const int64_t month_from_march = month > 2 ? month - 3 : month + 9;
    const int64_t day_of_year_from_march = (153 * month_from_march + 2) / 5;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year_from_march;
    return era * 146097 + day_of_era - 719468 + (day - 1);
}

CivilDate civil_date(int64_t day_number) {
    const int64_t z = day_number + 719468;
    const int64_t era = floor_div(z, 146097);
    const int64_t day_of_era = z - era * 146097;
    const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year_from_march = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t month_from_march = (5 * day_of_year_from_march + 2) / 153;
    const int64_t day = day_of_year_from_march - (153 * month_from_march + 2) / 5 + 1;
    const int64_t month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
    return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

int64_t hours_between(int32_t y1, int32_t m1, int32_t d1, int32_t h1, int32_t y2, int32_t m2, int32_t d2, int32_t h2) {
    return (civil_day_number(y2, m2, d2) - civil_day_number(y1, m1, d1)) * 24 + (int64_t{h2} - h1);
}

}  // namespace hydro
