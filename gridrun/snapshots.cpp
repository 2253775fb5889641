#include "snapshots.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "ascii_grid.hpp"
#include "system_calls.hpp"

namespace hydro {

void prepare_snapshot_sums(const ModelInputs& in, const ControlFile& control, SnapshotSums& snap) {
    snap.grid_size = static_cast<std::size_t>(in.sizes.n_rows) * static_cast<std::size_t>(in.sizes.n_cols);
    for (int k = 0; k < kSnapshotKinds; ++k) snap.sum[k].assign(control.periods[k].size() * snap.grid_size, 0.0f);
    snap.moisture_step_count.assign(control.periods[kMoisture].size(), 0);
}

GroundwaterEvaporationMaps::GroundwaterEvaporationMaps(const ModelInputs& in, const ControlFile& control,
                                                       std::size_t memory_bytes)
    : in_(in), control_(control), n_subbasins_(static_cast<std::size_t>(in.sizes.n_subbasins)) {
    const StepCalendar& cal = in.calendar;
    int32_t previous = cal.size() > 0 ? cal.date_code[0] : 0;
    for (std::size_t t = 1; t < cal.size() && dates_ascending_; ++t) {
        const int32_t code = cal.date_code[t];
        if (code < previous) dates_ascending_ = false;
        previous = code;
    }
    done_.assign(control.periods[kEvaporation].size(), 0);
    memory_steps_ = std::max<std::size_t>(memory_bytes / (sizeof(std::size_t) + n_subbasins_ * sizeof(float)), 1);
}

GroundwaterEvaporationMaps::~GroundwaterEvaporationMaps() {
    if (file_) std::fclose(file_);
}

namespace {

// The folder of temporary files: TMPDIR, else the system's.
std::string scratch_folder() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : system_calls::default_scratch_folder();
}

[[noreturn]] void temporary_file_failed(const char* what) {
    const int error = errno;
    throw std::runtime_error("the groundwater evaporation of a long evaporation-map period could not be " +
                             std::string(what) + " a temporary file in " + scratch_folder() + " (" +
                             std::strerror(error) + "); set TMPDIR to a folder with free space");
}

// A file that disappears with the run: created in the folder of temporary
// files and removed from it at once (on Windows: when it is closed).
std::FILE* open_scratch_file() { return system_calls::open_scratch_file(scratch_folder()); }

}  // namespace

void GroundwaterEvaporationMaps::move_to_file() {
    if (!file_ && !(file_ = open_scratch_file())) temporary_file_failed("kept in");
    if (::fseeko(file_, 0, SEEK_END) != 0) temporary_file_failed("written to");
    for (std::size_t e = 0; e < steps_.size(); ++e) {
        const uint64_t step = steps_[e];
        if (std::fwrite(&step, sizeof step, 1, file_) != 1 ||
            std::fwrite(&values_[e * n_subbasins_], sizeof(float), n_subbasins_, file_) != n_subbasins_)
            temporary_file_failed("written to");
    }
    if (std::fflush(file_) != 0) temporary_file_failed("written to");
    file_steps_ += steps_.size();
    steps_.clear();
    values_.clear();
}

void GroundwaterEvaporationMaps::keep(std::size_t t, const std::vector<float>& groundwater_evaporation) {
    bool in_a_period = false;
    const int32_t code = in_.calendar.date_code[t];
    for (const SnapshotPeriod& p : control_.periods[kEvaporation]) in_a_period |= p.contains(code);
    if (!in_a_period) return;
    if (steps_.empty()) {
        steps_.reserve(memory_steps_);
        values_.reserve(memory_steps_ * n_subbasins_);
    }
    steps_.push_back(t);
    values_.insert(values_.end(), groundwater_evaporation.begin(), groundwater_evaporation.begin() + n_subbasins_);
    if (steps_.size() >= memory_steps_) move_to_file();
}

void GroundwaterEvaporationMaps::add_completed(SnapshotSums& snap, std::size_t next_step, bool end_of_run) {
    const auto& periods = control_.periods[kEvaporation];
    const StepCalendar::Field& code = in_.calendar.date_code;
    if (!end_of_run && (!dates_ascending_ || next_step == 0 || next_step >= in_.calendar.size())) return;
    // With ascending dates, a period that ends before the next step's date is complete.
    std::vector<std::size_t> complete;
    for (std::size_t j = 0; j < periods.size(); ++j)
        if (!done_[j] && (end_of_run || periods[j].end_code < code[next_step])) complete.push_back(j);
    if (complete.empty()) return;
    for (std::size_t j : complete) done_[j] = 1;

    // One pass over the kept steps, in order: each complete map gets the
    // steps of its period; the first step that a map still open needs is
    // where the kept steps start from now on.
    const std::vector<int32_t>& subbasin = in_.catchment.subbasin_id;
    std::size_t first_needed = file_steps_ + steps_.size();
    auto add_step = [&](std::size_t e, std::size_t step, const float* g) {
        const int32_t c = code[step];
        for (std::size_t j : complete) {
            if (!periods[j].contains(c)) continue;
            float* sum = &snap.sum[kEvaporation][j * snap.grid_size];
            for (std::size_t i = 0; i < snap.grid_size; ++i)
                if (subbasin[i] > 0) sum[i] = sum[i] + g[static_cast<std::size_t>(subbasin[i] - 1)];
        }
        if (first_needed > e)
            for (std::size_t j = 0; j < periods.size(); ++j)
                if (!done_[j] && periods[j].contains(c)) {
                    first_needed = e;
                    break;
                }
    };
    if (file_steps_ > file_skip_) {
        const std::size_t record = sizeof(uint64_t) + n_subbasins_ * sizeof(float);
        if (::fseeko(file_, static_cast<off_t>(file_skip_ * record), SEEK_SET) != 0) temporary_file_failed("read from");
        std::vector<unsigned char> chunk(record * 4096);
        std::vector<float> g(n_subbasins_);
        for (std::size_t e = file_skip_; e < file_steps_;) {
            const std::size_t n = std::min<std::size_t>(4096, file_steps_ - e);
            if (std::fread(chunk.data(), record, n, file_) != n) temporary_file_failed("read from");
            for (std::size_t r = 0; r < n; ++r, ++e) {
                uint64_t step;
                std::memcpy(&step, &chunk[r * record], sizeof step);
                std::memcpy(g.data(), &chunk[r * record + sizeof step], n_subbasins_ * sizeof(float));
                add_step(e, static_cast<std::size_t>(step), g.data());
            }
        }
    }
    for (std::size_t e = 0; e < steps_.size(); ++e) add_step(file_steps_ + e, steps_[e], &values_[e * n_subbasins_]);

    // Forget the steps whose periods are all complete.
    if (first_needed >= file_steps_) {
        const std::size_t drop = first_needed - file_steps_;
        if (file_steps_ > 0) {
            if (::ftruncate(::fileno(file_), 0) != 0) temporary_file_failed("emptied in");
            file_steps_ = file_skip_ = 0;
        }
        steps_.erase(steps_.begin(), steps_.begin() + static_cast<std::ptrdiff_t>(drop));
        values_.erase(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(drop * n_subbasins_));
    } else {
        file_skip_ = first_needed;
    }
}

std::string snapshot_file_name(int kind, int32_t period) {
    static const char* const prefix[kSnapshotKinds] = {"runoff", "interflow", "recharge", "moisture", "evaporation"};
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d", period);
    return std::string(prefix[kind]) + digits + ".asc";
}

void finish_maps(const RunView& run, SnapshotSums& snap, const std::vector<ResultSink*>& sinks) {
    const Catchment& g = run.catchment;
    std::vector<float> values(snap.grid_size);
    for (int k = 0; k < kSnapshotKinds; ++k) {
        const std::size_t n_periods = run.control.periods[k].size();
        for (std::size_t j = 0; j < n_periods; ++j) {
            float* sum = &snap.sum[k][j * snap.grid_size];
            if (k == kMoisture) {
                // Mean moisture of the period as a fraction of the pore storage;
                // no-data where the period holds no step or there is no pore space.
                const int32_t count = snap.moisture_step_count[j];
                for (std::size_t i = 0; i < snap.grid_size; ++i) {
                    if (g.subbasin_id[i] < 0 || sum[i] < 0.0f || count == 0 || !(g.porosity[i] > 0.0f))
                        sum[i] = -1.0f;
                    else
                        sum[i] = (sum[i] / static_cast<float>(count)) / g.porosity[i];
                }
            }
            // Outside the basin and below zero the maps hold -1.
            for (std::size_t i = 0; i < snap.grid_size; ++i)
                values[i] = g.subbasin_id[i] < 0 || sum[i] < 0.0f ? -1.0f : sum[i];
            const MapResult map{k, static_cast<int32_t>(j + 1), values};
            for (ResultSink* sink : sinks) sink->map(map);
        }
    }
}

}  // namespace hydro
