#include "cell_loop.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "cell_routing.hpp"
#include "interception.hpp"
#include "snow.hpp"
#include "soil_water.hpp"
#include "surface_runoff.hpp"

namespace hydro {

bool is_valid_cell(const Catchment& g, std::size_t i) {
    return g.root_depth[i] >= 0.0f && g.porosity[i] >= 0.0f && g.slope[i] >= 0.0f && g.station_zone_p[i] >= 0 &&
           g.subbasin_id[i] >= 0 && g.runoff_coefficient[i] >= 0.0f;
}

float initial_snow_storage(int32_t month) {
    switch (month) {
        case 11: return 15.0f;
        case 12: return 25.0f;
        case 1: return 35.0f;
        case 2: return 45.0f;
        default: return 0.0f;
    }
}

namespace {

// What one cell adds to the sums of each step, already divided by the
// basin's (n) or its subbasin's (m) number of cells.
enum Contribution {
    kSurfaceArrival,    // routed surface flow arriving in the step, m3/s
    kInterflowArrival,  // routed interflow arriving in the step, m3/s
    kRain,              // rain / n
    kTemperature,       // temperature / n
    kInterception,      // interception / n
    kMoistureMean,      // soil moisture / n
    kInfiltration,      // infiltration / n
    kEvaporationMean,   // evaporation / n
    kSurfaceRunoff,     // surface runoff / n
    kInterflowMean,     // interflow / n
    kRecharge,          // percolation / m
    kPet,               // potential evapotranspiration / m
    kSubbasinEvaporation,  // evaporation / m
    kContributions
};

struct ValidCell {
    std::size_t index;  // grid position
    int32_t row, col;   // from 1
};

// Buffer of one block of cells: contribution q of cell c at step t is at
// [(q * block_size + c) * n_steps + t].
struct BlockBuffer {
    std::vector<float> values;
    std::string progress;
};

struct CellContext {
    const RunView& run;
    std::size_t steps;
    float n;
    std::vector<float> seasonal_factor;  // interception factor of each step's day of the year
    float snow_at_start;
};

// Simulates one cell over all steps, writing its contributions into `out[q]`
// (each an array of n_steps) and its map sums into the snapshot grids.
void simulate_cell(const CellContext& ctx, const ValidCell& cell, std::size_t cell_number, float* const* out,
                   SnapshotSums& snap) {
    const ModelInputs& in = ctx.run.in;
    const ControlFile& cf = ctx.run.control;
    const Catchment& g = ctx.run.catchment;
    const std::size_t steps = ctx.steps;
    const int32_t n_steps = static_cast<int32_t>(steps);
    const float n = ctx.n;
    const bool temperature_used = cf.temperature_used();
    const float area = g.cell_area;
    const float dt = cf.time_step_hours;
    const std::size_t i = cell.index;

    const std::size_t sb = static_cast<std::size_t>(g.subbasin_id[i] - 1);
    const float m = static_cast<float>(g.subbasin_cell_count[sb]);
    const float* rain_of = &in.precipitation.values[static_cast<std::size_t>(g.station_zone_p[i] - 1) * steps];
    const float* pet_of = &in.pet.values[static_cast<std::size_t>(g.station_zone_e[i] - 1) * steps];
    const float* temp_of =
        temperature_used ? &in.temperature.values[static_cast<std::size_t>(g.station_zone_t[i] - 1) * steps] : nullptr;
    const float porosity = g.porosity[i];
    const float depression_capacity = g.depression_capacity[i];
    const float interception_max = g.interception_max[i], interception_min = g.interception_min[i];
    const RunoffParameters runoff{g.runoff_coefficient[i], interception_max, g.dry_runoff_coefficient,
                                  cf.runoff_exponent, cf.runoff_rain_threshold};
    const SoilParameters soil{g.residual_moisture[i], g.wilting_point[i], g.field_capacity[i], porosity,
                              g.conductivity[i],       g.pore_index[i],    g.slope[i],          interception_max};
    const int32_t uh_first = in.cell_responses.first(cell_number), uh_last = in.cell_responses.last(cell_number);
    const float* uh = in.cell_responses.ordinates(cell_number);

    float* surface_series = out[kSurfaceArrival];
    float* interflow_series = out[kInterflowArrival];
    std::fill(surface_series, surface_series + steps, 0.0f);
    std::fill(interflow_series, interflow_series + steps, 0.0f);

    float soil_moisture = ctx.run.initial_soil_moisture[i];
    float snow_storage = ctx.snow_at_start;
    float interception_storage = 0.0f;
    float depression_storage = 0.0f;

    for (std::size_t t = 0; t < steps; ++t) {
        const float rain = rain_of[t];
        const float pet = cf.pet_factor * pet_of[t];
        float temperature = 0.0f;
        float melt = 0.0f;
        bool snow_step = false;
        if (temperature_used) {
            temperature = temp_of[t];
            if (is_snow_step(temperature, cf.melt_base_temperature)) {
                snow_step = true;
                snow_storage = snow_storage + rain;
            } else {
                melt = snowmelt(snow_storage, temperature, cf.melt_base_temperature, cf.degree_day_factor, rain,
                                cf.rain_melt_factor, dt);
            }
        }

        InterceptionStep canopy;
        DepressionStep surface;
        SoilFluxes fluxes;
        if (snow_step) {
            // The snow step empties the canopy and the depressions.
            interception_storage = 0.0f;
            depression_storage = 0.0f;
        } else {
            const float factor = ctx.seasonal_factor[t];
            canopy = intercept(rain, pet, melt, interception_storage, [&] {
                return interception_capacity_from_factor(factor, interception_max, interception_min);
            });
            const RunoffSplit split = split_net_rain(canopy.net_rain, rain, soil_moisture, porosity, runoff);
            surface = depression_step(split, depression_storage, depression_capacity, pet - canopy.evaporation,
                                      runoff.runoff_coefficient, soil_moisture, porosity);
            const float demand = pet - canopy.evaporation - surface.evaporation;
            fluxes = soil_fluxes(soil_moisture, demand, soil, cf.interflow_scale);
            keep_store_above_residual(soil_moisture, surface.infiltration, soil.residual, fluxes);
            if (surface.surface_runoff > 0.0f)
                route_into_series(surface.surface_runoff, uh, uh_first, uh_last, static_cast<int32_t>(t), n_steps,
                                  area, dt, surface_series);
            if (fluxes.interflow > 0.0f)
                route_into_series(fluxes.interflow, uh, uh_first, uh_last, static_cast<int32_t>(t), n_steps, area, dt,
                                  interflow_series);
        }

        soil_moisture = updated_soil_moisture(soil_moisture, surface.infiltration, fluxes);

        const float evaporation = (surface.evaporation + canopy.evaporation) + fluxes.evaporation;
        out[kRain][t] = rain / n;
        out[kTemperature][t] = temperature / n;
        out[kInterception][t] = canopy.interception / n;
        out[kMoistureMean][t] = soil_moisture / n;
        out[kInfiltration][t] = surface.infiltration / n;
        out[kEvaporationMean][t] = evaporation / n;
        out[kSurfaceRunoff][t] = surface.surface_runoff / n;
        out[kInterflowMean][t] = fluxes.interflow / n;
        out[kRecharge][t] = fluxes.percolation / m;
        out[kPet][t] = pet / m;
        out[kSubbasinEvaporation][t] = evaporation / m;

        // Map sums: each cell owns its grid position.
        const float value[kSnapshotKinds] = {surface.surface_runoff, fluxes.interflow, fluxes.percolation,
                                             soil_moisture, evaporation};
        for (int k = 0; k < kSnapshotKinds; ++k) {
            for (int32_t j : snap.periods_of_step[k][t]) {
                float& s = snap.sum[k][static_cast<std::size_t>(j) * snap.grid_size + i];
                s = s + value[k];
            }
        }
    }
}

// Adds the contributions of the cells of a block, in cell order, to the
// sums of steps [t0, t1).
void add_block(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first_cell, std::size_t n_in_block,
               std::size_t block_size, const float* values, std::size_t steps, std::size_t t0, std::size_t t1,
               RunAccumulators& acc, FirstNonFinite& non_finite) {
    const bool temperature_used = run.control.temperature_used();
    const bool to_subbasins = run.in.sizes.run_mode == 2;
    BasinSeries& b = acc.basin;
    SubbasinSeries& s = acc.subbasin;
    auto series = [&](int q, std::size_t c) { return values + (static_cast<std::size_t>(q) * block_size + c) * steps; };
    for (std::size_t c = 0; c < n_in_block; ++c) {
        const std::size_t sb = static_cast<std::size_t>(run.catchment.subbasin_id[cells[first_cell + c].index] - 1);
        const std::size_t s0 = sb * steps;
        const float* surface = series(kSurfaceArrival, c);
        const float* interflow = series(kInterflowArrival, c);
        float* to_surface = to_subbasins ? &s.surface_flow[s0] : b.outlet_surface_flow.data();
        float* to_interflow = to_subbasins ? &s.interflow[s0] : b.outlet_interflow.data();
        const float *rain = series(kRain, c), *temp = series(kTemperature, c), *inte = series(kInterception, c),
                    *moist = series(kMoistureMean, c), *infil = series(kInfiltration, c),
                    *evap = series(kEvaporationMean, c), *rs = series(kSurfaceRunoff, c),
                    *ri = series(kInterflowMean, c), *rech = series(kRecharge, c), *pet = series(kPet, c),
                    *sevap = series(kSubbasinEvaporation, c);
        for (std::size_t t = t0; t < t1; ++t) {
            to_surface[t] = to_surface[t] + surface[t];
            to_interflow[t] = to_interflow[t] + interflow[t];
            b.rain[t] = rain[t] + b.rain[t];
            if (temperature_used) b.temperature[t] = temp[t] + b.temperature[t];
            b.interception[t] = inte[t] + b.interception[t];
            b.moisture[t] = moist[t] + b.moisture[t];
            b.infiltration[t] = infil[t] + b.infiltration[t];
            b.evaporation[t] = evap[t] + b.evaporation[t];
            b.surface_runoff[t] = rs[t] + b.surface_runoff[t];
            b.interflow[t] = ri[t] + b.interflow[t];
            s.recharge[s0 + t] = rech[t] + s.recharge[s0 + t];
            s.pet[s0 + t] = pet[t] + s.pet[s0 + t];
            s.evaporation[s0 + t] = sevap[t] + s.evaporation[s0 + t];
            // One test for all: a sum that holds a NaN or an infinity is not finite.
            const float probe = surface[t] + interflow[t] + rain[t] + temp[t] + inte[t] + moist[t] + infil[t] +
                                evap[t] + rs[t] + ri[t] + rech[t] + pet[t] + sevap[t];
            if (!std::isfinite(probe)) {
                const ValidCell& cell = cells[first_cell + c];
                FirstNonFinite here;
                here.step = t;
                here.cell = first_cell + c;
                here.row = cell.row;
                here.col = cell.col;
                non_finite.merge(here);
            }
        }
    }
}

}  // namespace

void run_cell_loop(const RunView& run, RunAccumulators& acc, const CellLoopOptions& options) {
    const ModelInputs& in = run.in;
    const RunSizes& sz = in.sizes;
    const Catchment& g = run.catchment;
    const std::size_t steps = static_cast<std::size_t>(sz.n_steps);

    CellContext ctx{run, steps, static_cast<float>(sz.n_cells), std::vector<float>(steps),
                    steps > 0 ? initial_snow_storage(in.calendar.month[0]) : 0.0f};
    // The seasonal interception factor depends on the day of the year only.
    for (std::size_t t = 0; t < steps; ++t) ctx.seasonal_factor[t] = interception_seasonal_factor(in.calendar.day_of_year[t]);

    std::vector<ValidCell> cells;
    for (int32_t r = 0; r < sz.n_rows; ++r)
        for (int32_t c = 0; c < sz.n_cols; ++c)
            if (is_valid_cell(g, g.index(r, c))) cells.push_back({g.index(r, c), r + 1, c + 1});

    // The moisture maps count the steps of each period once (with the first cell).
    if (!cells.empty())
        for (std::size_t t = 0; t < steps; ++t)
            for (int32_t j : acc.snapshots.periods_of_step[kMoisture][t])
                acc.snapshots.moisture_step_count[static_cast<std::size_t>(j)] += 1;

    // Blocks of at most about 8 MB of contributions each, and small enough
    // that every thread gets one in a small basin.
    const std::size_t n_threads = static_cast<std::size_t>(std::max(1, options.threads));
    const std::size_t per_cell = static_cast<std::size_t>(kContributions) * std::max<std::size_t>(steps, 1) * sizeof(float);
    const std::size_t even_share = (cells.size() + n_threads - 1) / n_threads;
    const std::size_t block_size = std::clamp<std::size_t>(std::min((8u << 20) / per_cell, even_share), 1, 256);

    const std::size_t n_cells = cells.size();
    const std::size_t n_blocks = (n_cells + block_size - 1) / block_size;

    // Simulates block b into a buffer.
    auto simulate_block = [&](std::size_t b, BlockBuffer& buf) {
        buf.progress.clear();
        const std::size_t first = b * block_size;
        const std::size_t last = std::min(n_cells, first + block_size);
        float* out[kContributions];
        char line[64];
        for (std::size_t c = first; c < last; ++c) {
            for (int q = 0; q < kContributions; ++q)
                out[q] = buf.values.data() + (static_cast<std::size_t>(q) * block_size + (c - first)) * steps;
            if (options.progress) {
                int len = std::snprintf(line, sizeof line, "cell:%10zu   rows:%7d   cols:%7d\n", c + 1, cells[c].row,
                                        cells[c].col);
                buf.progress.append(line, static_cast<std::size_t>(len));
            }
            simulate_cell(ctx, cells[c], c, out, acc.snapshots);
        }
    };
    // Adds block b to the sums and writes its progress lines. Blocks are
    // added strictly in order, so every sum is formed in cell order.
    FirstNonFinite non_finite;
    using clock = std::chrono::steady_clock;
    clock::time_point last_report{};  // the first block reports
    auto add_block_in_order = [&](std::size_t b, const BlockBuffer& buf) {
        const std::size_t first = b * block_size;
        add_block(run, cells, first, std::min(block_size, n_cells - first), block_size, buf.values.data(), steps, 0,
                  steps, acc, non_finite);
        if (options.progress) {
            std::fwrite(buf.progress.data(), 1, buf.progress.size(), options.progress);
            if (options.flush_progress) std::fflush(options.progress);
        }
        if (options.on_progress) {
            const clock::time_point now = clock::now();
            if (now - last_report >= std::chrono::milliseconds(250)) {
                last_report = now;
                options.on_progress(static_cast<double>(std::min(n_cells, first + block_size)) /
                                    static_cast<double>(n_cells));
            }
        }
    };

    if (n_threads == 1 || n_blocks <= 1) {
        BlockBuffer buf;
        buf.values.resize(block_size * static_cast<std::size_t>(kContributions) * steps);
        for (std::size_t b = 0; b < n_blocks; ++b) {
            simulate_block(b, buf);
            add_block_in_order(b, buf);
        }
        acc.cell_non_finite = non_finite;
        return;
    }

    // Each thread takes the next block, simulates it, waits until the blocks
    // before it have been added, adds it, and takes the next one. The first
    // error of any thread stops every thread and reaches the caller.
    std::atomic<std::size_t> next_block{0};
    std::atomic<std::size_t> blocks_added{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex error_mutex;
    auto worker = [&]() {
        try {
            BlockBuffer buf;
            buf.values.resize(block_size * static_cast<std::size_t>(kContributions) * steps);
            for (;;) {
                const std::size_t b = next_block.fetch_add(1);
                if (b >= n_blocks || failed.load()) break;
                simulate_block(b, buf);
                for (std::size_t done = blocks_added.load(); done != b && !failed.load(); done = blocks_added.load())
                    blocks_added.wait(done);
                if (failed.load()) break;
                add_block_in_order(b, buf);
                blocks_added.store(b + 1);
                blocks_added.notify_all();
            }
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(error_mutex);
                if (!error) error = std::current_exception();
            }
            failed.store(true);
            blocks_added.fetch_add(n_blocks + 1);  // wakes the waiting threads
            blocks_added.notify_all();
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t w = 1; w < std::min(n_threads, n_blocks); ++w) pool.emplace_back(worker);
    worker();
    for (std::thread& th : pool) th.join();
    if (error) std::rethrow_exception(error);
    acc.cell_non_finite = non_finite;
}

}  // namespace hydro
