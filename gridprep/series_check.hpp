// Station series files (p.txt, pet.txt, t.txt) checked before they are
// copied into a project, for what the programs will read from them and for
// values that make sense: a header of four labels and one elevation per
// station, then one record per line of a real date and hour and at least
// `stations` values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "project_writer.hpp"

namespace gridprep {

enum class SeriesKind { precipitation, evapotranspiration, temperature };

struct SeriesCheck {
    int64_t records = 0;
    DateHour first, last;
    std::vector<std::string> notes;  // gaps in the records, for the summary
};

// Refuses (hydro::InputError, with the line and the value):
// - a record short of station values, a date field that is not a whole
//   number, a value that is not a number;
// - a month outside 1..12, a day the month does not have (Gregorian), an
//   hour outside 0..23, a year outside 1..2147;
// - precipitation or evapotranspiration below 0 (a missing-data code must be
//   filled before the run), a temperature outside -90..60 degrees;
// - a record not later than the one before it, and, with a time step, a
//   first spacing of the records other than the time step (tolerant by three
//   days for steps of four weeks or more, whose months and years vary).
// Later spacings that differ from the time step are notes.
SeriesCheck check_series(const std::string& path, const std::string& contents, int32_t stations,
                         SeriesKind kind = SeriesKind::precipitation, double time_step_hours = 0.0);

// Hours since 1 January of the year 1, hour 0 (Gregorian calendar).
int64_t hours_since_epoch(const DateHour& d);

}  // namespace gridprep
