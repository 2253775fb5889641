// Station series files p.txt, pet.txt and t.txt: a header line (four labels,
// then one elevation per station) and one record per time step (year, month,
// day, hour, then one value per station). Station j of a file is the j-th
// value after the date fields; the Thiessen grids refer to stations by it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "free_format.hpp"

namespace hydro {

// The dates of the run's steps, taken from p.txt, with the day of the year.
struct StepCalendar {
    std::vector<int32_t> year, month, day, hour, day_of_year, date_code;
    std::size_t size() const { return year.size(); }
};

// One variable's series, station-major: value(station, step) with both from 0.
struct StationSeries {
    int32_t n_stations = 0;
    int32_t n_steps = 0;
    std::vector<float> elevation;  // from the header; no result depends on it
    std::vector<float> values;
    float value(int32_t station, int32_t step) const {
        return values[static_cast<std::size_t>(station) * static_cast<std::size_t>(n_steps) + static_cast<std::size_t>(step)];
    }
};

// Counts the records of a series file: the lines after the first that hold a
// value, at most `limit`.
int32_t count_series_records(const std::string& path, int32_t limit);

// Reads the header line in full: four labels, then n_stations elevations.
void read_series_header(FreeFormatReader& in, StationSeries& series);
// Skips the header line (one token read).
void skip_series_header(FreeFormatReader& in);

// Reads the date fields of record `step` (from 0) as whole numbers into the
// calendar (month must not exceed 12), then the station values.
void read_dated_record(FreeFormatReader& in, StepCalendar& calendar, StationSeries& series, int32_t step);
// Reads record `step` whose date fields are discarded (pet.txt, t.txt).
void read_undated_record(FreeFormatReader& in, StationSeries& series, int32_t step);

// Allocates a series of n_stations x n_steps, refusing sizes the file cannot
// hold before anything is allocated.
void size_series(const FreeFormatReader& in, StationSeries& series, int32_t n_stations, int32_t n_steps);

}  // namespace hydro
