#include "forcing_stream.hpp"

#include <string>

#include "input_error.hpp"
#include "station_series.hpp"

namespace hydro {

ForcingStream::ForcingStream(const ModelInputs& in)
    : in_(in), series_{&in.precipitation, &in.pet, &in.temperature}, n_files_(in.control.temperature_used() ? 3 : 2) {
    for (std::size_t v = 0; v < n_files_; ++v) {
        passed_[v].quantity = series_[v]->quantity;
        passed_[v].n_stations = series_[v]->n_stations;
        passed_[v].n_steps = series_[v]->n_steps;
    }
    open();
}

ForcingStream::~ForcingStream() = default;

void ForcingStream::open() {
    for (std::size_t v = 0; v < n_files_; ++v) {
        files_[v] = std::make_unique<FreeFormatReader>(in_.series_files[v]);
        skip_series_header(*files_[v]);
    }
    next_ = 0;
}

void ForcingStream::read_record(std::size_t v, StationSeries& window, int32_t step) {
    FreeFormatReader& f = *files_[v];
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

void ForcingStream::read_tile(std::size_t t0, std::size_t len, TileSteps& steps) {
    if (t0 < next_) open();
    for (std::size_t v = 0; v < n_files_; ++v) passed_[v].hold(0, 1);
    for (; next_ < t0; ++next_)
        for (std::size_t v = 0; v < n_files_; ++v) {
            passed_[v].first_step = static_cast<int32_t>(next_);
            read_record(v, passed_[v], static_cast<int32_t>(next_));
        }
    TileForcing* forcing[3] = {&steps.rain, &steps.pet, &steps.temperature};
    for (std::size_t v = 0; v < 3; ++v) {
        StationSeries& w = steps.window[v];
        w.quantity = series_[v]->quantity;
        w.n_stations = series_[v]->n_stations;
        w.n_steps = series_[v]->n_steps;
        if (v < n_files_) w.hold(static_cast<int32_t>(t0), static_cast<int32_t>(len));
        *forcing[v] = TileForcing{v < n_files_ ? w.values.data() : nullptr, len};
    }
    // File after file: each reader goes on through its own buffer.
    for (std::size_t v = 0; v < n_files_; ++v)
        for (std::size_t t = t0; t < t0 + len; ++t) read_record(v, steps.window[v], static_cast<int32_t>(t));
    next_ = t0 + len;
}

}  // namespace hydro
