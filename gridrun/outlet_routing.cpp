#include "outlet_routing.hpp"

#include <cmath>

#include "groundwater.hpp"
#include "result_series.hpp"
#include "snapshots.hpp"

namespace hydro {

namespace {

// Adds a flow leaving subbasin s at step t to the outlet series with the
// river response: arrival at step t + lag, nothing after the last step.
inline void route_to_outlet(float flow, const ResponseTable& river, std::size_t s, std::size_t t, std::size_t n_steps,
                            StepSeries& outlet) {
    const int32_t first = river.first(s), last = river.last(s);
    const float* uh = river.ordinates(s);
    for (int32_t m = first; m <= last; ++m) {
        const std::size_t a = t + static_cast<std::size_t>(m);
        if (a >= n_steps) break;
        outlet[a] = flow * uh[m - first] + outlet[a];
    }
}

}  // namespace

void run_second_pass(const RunView& run, RunAccumulators& acc, const std::vector<ResultSink*>& sinks) {
    const ModelInputs& in = run.in;
    const RunSizes& sz = in.sizes;
    const ControlFile& cf = run.control;
    const Catchment& g = run.catchment;
    const std::size_t steps = static_cast<std::size_t>(sz.n_steps);
    const std::size_t n_sub = static_cast<std::size_t>(sz.n_subbasins);
    const float n = static_cast<float>(sz.n_cells);
    const bool mode2 = sz.run_mode == 2;
    BasinSeries& basin = acc.basin;
    SubbasinSeries& sub = acc.subbasin;

    std::vector<float> recession(n_sub), storage(n_sub, cf.initial_groundwater), groundwater_evaporation(n_sub, 0.0f);
    for (std::size_t s = 0; s < n_sub; ++s)
        recession[s] = (cf.groundwater_recession * g.subbasin_mean_slope[s]) / g.basin_mean_slope;
    std::vector<float> subbasin_flow(n_sub);
    const std::vector<int32_t>& reported = cf.reported_subbasins;
    std::vector<float> reported_flow(reported.size());

    for (std::size_t t = 0; t < steps; ++t) {
        float max_groundwater_evaporation = 0.0f;
        std::fill(reported_flow.begin(), reported_flow.end(), 0.0f);
        for (std::size_t s = 0; s < n_sub; ++s) {
            const float m = static_cast<float>(g.subbasin_cell_count[s]);
            const std::size_t st = sub.at(s, t);
            const GroundwaterStep gw =
                groundwater_step(storage[s], recession[s], sub.recharge[st], sub.pet[st], sub.evaporation[st], m,
                                 g.cell_area, cf.time_step_hours, cf.groundwater_scale);
            storage[s] = gw.storage;
            if (!std::isfinite(gw.flow + gw.storage + gw.evaporation) && !acc.groundwater_non_finite.found()) {
                acc.groundwater_non_finite.step = t;
                acc.groundwater_non_finite.subbasin = s;
            }
            groundwater_evaporation[s] = gw.evaporation;
            basin.percolation[t] = (m * sub.recharge[st]) / n + basin.percolation[t];
            basin.groundwater_runoff[t] = (m * gw.outflow) / n + basin.groundwater_runoff[t];
            basin.groundwater_storage[t] = (m * gw.storage) / n + basin.groundwater_storage[t];
            if (gw.evaporation > 0.0f) {
                basin.evaporation[t] = (m * gw.evaporation) / n + basin.evaporation[t];
                if (gw.evaporation > max_groundwater_evaporation) max_groundwater_evaporation = gw.evaporation;
            }
            route_to_outlet(gw.flow, in.river_responses, s, t, steps, basin.outlet_groundwater_flow);
            if (mode2) {
                const float total = (sub.surface_flow[st] + sub.interflow[st]) + gw.flow;
                for (std::size_t p = 0; p < reported.size(); ++p)
                    if (static_cast<std::size_t>(reported[p]) == s + 1) reported_flow[p] = total;
                route_to_outlet(sub.surface_flow[st], in.river_responses, s, t, steps, basin.outlet_surface_flow);
                route_to_outlet(sub.interflow[st], in.river_responses, s, t, steps, basin.outlet_interflow);
            }
        }
        if (max_groundwater_evaporation > 0.0f) add_groundwater_evaporation(in, acc.snapshots, t, groundwater_evaporation);

        const StepCalendar& cal = in.calendar;
        StepResult r;
        r.step = t;
        r.year = cal.year[t];
        r.month = cal.month[t];
        r.day = cal.day[t];
        r.hour = cal.hour[t];
        r.q_tot = {basin.rain[t], basin.outlet_surface_flow[t], basin.outlet_interflow[t],
                   basin.outlet_groundwater_flow[t], basin.temperature[t]};
        r.balance = {basin.rain[t],        basin.interception[t],       basin.moisture[t],
                     basin.infiltration[t], basin.evaporation[t],        basin.percolation[t],
                     basin.surface_runoff[t], basin.interflow[t],        basin.groundwater_runoff[t],
                     basin.groundwater_storage[t], basin.temperature[t]};
        if (mode2) r.reported_flows = reported_flow;
        for (ResultSink* sink : sinks) sink->step(r);
    }
}

}  // namespace hydro
