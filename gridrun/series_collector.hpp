// Result series kept in memory, for programs that use the numbers rather
// than the files (calibration, scores): the outlet flows of every step and,
// when asked, the basin balance and the reported subbasin flows.
#pragma once

#include <vector>

#include "result_sink.hpp"

namespace hydro {

class SeriesCollector : public ResultSink {
  public:
    explicit SeriesCollector(bool keep_balance = false) : keep_balance_(keep_balance) {}

    void begin(const RunInfo& info) override;
    void step(const StepResult& r) override;

    // Per step, m3/s at the basin outlet: surface flow, interflow,
    // groundwater flow and their sum (as written in q_tot.txt).
    std::vector<float> surface_flow, interflow, groundwater_flow, flow;
    std::vector<float> rain;  // basin mean, mm
    // Per step, when asked for: every column of balance.txt.
    std::vector<BalanceRecord> balance;
    // Run mode 2: per step the flows of the reported subbasins, step-major
    // ([step * n_reported + position in the control file's list]).
    std::vector<float> reported_flows;
    std::size_t n_reported = 0;

  private:
    bool keep_balance_;
};

}  // namespace hydro
