#include "simulation.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "cell_loop.hpp"
#include "forcing_stream.hpp"
#include "outlet_routing.hpp"
#include "snapshots.hpp"
#include "tile_jobs.hpp"

namespace hydro {

ModelState initial_model_state(const RunView& run) {
    const ModelInputs& in = run.in;
    const std::vector<ValidCell> cells = valid_cells(run.catchment, in.sizes.n_rows, in.sizes.n_cols);
    const std::size_t n = cells.size();
    const std::size_t steps = static_cast<std::size_t>(in.sizes.n_steps);
    ModelState s;
    s.run_mode = in.sizes.run_mode;
    s.soil_moisture.resize(n);
    for (std::size_t c = 0; c < n; ++c) s.soil_moisture[c] = run.initial_soil_moisture[cells[c].index];
    s.snow.assign(n, steps > 0 ? initial_snow_storage(in.calendar.month[0]) : 0.0f);
    s.canopy.assign(n, 0.0f);
    s.depression.assign(n, 0.0f);
    s.tail_offset = cell_tail_offsets(in.cell_responses, n, std::max<std::size_t>(steps, 1));
    s.surface_tail.assign(s.tail_offset.back(), 0.0f);
    s.interflow_tail.assign(s.tail_offset.back(), 0.0f);
    s.groundwater.assign(static_cast<std::size_t>(in.sizes.n_subbasins), run.control.initial_groundwater);
    const std::size_t window = river_tail_length(in.river_responses, std::max<std::size_t>(steps, 1));
    s.outlet_surface_tail.assign(window, 0.0f);
    s.outlet_interflow_tail.assign(window, 0.0f);
    s.outlet_groundwater_tail.assign(window, 0.0f);
    return s;
}

ModelState state_for_run(const RunView& run, const ModelState& saved) {
    ModelState s = initial_model_state(run);
    auto refuse = [](const std::string& what, std::size_t saved_n, std::size_t here) {
        throw std::invalid_argument("the initial state does not fit the project: it holds " + std::to_string(saved_n) +
                                    " " + what + ", the project has " + std::to_string(here));
    };
    if (saved.run_mode != s.run_mode)
        throw std::invalid_argument("the initial state does not fit the run: it was saved in run mode " +
                                    std::to_string(saved.run_mode) + ", this run is in run mode " +
                                    std::to_string(s.run_mode));
    const std::size_t n = s.soil_moisture.size();
    for (const std::vector<float>* v : {&saved.soil_moisture, &saved.snow, &saved.canopy, &saved.depression})
        if (v->size() != n) refuse("simulated cells", v->size(), n);
    if (saved.tail_offset.size() != n + 1 || saved.surface_tail.size() != saved.tail_offset.back() ||
        saved.interflow_tail.size() != saved.tail_offset.back())
        refuse("cell routing tails", saved.tail_offset.empty() ? 0 : saved.tail_offset.size() - 1, n);
    if (saved.groundwater.size() != s.groundwater.size())
        refuse("subbasins", saved.groundwater.size(), s.groundwater.size());
    s.soil_moisture = saved.soil_moisture;
    s.snow = saved.snow;
    s.canopy = saved.canopy;
    s.depression = saved.depression;
    s.groundwater = saved.groundwater;
    // Arrivals beyond this run's tails come after its last step.
    for (std::size_t c = 0; c < n; ++c) {
        const std::size_t len =
            std::min(saved.tail_offset[c + 1] - saved.tail_offset[c], s.tail_offset[c + 1] - s.tail_offset[c]);
        std::copy_n(&saved.surface_tail[saved.tail_offset[c]], len, &s.surface_tail[s.tail_offset[c]]);
        std::copy_n(&saved.interflow_tail[saved.tail_offset[c]], len, &s.interflow_tail[s.tail_offset[c]]);
    }
    auto fit = [](const std::vector<float>& from, std::vector<float>& to) {
        std::copy_n(from.begin(), std::min(from.size(), to.size()), to.begin());
    };
    fit(saved.outlet_surface_tail, s.outlet_surface_tail);
    fit(saved.outlet_interflow_tail, s.outlet_interflow_tail);
    fit(saved.outlet_groundwater_tail, s.outlet_groundwater_tail);
    return s;
}

namespace {

// Counts the steps of the tile in each moisture period (the maps' means).
void count_moisture_steps(const TileSteps& steps, SnapshotSums& maps) {
    for (std::size_t e = 0; e < steps.entry_slot.size(); ++e)
        if (steps.entry_kind[e] == kMoisture)
            maps.moisture_step_count[steps.entry_slot[e] - steps.kind_offset[kMoisture]] += 1;
}

struct TileGeometry {
    std::size_t block_size, n_blocks, tile_len;
};

// Blocks of at most 32 cells, and enough of them that every thread has
// work; tiles of about 8000 cell-steps per block, so that a block's
// contributions (13 values per cell and step) stay in the cache.
TileGeometry tile_geometry(std::size_t n_cells, std::size_t n_threads, std::size_t tile_steps, std::size_t longest) {
    TileGeometry g;
    g.block_size = std::clamp<std::size_t>((n_cells + n_threads - 1) / std::max<std::size_t>(n_threads, 1), 1, 32);
    g.n_blocks = std::max<std::size_t>(1, (n_cells + g.block_size - 1) / g.block_size);
    // A small basin gets longer tiles, so that the threads meet seldom.
    g.tile_len = tile_steps
                     ? tile_steps
                     : std::min(longest, std::clamp<std::size_t>(
                                             std::max(8192 / g.block_size, 131072 / std::max<std::size_t>(n_cells, 1)),
                                             128, 4096));
    return g;
}

// The longest tile whose forcing, read by tile, takes about 16 MB in the
// tiles in flight (`in_flight` tiles of every station of every series), so
// that many stations do not make a small basin's run large.
std::size_t longest_tile(const ModelInputs& in, std::size_t in_flight) {
    if (!in.series_streamed) return static_cast<std::size_t>(-1);
    const int64_t stations = int64_t{in.sizes.n_stations_p} + in.sizes.n_stations_e +
                             (in.sizes.temperature_used ? in.sizes.n_stations_t : 0);
    const std::size_t bytes_per_step =
        in_flight * sizeof(float) * static_cast<std::size_t>(std::max<int64_t>(1, stations));
    return std::max<std::size_t>(32, (std::size_t{16} << 20) / bytes_per_step);
}

}  // namespace

StepSchedule::StepSchedule(const RunView& run, ModelState& state, SnapshotSums& maps,
                           const std::vector<ResultSink*>& sinks, const ScheduleOptions& options)
    : run_(run),
      state_(state),
      maps_(maps),
      sinks_(sinks),
      options_(options),
      cells_(valid_cells(run.catchment, run.in.sizes.n_rows, run.in.sizes.n_cols)),
      forcing_(run.in.series_streamed ? std::make_unique<ForcingStream>(run.in) : nullptr),
      routing_(run, state),
      gw_maps_(run.in, run.control),
      next_(std::min(options.first_step, run_steps())) {}

StepSchedule::~StepSchedule() = default;

void StepSchedule::prepare_tile(std::size_t t0, std::size_t len, TileSteps& steps, std::size_t only_file) {
    if (only_file == 0 || only_file == kEveryFile) {
        prepare_tile_steps(run_.in, run_.control, t0, len, steps);
        count_moisture_steps(steps, maps_);
    }
    if (!forcing_)
        point_tile_forcing(run_.in, t0, len, steps);
    else if (only_file == kEveryFile)
        forcing_->read_tile(t0, len, steps);
    else
        forcing_->read_tile(only_file, t0, len, steps);
}

std::size_t StepSchedule::run_steps() const { return static_cast<std::size_t>(run_.in.sizes.n_steps); }

ScheduleOutcome StepSchedule::finish() {
    gw_maps_.add_completed(maps_, run_steps(), true);
    ScheduleOutcome outcome;
    outcome.cell_non_finite = cell_non_finite_;
    outcome.groundwater_non_finite = routing_.non_finite();
    outcome.routing_seconds = routing_seconds_;
    return outcome;
}

ScheduleOutcome run_schedule(const RunView& run, ModelState& state, SnapshotSums& maps,
                             const std::vector<ResultSink*>& sinks, const ScheduleOptions& options) {
    StepSchedule schedule(run, state, maps, sinks, options);
    schedule.advance(schedule.run_steps());
    return schedule.finish();
}

// One stretch of the schedule (one call of advance): its pieces, the
// counters that keep their additions in order, and the steps and sums of the
// tiles in flight. Tile k uses steps[k % kRing] and sums[k % kRing]: the
// forcing of a tile is read, and a finished tile routed to the outlets (its
// records written), while the cells go on through the next tiles.
struct StepSchedule::Stretch {
    static constexpr std::size_t kRing = 3;

    StepSchedule& s;
    const std::size_t t_begin, n_steps, n_sub, n_cells, n_threads;
    const bool mode2, write_progress;
    const TileGeometry geometry;
    const std::size_t n_tiles, n_items;
    TileSums sums[kRing];
    TileSteps steps[kRing];
    // Pieces are added in order, each in two parts: `first_added` counts the
    // pieces whose first part is in, `added` those that are complete.
    std::atomic<std::size_t> first_added{0}, added{0}, next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex error_mutex;
    // With several threads, routing has a thread, and reading one per series
    // file; declared last, so that they stop before anything they use goes.
    std::vector<std::unique_ptr<TileJobs>> readers;
    TileJobs router;

    Stretch(StepSchedule& schedule, std::size_t begin, std::size_t end)
        : s(schedule),
          t_begin(begin),
          n_steps(end - begin),
          n_sub(static_cast<std::size_t>(s.run_.in.sizes.n_subbasins)),
          n_cells(s.cells_.size()),
          n_threads(static_cast<std::size_t>(std::max(1, s.options_.threads))),
          mode2(s.run_.in.sizes.run_mode == 2),
          // The cell progress lines are written while the first steps are simulated.
          write_progress(s.options_.progress && begin == 0),
          geometry(tile_geometry(n_cells, n_threads, s.options_.tile_steps, longest_tile(s.run_.in, kRing))),
          n_tiles((n_steps + geometry.tile_len - 1) / geometry.tile_len),
          n_items(n_tiles * geometry.n_blocks),
          router([this](std::size_t k) { route_tile(k); }, n_threads > 1) {
        if (n_threads > 1 && s.forcing_)
            for (std::size_t v = 0; v < s.forcing_->files(); ++v)
                readers.push_back(std::make_unique<TileJobs>([this, v](std::size_t k) { read_tile(k, v); }, true));
        else
            readers.push_back(std::make_unique<TileJobs>([this](std::size_t k) { read_tile(k, kEveryFile); }, false));
    }

    std::size_t tile_start(std::size_t k) const { return t_begin + k * geometry.tile_len; }
    std::size_t tile_length(std::size_t k) const {
        return std::min(geometry.tile_len, n_steps - k * geometry.tile_len);
    }

    void read_tile(std::size_t k, std::size_t file) {
        s.prepare_tile(tile_start(k), tile_length(k), steps[k % kRing], file);
    }
    void post_read(std::size_t k) {
        for (auto& r : readers) r->post(k);
    }
    bool wait_read(std::size_t k) {
        for (auto& r : readers)
            if (!r->wait(k)) return false;
        return true;
    }

    void route_tile(std::size_t k) {
        const auto routing_start = std::chrono::steady_clock::now();
        s.routing_.advance_tile(sums[k % kRing], tile_start(k), s.maps_, s.gw_maps_, s.sinks_);
        s.routing_seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - routing_start).count();
        // The sums are free for the tile kRing later.
        if (k + kRing < n_tiles) sums[k % kRing].reset(tile_length(k + kRing), n_sub, mode2);
    }

    void wait_until(std::atomic<std::size_t>& counter, std::size_t count) {
        // A short spin first: the piece before is usually about to be added.
        for (int spin = 0; spin < 2000 && counter.load(std::memory_order_acquire) < count; ++spin)
            std::this_thread::yield();
        for (std::size_t done = counter.load(std::memory_order_acquire); done < count && !failed.load();
             done = counter.load(std::memory_order_acquire))
            counter.wait(done, std::memory_order_acquire);
    }
    static void mark(std::atomic<std::size_t>& counter, std::size_t value) {
        counter.store(value, std::memory_order_release);
        counter.notify_all();
    }

    void report_progress(std::size_t i) {
        using clock = std::chrono::steady_clock;
        if (!s.options_.on_progress) return;
        const clock::time_point now = clock::now();
        if (now - s.last_report_ < std::chrono::milliseconds(250)) return;
        s.last_report_ = now;
        const double done = static_cast<double>(t_begin) +
                            static_cast<double>(n_steps) * static_cast<double>(i + 1) / static_cast<double>(n_items);
        s.options_.on_progress(done / static_cast<double>(s.run_steps()));
    }

    // The second part of piece i (block i % n_blocks of tile i / n_blocks); called in order.
    void complete_piece(std::size_t i, const BlockTile& block) {
        const std::size_t k = i / geometry.n_blocks, b = i % geometry.n_blocks;
        add_block_tile(s.run_, s.cells_, b * geometry.block_size, block, tile_start(k), sums[k % kRing],
                       s.cell_non_finite_, BlockPart::second);
        if (write_progress && k == 0) {
            std::fwrite(block.progress.data(), 1, block.progress.size(), s.options_.progress);
            if (s.options_.flush_progress) std::fflush(s.options_.progress);
        }
        if (b + 1 == geometry.n_blocks) {
            router.post(k);
            // No piece uses the tile's steps any more: they take those of the tile kRing later.
            if (k + kRing < n_tiles) post_read(k + kRing);
        }
        report_progress(i);
    }

    // Progress lines of the block's cells (first tile only).
    void progress_lines(std::size_t first, std::size_t count, BlockTile& block) const {
        char line[64];
        for (std::size_t c = first; c < first + count; ++c) {
            const int len = std::snprintf(line, sizeof line, "cell:%10zu   rows:%7d   cols:%7d\n", c + 1,
                                          s.cells_[c].row, s.cells_[c].col);
            block.progress.append(line, static_cast<std::size_t>(len));
        }
    }

    // Piece i from the simulation of its cells to its addition; false when
    // the run failed elsewhere.
    bool run_piece(std::size_t i, BlockTile& block) {
        const std::size_t k = i / geometry.n_blocks, b = i % geometry.n_blocks;
        // The block's cells finished the tile before, and the tile's steps are read.
        if (k > 0) wait_until(added, i - geometry.n_blocks + 1);
        if (failed.load() || !wait_read(k)) return false;
        const std::size_t first = b * geometry.block_size;
        const std::size_t count = std::min(geometry.block_size, n_cells - first);
        block.progress.clear();
        if (write_progress && k == 0) progress_lines(first, count, block);
        simulate_block_tile(s.run_, s.cells_, first, count, steps[k % kRing], s.state_, s.maps_, block);
        wait_until(first_added, i);
        if (failed.load()) return false;
        // The tile's sums are those of the tile kRing before, once it is routed.
        if (b == 0 && k >= kRing && !router.wait(k - kRing)) return false;
        add_block_tile(s.run_, s.cells_, first, block, tile_start(k), sums[k % kRing], s.cell_non_finite_,
                       BlockPart::first);
        mark(first_added, i + 1);
        wait_until(added, i);
        if (failed.load()) return false;
        complete_piece(i, block);
        mark(added, i + 1);
        return true;
    }

    void work() {
        try {
            BlockTile block;
            for (;;) {
                const std::size_t i = next.fetch_add(1);
                if (i >= n_items || failed.load() || !run_piece(i, block)) break;
            }
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(error_mutex);
                if (!error) error = std::current_exception();
            }
            failed.store(true);
            for (std::atomic<std::size_t>* counter : {&first_added, &added}) {
                counter->fetch_add(n_items + 1);  // wakes the waiting threads
                counter->notify_all();
            }
            for (auto& r : readers) r->stop();
            router.stop();
        }
    }

    void run() {
        if (n_cells == 0 || n_tiles == 0) return;
        for (std::size_t k = 0; k < std::min(kRing, n_tiles); ++k) {
            sums[k].reset(tile_length(k), n_sub, mode2);
            post_read(k);
        }
        std::vector<std::thread> pool;
        for (std::size_t w = 1; w < std::min(n_threads, geometry.n_blocks); ++w) pool.emplace_back([this] { work(); });
        work();
        for (std::thread& th : pool) th.join();
        if (error) std::rethrow_exception(error);
        router.wait(n_tiles - 1);
    }
};

void StepSchedule::advance(std::size_t end) {
    const std::size_t t_begin = next_, t_end = std::clamp(end, next_, run_steps());
    next_ = t_end;
    Stretch(*this, t_begin, t_end).run();
}

}  // namespace hydro
