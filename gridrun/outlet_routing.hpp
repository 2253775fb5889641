// The second pass: step by step, each subbasin's groundwater store is
// advanced and its outflow routed with the river response to the basin
// outlet; when cells drain to their subbasin outlets (run mode 2), the
// subbasin surface flow and interflow are routed the same way and the totals
// of the reported subbasins formed. The records of every step go to the sinks.
#pragma once

#include <vector>

#include "model_state.hpp"
#include "result_sink.hpp"

namespace hydro {

// Hands every step's records to the sinks, in order.
void run_second_pass(const RunView& run, RunAccumulators& acc, const std::vector<ResultSink*>& sinks);

}  // namespace hydro
