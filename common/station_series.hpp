// Station series files p.txt, pet.txt and t.txt: a header line (four labels,
// then one elevation per station) and one record per time step (year, month,
// day, hour, then one value per station). Station j of a file is the j-th
// value after the date fields; the Thiessen grids refer to stations by it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "calendar.hpp"
#include "free_format.hpp"

namespace hydro {

// What a series holds, for the checks of its values.
enum class SeriesQuantity { Unchecked, Precipitation, Evapotranspiration, Temperature };

// One variable's series, station-major: value(station, step) with both from 0.
// It holds the steps [first_step, first_step + held_steps): all of them, or
// a part where the series is read piece by piece.
struct StationSeries {
    SeriesQuantity quantity = SeriesQuantity::Unchecked;
    int32_t n_stations = 0;
    int32_t n_steps = 0;
    int32_t first_step = 0, held_steps = 0;
    std::vector<float> elevation;  // from the header; no result depends on it
    std::vector<float> values;
    float value(int32_t station, int32_t step) const {
        return values[static_cast<std::size_t>(station) * static_cast<std::size_t>(held_steps) +
                      static_cast<std::size_t>(step - first_step)];
    }
    // Holds `steps` steps from `first` next (their values are read after).
    void hold(int32_t first, int32_t steps) {
        first_step = first;
        held_steps = steps;
        values.resize(static_cast<std::size_t>(n_stations) * static_cast<std::size_t>(steps));
    }
};

// Counts the records of a series file: the lines after the first that hold a
// value, at most `limit`.
int32_t count_series_records(const std::string& path, int32_t limit);

// Reads the header line in full: four labels, then n_stations elevations,
// all on that line (`zone_grid` names the grid that sets the station count,
// for the message).
void read_series_header(FreeFormatReader& in, StationSeries& series, const char* zone_grid = nullptr);
// Skips the header line (one token read).
void skip_series_header(FreeFormatReader& in);

// Starts record `step` (from 0) and reads its four date fields as whole numbers.
struct RecordDate {
    int32_t year, month, day, hour;
};
RecordDate read_record_date(FreeFormatReader& in, int32_t step);
// Starts record `step` and passes over its four date fields (pet.txt, t.txt).
void skip_record_date(FreeFormatReader& in, int32_t step);
// Refuses a date that is not in the calendar: month 1..12, day 1..the
// month's length (Gregorian), hour 0..23; the message names the record's line.
void check_record_date(const FreeFormatReader& in, const RecordDate& d, int32_t step);
// Reads the station values that follow the date fields of record `step` (one
// the series holds).
// Precipitation and evapotranspiration must not be negative (a missing-value
// code such as -9999 would be taken as a value), temperature must lie within
// -90..60 degrees.
void read_station_values(FreeFormatReader& in, StationSeries& series, int32_t step);

// Allocates a series of n_stations x n_steps (holding the first `held` steps
// only, where given), refusing sizes the file cannot hold before anything is
// allocated.
void size_series(const FreeFormatReader& in, StationSeries& series, int32_t n_stations, int32_t n_steps,
                 int32_t held = -1);

}  // namespace hydro
