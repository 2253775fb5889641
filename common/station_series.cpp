#include "station_series.hpp"

#include <algorithm>

#include "calendar.hpp"
#include "input_error.hpp"

namespace hydro {

int32_t count_series_records(const std::string& path, int32_t limit) {
    FreeFormatReader in(path);
    std::string_view tok;
    in.begin_read();
    if (!in.try_token(tok)) return 0;
    int32_t n = 0;
    while (n < limit) {
        in.begin_read();
        if (!in.try_token(tok)) break;
        ++n;
    }
    return n;
}

void read_series_header(FreeFormatReader& in, StationSeries& series, const char* zone_grid) {
    in.begin_read();
    in.token("label 1 of the header line");
    const int first_line = in.line();
    for (int i = 2; i <= 4; ++i) in.token("label " + std::to_string(i) + " of the header line");
    for (int32_t j = 0; j < series.n_stations; ++j) {
        series.elevation[j] = in.real("the elevation of station " + std::to_string(j + 1) + " in the header line");
        // The header line names every station the Thiessen grid refers to: a
        // series with fewer columns than stations would take the missing
        // values from the following lines and shift every record.
        if (in.line() != first_line)
            throw InputError(in.path(), first_line,
                             std::to_string(series.n_stations) + " station elevations after the four labels (" +
                                 (zone_grid ? std::string(zone_grid) + " refers to stations up to " +
                                                  std::to_string(series.n_stations)
                                            : std::string("one per station")) +
                                 ")",
                             std::to_string(j));
    }
}

void skip_series_header(FreeFormatReader& in) {
    in.begin_read();
    in.token("the header line");
}

namespace {

void check_station_value(const FreeFormatReader& in, SeriesQuantity q, float v, std::string_view tok, int32_t j,
                         int32_t step) {
    const std::string at = " for station " + std::to_string(j + 1) + " in record " + std::to_string(step + 1);
    switch (q) {
        case SeriesQuantity::Precipitation:
            if (v < 0.0f)
                in.fail("a precipitation of 0 or more" + at + " (missing values must be filled in before the run)",
                        quote_token(tok));
            break;
        case SeriesQuantity::Evapotranspiration:
            if (v < 0.0f)
                in.fail("a potential evapotranspiration of 0 or more" + at +
                            " (missing values must be filled in before the run)",
                        quote_token(tok));
            break;
        case SeriesQuantity::Temperature:
            if (!(v >= -90.0f && v <= 60.0f))
                in.fail(
                    "a temperature from -90 to 60 degrees" + at + " (missing values must be filled in before the run)",
                    quote_token(tok));
            break;
        case SeriesQuantity::Unchecked:
            break;
    }
}

}  // namespace

void check_record_date(const FreeFormatReader& in, const RecordDate& d, int32_t step) {
    const std::string rec = " in record " + std::to_string(step + 1);
    if (d.month < 1 || d.month > 12) in.fail("a month from 1 to 12" + rec, std::to_string(d.month));
    const int32_t days = days_in_month(d.year, d.month);
    if (d.day < 1 || d.day > days)
        in.fail("a day from 1 to " + std::to_string(days) + " (month " + std::to_string(d.month) + " of " +
                    std::to_string(d.year) + ")" + rec,
                std::to_string(d.day));
    if (d.hour < 0 || d.hour > 23) in.fail("an hour from 0 to 23" + rec, std::to_string(d.hour));
}

void read_station_values(FreeFormatReader& in, StationSeries& series, int32_t step) {
    const std::size_t held = static_cast<std::size_t>(series.held_steps);
    const std::size_t at = static_cast<std::size_t>(step - series.first_step);
    const int record_line = in.read_first_line();
    int32_t on_record_line = 0;
    for (int32_t j = 0; j < series.n_stations; ++j) {
        std::string_view tok;
        if (!in.try_token(tok))
            in.fail_at_end("the value of station " + std::to_string(j + 1) + " in record " + std::to_string(step + 1) +
                           " (a record holds four date fields, then " + std::to_string(series.n_stations) +
                           (series.n_stations == 1 ? " station value)" : " station values)"));
        if (in.line() == record_line) ++on_record_line;
        float v;
        if (!parse_float(tok, v))
            in.fail("a real number for station " + std::to_string(j + 1) + " in record " + std::to_string(step + 1),
                    quote_token(tok));
        check_station_value(in, series.quantity, v, tok, j, step);
        series.values[static_cast<std::size_t>(j) * held + at] = v;
    }
    // A record that is short of values would take them from the next line and
    // skip the rest of it, shifting every later record. (A record wrapped over
    // lines on purpose ends with the last value of a line.)
    if (in.line() != record_line && in.more_on_line())
        throw InputError(in.path(), record_line,
                         std::to_string(series.n_stations) +
                             (series.n_stations == 1 ? " station value" : " station values") + " in record " +
                             std::to_string(step + 1) + " (the rest would be taken from line " +
                             std::to_string(in.line()) + ", shifting every later record)",
                         std::to_string(on_record_line));
}

RecordDate read_record_date(FreeFormatReader& in, int32_t step) {
    in.begin_read();
    const std::string rec = " of record " + std::to_string(step + 1);
    RecordDate d;
    d.year = in.integer("the year" + rec);
    d.month = in.integer("the month" + rec);
    d.day = in.integer("the day" + rec);
    d.hour = in.integer("the hour" + rec);
    return d;
}

void skip_record_date(FreeFormatReader& in, int32_t step) {
    in.begin_read();
    const std::string rec = " of record " + std::to_string(step + 1);
    in.token("the year" + rec);
    in.token("the month" + rec);
    in.token("the day" + rec);
    in.token("the hour" + rec);
}

void size_series(const FreeFormatReader& in, StationSeries& series, int32_t n_stations, int32_t n_steps, int32_t held) {
    // Each value takes at least two characters of the file.
    unsigned long long cells = static_cast<unsigned long long>(n_stations) * static_cast<unsigned long long>(n_steps);
    if (n_stations < 0 || n_steps < 0 || cells > in.size() / 2 + 1)
        throw InputError(in.path(), 0,
                         std::to_string(n_steps) + " records of " + std::to_string(n_stations) +
                             (n_stations == 1 ? " station" : " stations"),
                         "a file of only " + std::to_string(in.size()) + " bytes");
    series.n_stations = n_stations;
    series.n_steps = n_steps;
    series.elevation.assign(static_cast<std::size_t>(n_stations), 0.0f);
    series.first_step = 0;
    series.held_steps = held < 0 ? n_steps : std::min(held, n_steps);
    series.values.assign(static_cast<std::size_t>(n_stations) * static_cast<std::size_t>(series.held_steps), 0.0f);
}

}  // namespace hydro
