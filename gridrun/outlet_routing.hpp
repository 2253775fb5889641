// The second pass: step by step, each subbasin's groundwater store is
// advanced and its outflow routed with the river response to the basin
// outlet; when cells drain to their subbasin outlets (run mode 2), the
// subbasin surface flow and interflow are routed the same way and the totals
// of the reported subbasins formed. The records of every step are collected.
#pragma once

#include <string>

#include "model_state.hpp"

namespace hydro {

struct ResultTexts {
    std::string q_tot, balance, q_sub;  // records only, no headers
};

ResultTexts run_second_pass(const ModelInputs& in, RunAccumulators& acc);

}  // namespace hydro
