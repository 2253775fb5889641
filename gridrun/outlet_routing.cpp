#include "outlet_routing.hpp"

#include <algorithm>
#include <cmath>

#include "groundwater.hpp"

namespace hydro {

namespace {

// Adds a flow leaving subbasin s at the tile's step tau to the outlet series
// with the river response: arrival at tau + lag.
inline void route_to_outlet(float flow, const ResponseTable& river, std::size_t s, std::size_t tau, std::size_t window,
                            float* outlet) {
    const int32_t first = river.first(s);
    const int64_t last = std::min<int64_t>(river.last(s), static_cast<int64_t>(window) - 1);
    const float* uh = river.ordinates(s);
    for (int64_t m = first; m <= last; ++m) {
        const std::size_t a = tau + static_cast<std::size_t>(m);
        outlet[a] = flow * uh[m - first] + outlet[a];
    }
}

}  // namespace

std::size_t river_tail_length(const ResponseTable& river, std::size_t cap) {
    std::size_t len = 0;
    for (std::size_t s = 0; s < river.size(); ++s)
        if (river.last(s) >= river.first(s) && river.last(s) >= 0)
            len = std::max(len, std::min<std::size_t>(static_cast<std::size_t>(river.last(s)) + 1, cap));
    return len;
}

OutletRouting::OutletRouting(const RunView& run, ModelState& state) : run_(run), state_(state) {
    const std::size_t n_sub = static_cast<std::size_t>(run.in.sizes.n_subbasins);
    const Catchment& g = run.catchment;
    recession_.resize(n_sub);
    for (std::size_t s = 0; s < n_sub; ++s)
        recession_[s] = (run.control.groundwater_recession * g.subbasin_mean_slope[s]) / g.basin_mean_slope;
    groundwater_evaporation_.assign(n_sub, 0.0f);
    reported_flow_.assign(run.control.reported_subbasins.size(), 0.0f);
    subbasin_flow_.assign(run.in.sizes.run_mode == 2 ? n_sub : 0, 0.0f);
}

void OutletRouting::advance_tile(TileSums& sums, std::size_t t0, SnapshotSums& maps,
                                 GroundwaterEvaporationMaps& gw_maps, const std::vector<ResultSink*>& sinks) {
    const ModelInputs& in = run_.in;
    const ControlFile& cf = run_.control;
    const Catchment& g = run_.catchment;
    const std::size_t len = sums.len;
    const std::size_t n_sub = static_cast<std::size_t>(in.sizes.n_subbasins);
    const float n = static_cast<float>(in.sizes.n_cells);
    const bool mode2 = in.sizes.run_mode == 2;
    const std::size_t window = state_.outlet_groundwater_tail.size();
    const std::vector<int32_t>& reported = cf.reported_subbasins;

    // Arrivals at the outlet: what earlier tiles sent, then nothing yet.
    auto start = [&](std::vector<float>& series, const std::vector<float>& tail) {
        series.assign(len + window, 0.0f);
        std::copy(tail.begin(), tail.end(), series.begin());
    };
    start(groundwater_, state_.outlet_groundwater_tail);
    if (mode2) {
        start(surface_, state_.outlet_surface_tail);
        start(interflow_, state_.outlet_interflow_tail);
    }
    percolation_.assign(len, 0.0f);
    groundwater_runoff_.assign(len, 0.0f);
    groundwater_storage_.assign(len, 0.0f);
    std::vector<float>& storage = state_.groundwater;

    const StepCalendar& cal = in.calendar;
    for (std::size_t tau = 0; tau < len; ++tau) {
        const std::size_t t = t0 + tau;
        float max_groundwater_evaporation = 0.0f;
        std::fill(reported_flow_.begin(), reported_flow_.end(), 0.0f);
        for (std::size_t s = 0; s < n_sub; ++s) {
            const float m = static_cast<float>(g.subbasin_cell_count[s]);
            const std::size_t st = s * len + tau;
            const GroundwaterStep gw = groundwater_step(storage[s], recession_[s], sums.recharge[st], sums.pet[st],
                                                        sums.subbasin_evaporation[st], m, g.cell_area,
                                                        cf.time_step_hours, cf.groundwater_scale);
            storage[s] = gw.storage;
            if (!std::isfinite(gw.flow + gw.storage + gw.evaporation) && !non_finite_.found()) {
                non_finite_.step = t;
                non_finite_.subbasin = s;
            }
            groundwater_evaporation_[s] = gw.evaporation;
            percolation_[tau] = (m * sums.recharge[st]) / n + percolation_[tau];
            groundwater_runoff_[tau] = (m * gw.outflow) / n + groundwater_runoff_[tau];
            groundwater_storage_[tau] = (m * gw.storage) / n + groundwater_storage_[tau];
            if (gw.evaporation > 0.0f) {
                sums.evaporation[tau] = (m * gw.evaporation) / n + sums.evaporation[tau];
                if (gw.evaporation > max_groundwater_evaporation) max_groundwater_evaporation = gw.evaporation;
            }
            route_to_outlet(gw.flow, in.river_responses, s, tau, window, groundwater_.data());
            if (mode2) {
                const float surface = sums.arrival_surface[st], interflow = sums.arrival_interflow[st];
                const float total = (surface + interflow) + gw.flow;
                subbasin_flow_[s] = total;
                for (std::size_t p = 0; p < reported.size(); ++p)
                    if (static_cast<std::size_t>(reported[p]) == s + 1) reported_flow_[p] = total;
                route_to_outlet(surface, in.river_responses, s, tau, window, surface_.data());
                route_to_outlet(interflow, in.river_responses, s, tau, window, interflow_.data());
            }
        }
        if (max_groundwater_evaporation > 0.0f) gw_maps.keep(t, groundwater_evaporation_);

        StepResult r;
        r.step = t;
        const StepDate date = cal.date(t);
        r.year = date.year;
        r.month = date.month;
        r.day = date.day;
        r.hour = date.hour;
        const float outlet_surface = mode2 ? surface_[tau] : sums.arrival_surface[tau];
        const float outlet_interflow = mode2 ? interflow_[tau] : sums.arrival_interflow[tau];
        r.q_tot = {sums.rain[tau], outlet_surface, outlet_interflow, groundwater_[tau], sums.temperature[tau]};
        r.balance = {
            sums.rain[tau],           sums.interception[tau],    sums.moisture[tau],       sums.infiltration[tau],
            sums.evaporation[tau],    percolation_[tau],         sums.surface_runoff[tau], sums.interflow[tau],
            groundwater_runoff_[tau], groundwater_storage_[tau], sums.temperature[tau]};
        if (mode2) r.reported_flows = reported_flow_;
        r.subbasin_flows = subbasin_flow_;
        for (ResultSink* sink : sinks) sink->step(r);
    }

    auto keep_tail = [&](const std::vector<float>& series, std::vector<float>& tail) {
        std::copy(series.begin() + static_cast<std::ptrdiff_t>(len), series.end(), tail.begin());
    };
    keep_tail(groundwater_, state_.outlet_groundwater_tail);
    if (mode2) {
        keep_tail(surface_, state_.outlet_surface_tail);
        keep_tail(interflow_, state_.outlet_interflow_tail);
    }
    gw_maps.add_completed(maps, t0 + len, false);
}

}  // namespace hydro
