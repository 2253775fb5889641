#include "calendar.hpp"

#include <algorithm>
#include <atomic>

namespace hydro {

int32_t day_of_year(int32_t year, int32_t month, int32_t day) {
    static const int32_t month_length[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month <= 1) return day;
    int32_t before = 0;
    for (int32_t m = 1; m < month && m <= 12; ++m)
        before += month_length[m - 1] + ((m == 2 && is_leap_year(year)) ? 1 : 0);
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

namespace {

bool in_calendar(int32_t year, int32_t month, int32_t day, int32_t hour) {
    return month >= 1 && month <= 12 && day >= 1 && day <= days_in_month(year, month) && hour >= 0 && hour <= 23;
}

std::atomic<uint64_t> next_identity{1};

struct LastStep {
    uint64_t identity = 0;
    std::size_t step = 0;
    int32_t fields[6] = {};
};
thread_local LastStep last_step;

}  // namespace

void StepCalendar::new_identity() { identity_ = next_identity.fetch_add(1, std::memory_order_relaxed); }

StepCalendar& StepCalendar::operator=(const StepCalendar& other) {
    runs_ = other.runs_;
    odd_ = other.odd_;
    size_ = other.size_;
    last_hour_ = other.last_hour_;
    new_identity();
    return *this;
}

StepCalendar& StepCalendar::operator=(StepCalendar&& other) noexcept {
    runs_ = std::move(other.runs_);
    odd_ = std::move(other.odd_);
    size_ = other.size_;
    last_hour_ = other.last_hour_;
    new_identity();
    other.size_ = 0;
    other.identity_ = 0;
    return *this;
}

void StepCalendar::append(int32_t y, int32_t m, int32_t d, int32_t hr) {
    const std::size_t step = size_++;
    new_identity();
    if (!in_calendar(y, m, d, hr)) {
        runs_.push_back({step, static_cast<int64_t>(odd_.size()), kOddDate});
        odd_.push_back({y, m, d, hr});
        return;
    }
    const int64_t h = civil_day_number(y, m, d) * 24 + hr;
    const int64_t previous = last_hour_;
    last_hour_ = h;
    if (!runs_.empty() && runs_.back().spacing != kOddDate) {
        Run& run = runs_.back();
        if (step - run.first_step == 1) {
            run.spacing = h - previous;
            return;
        }
        if (h - previous == run.spacing) return;
    }
    runs_.push_back({step, h, 0});
}

const StepCalendar::Run& StepCalendar::run_of(std::size_t step) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), step,
                               [](std::size_t s, const Run& r) { return s < r.first_step; });
    return *(it - 1);
}

int64_t StepCalendar::hour_number(std::size_t step) const {
    const Run& run = run_of(step);
    if (run.spacing != kOddDate) return run.first_hour + static_cast<int64_t>(step - run.first_step) * run.spacing;
    const StepDate& d = odd_[static_cast<std::size_t>(run.first_hour)];
    return civil_day_number(d.year, d.month, d.day) * 24 + d.hour;
}

StepDate StepCalendar::date(std::size_t step) const {
    const Run& run = run_of(step);
    if (run.spacing == kOddDate) return odd_[static_cast<std::size_t>(run.first_hour)];
    const int64_t h = run.first_hour + static_cast<int64_t>(step - run.first_step) * run.spacing;
    const int64_t day_number = floor_div(h, 24);
    const CivilDate d = civil_date(day_number);
    return {static_cast<int32_t>(d.year), static_cast<int32_t>(d.month), static_cast<int32_t>(d.day),
            static_cast<int32_t>(h - day_number * 24)};
}

int32_t StepCalendar::field(std::size_t step, FieldKind kind) const {
    LastStep& last = last_step;
    if (last.identity != identity_ || last.step != step || identity_ == 0) {
        const StepDate d = date(step);
        last.identity = identity_;
        last.step = step;
        last.fields[kYear] = d.year;
        last.fields[kMonth] = d.month;
        last.fields[kDay] = d.day;
        last.fields[kHour] = d.hour;
        last.fields[kDayOfYear] = hydro::day_of_year(d.year, d.month, d.day);
        last.fields[kDateCode] = hydro::date_code(d.year, d.month, d.day, d.hour);
    }
    return last.fields[kind];
}

}  // namespace hydro
