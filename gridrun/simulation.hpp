// The run's schedule: the steps in tiles, the valid cells in blocks. Threads
// take (tile, block) pieces in order; a block advances its cells through a
// tile as soon as the same block has finished the tile before; the pieces
// are added to the tile's sums strictly in order. A completed tile is routed
// to the outlets and its records handed to the sinks, tile after tile, and
// the forcing of the tiles ahead is read, each on a thread of its own where
// the run has several (else in turn by the thread that completes a tile):
// every sum is formed in the same order either way. A few tiles' sums and
// forcing are held, so memory does not grow with the number of steps.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "cell_loop.hpp"
#include "model_state.hpp"
#include "outlet_routing.hpp"
#include "result_sink.hpp"
#include "snapshots.hpp"

namespace hydro {

struct ScheduleOptions {
    int threads = 1;
    std::FILE* progress = nullptr;  // one line per cell, or nullptr
    bool flush_progress = false;
    std::function<void(double)> on_progress;  // share done, rate-limited
    std::size_t tile_steps = 0;               // 0: chosen for the cache
    std::size_t first_step = 0;               // the step the state is the state before
};

struct ScheduleOutcome {
    FirstNonFinite cell_non_finite, groundwater_non_finite;
    double routing_seconds = 0;  // wall-clock time spent routing the tiles to the outlets
};

// The state a run starts from without a saved state: soil moisture from the
// run's initial moisture, the snow of the first month, empty canopy,
// depressions and routing, the initial groundwater.
ModelState initial_model_state(const RunView& run);

// A saved state laid out for this run: the same run mode, cells and
// subbasins (else std::invalid_argument); routing tails cut or padded with
// zeros to this run's lengths.
ModelState state_for_run(const RunView& run, const ModelState& saved);

// The schedule of one run, resumable: the steps may be run in several
// stretches, each going on from where the last ended; results never depend on
// where the stretches end. `state` holds the state after the last step run.
class ForcingStream;

class StepSchedule {
  public:
    StepSchedule(const RunView& run, ModelState& state, SnapshotSums& maps, const std::vector<ResultSink*>& sinks,
                 const ScheduleOptions& options);
    ~StepSchedule();
    StepSchedule(const StepSchedule&) = delete;
    StepSchedule& operator=(const StepSchedule&) = delete;
    // Runs the steps from next_step() up to (not including) `end`, at most the run's last.
    void advance(std::size_t end);
    std::size_t next_step() const { return next_; }
    std::size_t run_steps() const;
    // After the last stretch: the maps get what they still lack.
    ScheduleOutcome finish();

  private:
    struct Stretch;
    // The calendar, map entries and forcing of the tile of `len` steps from
    // t0; or where the series are read by tile, a part of it: with file 0
    // the calendar and map entries and the forcing of that file, with the
    // others only their forcing.
    static constexpr std::size_t kEveryFile = static_cast<std::size_t>(-1);
    void prepare_tile(std::size_t t0, std::size_t len, TileSteps& steps, std::size_t only_file = kEveryFile);

    const RunView& run_;
    ModelState& state_;
    SnapshotSums& maps_;
    const std::vector<ResultSink*>& sinks_;
    ScheduleOptions options_;
    std::vector<ValidCell> cells_;
    std::unique_ptr<ForcingStream> forcing_;  // where the series are read a tile at a time
    OutletRouting routing_;
    GroundwaterEvaporationMaps gw_maps_;
    FirstNonFinite cell_non_finite_;
    double routing_seconds_ = 0;  // routing is done by one thread at a time, in tile order
    std::size_t next_ = 0;
    std::chrono::steady_clock::time_point last_report_{};
};

// Runs every step from `state` (left at the state after the last step).
ScheduleOutcome run_schedule(const RunView& run, ModelState& state, SnapshotSums& maps,
                             const std::vector<ResultSink*>& sinks, const ScheduleOptions& options);

}  // namespace hydro
