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

}  // namespace hydro
