#include "forcing_stream.hpp"

#include <string>

#include "input_error.hpp"
#include "station_series.hpp"

namespace hydro {

ForcingStream::ForcingStream(const ModelInputs& in) : in_(in), n_files_(in.control.temperature_used() ? 3 : 2) {
    const StationSeries* series[3] = {&in.precipitation, &in.pet, &in.temperature};
    for (std::size_t v = 0; v < n_files_; ++v) {
        File& f = files_[v];
        f.series = series[v];
        f.passed.quantity = series[v]->quantity;
        f.passed.n_stations = series[v]->n_stations;
        f.passed.n_steps = series[v]->n_steps;
        open(f, v);
    }
}

ForcingStream::~ForcingStream() = default;

void ForcingStream::open(File& f, std::size_t v) {
    f.reader = std::make_unique<FreeFormatReader>(in_.series_files[v]);
    skip_series_header(*f.reader);
    f.next = 0;
}

void ForcingStream::read_record(std::size_t v, StationSeries& window, int32_t step) {
    FreeFormatReader& f = *files_[v].reader;
    if (v == 0) {
        const RecordDate d = read_record_date(f, step);
        const StepDate was = in_.calendar.date(static_cast<std::size_t>(step));
        if (d.year != was.year || d.month != was.month || d.day != was.day || d.hour != was.hour)
            f.fail("the date of record " + std::to_string(step + 1) + " read before the run (" +
                       std::to_string(was.year) + " " + std::to_string(was.month) + " " + std::to_string(was.day) +
                       " " + std::to_string(was.hour) + "): was the file changed during the run?",
                   std::to_string(d.year) + " " + std::to_string(d.month) + " " + std::to_string(d.day) + " " +
                       std::to_string(d.hour));
    } else {
        skip_record_date(f, step);
    }
    read_station_values(f, window, step);
}

void ForcingStream::read_tile(std::size_t v, std::size_t t0, std::size_t len, TileSteps& steps) {
    TileForcing* forcing[3] = {&steps.rain, &steps.pet, &steps.temperature};
    if (v >= n_files_) {
        *forcing[v] = TileForcing{};
        return;
    }
    File& f = files_[v];
    if (t0 < f.next) open(f, v);
    f.passed.hold(0, 1);
    for (; f.next < t0; ++f.next) {
        f.passed.first_step = static_cast<int32_t>(f.next);
        read_record(v, f.passed, static_cast<int32_t>(f.next));
    }
    StationSeries& w = steps.window[v];
    w.quantity = f.series->quantity;
    w.n_stations = f.series->n_stations;
    w.n_steps = f.series->n_steps;
    w.hold(static_cast<int32_t>(t0), static_cast<int32_t>(len));
    *forcing[v] = TileForcing{w.values.data(), len};
    for (std::size_t t = t0; t < t0 + len; ++t) read_record(v, w, static_cast<int32_t>(t));
    f.next = t0 + len;
}

void ForcingStream::read_tile(std::size_t t0, std::size_t len, TileSteps& steps) {
    for (std::size_t v = 0; v < 3; ++v) read_tile(v, t0, len, steps);
}

}  // namespace hydro
