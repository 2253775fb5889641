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
// Days since 1 March of year 0, for a valid date.
int64_t day_number(int64_t y, int64_t m, int64_t d) {
    if (m <= 2) y -= 1, m += 12;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m - 3) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
}
}  // namespace

int64_t hours_between(int32_t y1, int32_t m1, int32_t d1, int32_t h1, int32_t y2, int32_t m2, int32_t d2, int32_t h2) {
    return (day_number(y2, m2, d2) - day_number(y1, m1, d1)) * 24 + (int64_t{h2} - h1);
}

}  // namespace hydro
