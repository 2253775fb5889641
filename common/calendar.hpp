// Dates of the time steps: the date-hour code that periods are compared with,
// and the day of the year that drives the seasonal interception capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

struct StepDate {
    int32_t year, month, day, hour;
};

// The dates of a run's steps, with the day of the year and the date code of
// each. Records mostly follow each other at a fixed number of hours, so the
// dates are kept as runs of equally spaced dates (the first and the spacing)
// and a step's fields are worked out when asked for: a long hourly series
// takes a few bytes instead of a few per step. Irregular dates cost one run
// each; a date outside the calendar (month 13) is kept as given.
class StepCalendar {
    enum FieldKind { kYear, kMonth, kDay, kHour, kDayOfYear, kDateCode };

  public:
    // One field of every step, read as cal.month[t] or cal.date_code[t].
    class Field {
      public:
        Field(const StepCalendar* calendar, FieldKind kind) : calendar_(calendar), kind_(kind) {}
        int32_t operator[](std::size_t step) const { return calendar_->field(step, kind_); }

      private:
        const StepCalendar* calendar_;
        FieldKind kind_;
    };
    const Field year{this, kYear}, month{this, kMonth}, day{this, kDay}, hour{this, kHour};
    const Field day_of_year{this, kDayOfYear};
    const Field date_code{this, kDateCode};

    StepCalendar() = default;
    StepCalendar(const StepCalendar& other) { *this = other; }
    StepCalendar(StepCalendar&& other) noexcept { *this = std::move(other); }
    StepCalendar& operator=(const StepCalendar& other);
    StepCalendar& operator=(StepCalendar&& other) noexcept;

    std::size_t size() const { return size_; }
    void append(int32_t year, int32_t month, int32_t day, int32_t hour);
    StepDate date(std::size_t step) const;
    // Hours from 1970-01-01 hour 0 to the step's date (a date outside the
    // calendar is carried as civil_day_number carries it).
    int64_t hour_number(std::size_t step) const;
    // Runs the dates are kept in (for the memory they take).
    std::size_t run_count() const { return runs_.size(); }

  private:
    static constexpr int64_t kOddDate = INT64_MIN;  // spacing of a run holding a date outside the calendar
    struct Run {
        std::size_t first_step;
        int64_t first_hour;  // hour number, or the index in odd_ of a date outside the calendar
        int64_t spacing;     // hours from one step to the next
    };
    const Run& run_of(std::size_t step) const;
    int32_t field(std::size_t step, FieldKind kind) const;
    void new_identity();

    // The fields of a step are asked for several times in a row (the maps'
    // periods, the results): each thread keeps those of the last step it
    // worked out, for the calendar of this identity (0: none).
    uint64_t identity_ = 0;

    std::vector<Run> runs_;
    std::vector<StepDate> odd_;
    std::size_t size_ = 0;
    int64_t last_hour_ = 0;  // hour number of the last date appended
};

}  // namespace hydro
