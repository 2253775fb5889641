// Fuzz target: the station series reader, as gridrun reads a series (header
// with elevations, dates of every record, the calendar) and as areamean reads
// it (header skipped). The station count is the number of values on the
// header line after its four labels, as a project's grids would give it.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "calendar.hpp"
#include "free_format.hpp"
#include "fuzz_support.hpp"
#include "input_error.hpp"
#include "station_series.hpp"

using fuzz_support::fail;

namespace {

int32_t stations_on_header_line(const std::string& path) {
    hydro::FreeFormatReader in(path);
    std::string_view tok;
    int32_t n = 0;
    in.begin_read();
    while (in.try_token(tok) && in.line() == 1) ++n;
    return n > 4 ? (n - 4 > 64 ? 64 : n - 4) : 0;
}

void read_like_gridrun(const std::string& path, int32_t n_stations, int32_t n_steps) {
    hydro::FreeFormatReader in(path);
    hydro::StationSeries series;
    hydro::size_series(in, series, n_stations, n_steps);
    hydro::read_series_header(in, series);
    hydro::StepCalendar calendar;
    for (int32_t k = 0; k < n_steps; ++k) {
        const hydro::RecordDate d = hydro::read_record_date(in, k);
        calendar.append(d.year, d.month, d.day, d.hour);
        const int32_t doy = calendar.day_of_year[calendar.size() - 1];
        if (d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31 && (doy < 1 || doy > 366))
            fail("day_of_year", std::to_string(doy));
        hydro::read_station_values(in, series, k);
    }
    if (calendar.size() != static_cast<std::size_t>(n_steps)) fail("calendar", "size");
    for (float v : series.values)
        if (!std::isfinite(v)) fail("station value", "not finite");
    for (float v : series.elevation)
        if (!std::isfinite(v)) fail("elevation", "not finite");
}

void read_like_areamean(const std::string& path, int32_t n_stations, int32_t n_steps) {
    hydro::FreeFormatReader in(path);
    hydro::StationSeries series;
    hydro::size_series(in, series, n_stations, n_steps);
    hydro::skip_series_header(in);
    for (int32_t k = 0; k < n_steps; ++k) {
        hydro::skip_record_date(in, k);
        hydro::read_station_values(in, series, k);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::as_file(data, size, "p.txt");
    const int32_t n_steps = hydro::count_series_records(path, 1000000);
    if (n_steps < 0 || static_cast<std::size_t>(n_steps) > size) fail("count_series_records", std::to_string(n_steps));
    const int32_t n_stations = stations_on_header_line(path);
    for (auto read : {read_like_gridrun, read_like_areamean}) {
        try {
            read(path, n_stations, n_steps);
        } catch (const hydro::InputError& e) {
            fuzz_support::check_message(e, path);
        }
    }
    // A station count far beyond the file's columns must be refused without
    // allocating for it.
    try {
        read_like_gridrun(path, 2000000000, n_steps > 0 ? n_steps : 1);
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, path);
    }
    return 0;
}
