// The cell loop: every valid cell, in row-major order, through every time
// step: forcing and snow, interception, surface runoff and depressions, soil
// water, routing of the cell's runoff and interflow to the outlet (or to its
// subbasin outlet), the soil moisture update, and the accumulators.
//
// Cells are independent of each other, so blocks of cells are simulated on
// several threads. Each cell keeps its contributions to the basin and
// subbasin sums per step; a block's contributions are then added cell by
// cell in the cell order, so every sum is formed exactly as in a serial run
// and the results do not depend on the number of threads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "model_state.hpp"

namespace hydro {

// Whether a grid position is simulated: root depth, porosity, slope, the
// precipitation station, the subbasin and the runoff coefficient all >= 0.
bool is_valid_cell(const Catchment& g, std::size_t i);

// Snow pack (mm) at the start of the run, by the month of the first step.
float initial_snow_storage(int32_t month);

struct CellLoopOptions {
    int threads = 1;               // 1: everything on the calling thread
    std::FILE* progress = nullptr; // one line per cell, or nullptr for none
    bool flush_progress = false;   // flush after every block (a terminal)
    std::function<void(double)> on_progress;  // share of the cells done, in order, rate-limited
};

void run_cell_loop(const RunView& run, RunAccumulators& acc, const CellLoopOptions& options);

}  // namespace hydro
