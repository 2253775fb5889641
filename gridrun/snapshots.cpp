#include "snapshots.hpp"

#include <cstdio>

#include "ascii_grid.hpp"

namespace hydro {

void prepare_snapshot_sums(const ModelInputs& in, const ControlFile& control, SnapshotSums& snap) {
    snap.grid_size = static_cast<std::size_t>(in.sizes.n_rows) * static_cast<std::size_t>(in.sizes.n_cols);
    for (int k = 0; k < kSnapshotKinds; ++k) snap.sum[k].assign(control.periods[k].size() * snap.grid_size, 0.0f);
    snap.moisture_step_count.assign(control.periods[kMoisture].size(), 0);
}

GroundwaterEvaporationMaps::GroundwaterEvaporationMaps(const ModelInputs& in, const ControlFile& control)
    : in_(in), control_(control), n_subbasins_(static_cast<std::size_t>(in.sizes.n_subbasins)) {
    const StepCalendar& cal = in.calendar;
    int32_t previous = cal.size() > 0 ? cal.date_code[0] : 0;
    for (std::size_t t = 1; t < cal.size() && dates_ascending_; ++t) {
        const int32_t code = cal.date_code[t];
        if (code < previous) dates_ascending_ = false;
        previous = code;
    }
    done_.assign(control.periods[kEvaporation].size(), 0);
}

void GroundwaterEvaporationMaps::keep(std::size_t t, const std::vector<float>& groundwater_evaporation) {
    bool in_a_period = false;
    for (const SnapshotPeriod& p : control_.periods[kEvaporation]) in_a_period |= p.contains(in_.calendar.date_code[t]);
    if (!in_a_period) return;
    steps_.push_back(t);
    values_.insert(values_.end(), groundwater_evaporation.begin(), groundwater_evaporation.begin() + n_subbasins_);
}

void GroundwaterEvaporationMaps::add_completed(SnapshotSums& snap, std::size_t next_step, bool end_of_run) {
    const auto& periods = control_.periods[kEvaporation];
    const StepCalendar::Field& code = in_.calendar.date_code;
    if (!end_of_run && (!dates_ascending_ || next_step == 0 || next_step >= in_.calendar.size())) return;
    const std::vector<int32_t>& subbasin = in_.catchment.subbasin_id;
    for (std::size_t j = 0; j < periods.size(); ++j) {
        if (done_[j]) continue;
        // With ascending dates, a period that ends before the next step's date is complete.
        if (!end_of_run && !(periods[j].end_code < code[next_step])) continue;
        float* sum = &snap.sum[kEvaporation][j * snap.grid_size];
        for (std::size_t e = 0; e < steps_.size(); ++e) {
            if (!periods[j].contains(code[steps_[e]])) continue;
            const float* g = &values_[e * n_subbasins_];
            for (std::size_t i = 0; i < snap.grid_size; ++i)
                if (subbasin[i] > 0) sum[i] = sum[i] + g[static_cast<std::size_t>(subbasin[i] - 1)];
        }
        done_[j] = 1;
    }
    // Forget the steps whose periods are all complete.
    std::size_t keep_from = 0;
    while (keep_from < steps_.size()) {
        bool needed = false;
        for (std::size_t j = 0; j < periods.size(); ++j)
            needed |= !done_[j] && periods[j].contains(code[steps_[keep_from]]);
        if (needed) break;
        ++keep_from;
    }
    if (keep_from > 0) {
        steps_.erase(steps_.begin(), steps_.begin() + static_cast<std::ptrdiff_t>(keep_from));
        values_.erase(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(keep_from * n_subbasins_));
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
