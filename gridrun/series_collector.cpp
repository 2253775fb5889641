#include "series_collector.hpp"

namespace hydro {

void SeriesCollector::begin(const RunInfo& info) {
    for (std::vector<float>* s : {&surface_flow, &interflow, &groundwater_flow, &flow, &rain}) {
        s->clear();
        s->reserve(info.n_steps);
    }
    balance.clear();
    if (keep_balance_) balance.reserve(info.n_steps);
    n_reported = info.run_mode == 2 ? info.reported_subbasins.size() : 0;
    reported_flows.clear();
    reported_flows.reserve(n_reported * info.n_steps);
}

void SeriesCollector::step(const StepResult& r) {
    surface_flow.push_back(r.q_tot.surface_flow);
    interflow.push_back(r.q_tot.interflow);
    groundwater_flow.push_back(r.q_tot.groundwater_flow);
    flow.push_back((r.q_tot.surface_flow + r.q_tot.interflow) + r.q_tot.groundwater_flow);
    rain.push_back(r.q_tot.rain);
    if (keep_balance_) balance.push_back(r.balance);
    if (n_reported) reported_flows.insert(reported_flows.end(), r.reported_flows.begin(), r.reported_flows.end());
}

}  // namespace hydro
