#include "snapshots.hpp"

#include <cstdio>

#include "ascii_grid.hpp"

namespace hydro {

void prepare_snapshot_sums(const ModelInputs& in, SnapshotSums& snap) {
    const std::size_t steps = static_cast<std::size_t>(in.sizes.n_steps);
    snap.grid_size = static_cast<std::size_t>(in.sizes.n_rows) * static_cast<std::size_t>(in.sizes.n_cols);
    for (int k = 0; k < kSnapshotKinds; ++k) {
        const auto& periods = in.control.periods[k];
        snap.sum[k].assign(periods.size() * snap.grid_size, 0.0f);
        snap.periods_of_step[k].assign(steps, {});
        for (std::size_t t = 0; t < steps; ++t)
            for (std::size_t j = 0; j < periods.size(); ++j)
                if (periods[j].contains(in.calendar.date_code[t]))
                    snap.periods_of_step[k][t].push_back(static_cast<int32_t>(j));
    }
    snap.moisture_step_count.assign(in.control.periods[kMoisture].size(), 0);
}

void add_groundwater_evaporation(const ModelInputs& in, SnapshotSums& snap, std::size_t t,
                                 const std::vector<float>& groundwater_evaporation) {
    const std::vector<int32_t>& subbasin = in.catchment.subbasin_id;
    for (int32_t j : snap.periods_of_step[kEvaporation][t]) {
        float* sum = &snap.sum[kEvaporation][static_cast<std::size_t>(j) * snap.grid_size];
        for (std::size_t i = 0; i < snap.grid_size; ++i)
            if (subbasin[i] > 0) sum[i] = sum[i] + groundwater_evaporation[static_cast<std::size_t>(subbasin[i] - 1)];
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
