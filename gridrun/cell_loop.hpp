// The cell loop: every valid cell, in row-major order, through every time
// step: forcing and snow, interception, surface runoff and depressions, soil
// water, routing of the cell's runoff and interflow to the outlet (or to its
// subbasin outlet), the soil moisture update, and the accumulators.
#pragma once

#include <cstdio>

#include "model_state.hpp"

namespace hydro {

// Whether a grid position is simulated: root depth, porosity, slope, the
// precipitation station, the subbasin and the runoff coefficient all >= 0.
bool is_valid_cell(const Catchment& g, std::size_t i);

// Snow pack (mm) at the start of the run, by the month of the first step.
float initial_snow_storage(int32_t month);

// Runs the cell loop, writing one progress line per cell to `progress`
// (nullptr for none).
void run_cell_loop(const ModelInputs& in, RunAccumulators& acc, std::FILE* progress);

}  // namespace hydro
