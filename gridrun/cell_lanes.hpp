// The cell kernel over a block of cells and a tile of steps, several cells
// side by side (see cell_loop.hpp for what it produces).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cell_loop.hpp"
#include "cell_step.hpp"

namespace hydro {

void simulate_block_lanes(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first, std::size_t count,
                          const TileSteps& steps, ModelState& state, SnapshotSums& maps, BlockTile& out);

// Adds one contribution of a group's first `real` lanes to their sums in lane
// order: sums[l][t] = y[l * len + t] + sums[l][t].
void add_group_lanes(const float* y, std::size_t len, int real, float* const* sums);

// One step of the water balance of a cell: its grids, its stores before the
// step (after it, the soil moisture updated), the forcing, the fluxes.
struct CellStepCase {
    CellGrids<float> grids;
    CellStores<float> stores;
    float rain = 0, pet = 0, temperature = 0;
    StepFluxes<float> fluxes{};
};

// The cases through the cell kernel in use, cells side by side (for
// comparisons with one cell at a time).
void water_balance_lanes(const ControlFile& control, float dry_runoff_coefficient, float seasonal_factor,
                         std::vector<CellStepCase>& cases);

// powf(x[i], y[i]), logf(x[i]) or expf(x[i]) of n arguments through the lanes
// of the named kernel (for the checks of their bits); false if the processor
// lacks it.
enum class LaneFunctionKind { pow, log, exp };
bool lane_math(const std::string& kernel_name, LaneFunctionKind f, const float* x, const float* y, float* out,
               std::size_t n);

}  // namespace hydro
