// The run's schedule: the steps in tiles, the valid cells in blocks. Threads
// take (tile, block) pieces in order; a block advances its cells through a
// tile as soon as the same block has finished the tile before; the pieces
// are added to the tile's sums strictly in order, and the piece that
// completes a tile also routes it to the outlets and hands its records to
// the sinks. Only one tile's sums are held, so memory does not grow with
// the number of steps.
#pragma once

#include <cstdio>
#include <functional>
#include <vector>

#include "model_state.hpp"
#include "result_sink.hpp"

namespace hydro {

struct ScheduleOptions {
    int threads = 1;
    std::FILE* progress = nullptr;  // one line per cell, or nullptr
    bool flush_progress = false;
    std::function<void(double)> on_progress;  // share done, rate-limited
    std::size_t tile_steps = 0;               // 0: chosen for the cache
};

struct ScheduleOutcome {
    FirstNonFinite cell_non_finite, groundwater_non_finite;
};

// The state a run starts from without a saved state: soil moisture from the
// run's initial moisture, the snow of the first month, empty canopy,
// depressions and routing, the initial groundwater.
ModelState initial_model_state(const RunView& run);

// A saved state laid out for this run: the same run mode, cells and
// subbasins (else std::invalid_argument); routing tails cut or padded with
// zeros to this run's lengths.
ModelState state_for_run(const RunView& run, const ModelState& saved);

// Runs every step from `state` (left at the state after the last step).
ScheduleOutcome run_schedule(const RunView& run, ModelState& state, SnapshotSums& maps,
                             const std::vector<ResultSink*>& sinks, const ScheduleOptions& options);

}  // namespace hydro
