#include "cell_loop.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "calendar.hpp"
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

std::vector<ValidCell> valid_cells(const Catchment& g, int32_t n_rows, int32_t n_cols) {
    std::vector<ValidCell> cells;
    for (int32_t r = 0; r < n_rows; ++r)
        for (int32_t c = 0; c < n_cols; ++c)
            if (is_valid_cell(g, g.index(r, c))) cells.push_back({g.index(r, c), r + 1, c + 1});
    return cells;
}

std::vector<std::size_t> cell_tail_offsets(const ResponseTable& responses, std::size_t n_cells, std::size_t cap) {
    std::vector<std::size_t> offset(n_cells + 1, 0);
    for (std::size_t c = 0; c < n_cells; ++c) {
        const int32_t first = responses.first(c), last = responses.last(c);
        const std::size_t len = last >= first && last >= 0 ? std::min<std::size_t>(std::size_t(last) + 1, cap) : 0;
        offset[c + 1] = offset[c] + len;
    }
    return offset;
}

void prepare_tile_steps(const ModelInputs& in, const ControlFile& control, std::size_t t0, std::size_t len,
                        TileSteps& s) {
    s.t0 = t0;
    s.len = len;
    s.seasonal_factor.resize(len);
    s.entry_begin.assign(len + 1, 0);
    s.entry_kind.clear();
    s.entry_slot.clear();
    s.kind_offset[0] = 0;
    for (int k = 0; k < kSnapshotKinds; ++k)
        s.kind_offset[k + 1] = s.kind_offset[k] + static_cast<uint32_t>(control.periods[k].size());
    const StepCalendar& cal = in.calendar;
    for (std::size_t tau = 0; tau < len; ++tau) {
        const std::size_t t = t0 + tau;
        // The seasonal interception factor depends on the day of the year only.
        s.seasonal_factor[tau] = interception_seasonal_factor(cal.day_of_year[t]);
        for (int k = 0; k < kSnapshotKinds; ++k) {
            const auto& periods = control.periods[k];
            for (std::size_t j = 0; j < periods.size(); ++j)
                if (periods[j].contains(cal.date_code[t])) {
                    s.entry_kind.push_back(static_cast<uint8_t>(k));
                    s.entry_slot.push_back(s.kind_offset[k] + static_cast<uint32_t>(j));
                }
        }
        s.entry_begin[tau + 1] = static_cast<uint32_t>(s.entry_slot.size());
    }
    std::vector<char> used(s.kind_offset[kSnapshotKinds], 0);
    for (uint32_t slot : s.entry_slot) used[slot] = 1;
    s.active_slot.clear();
    s.active_kind.clear();
    for (int k = 0; k < kSnapshotKinds; ++k)
        for (uint32_t j = s.kind_offset[k]; j < s.kind_offset[k + 1]; ++j)
            if (used[j]) {
                s.active_slot.push_back(j);
                s.active_kind.push_back(static_cast<uint8_t>(k));
            }
}

void TileSums::reset(std::size_t n, std::size_t n_subbasins, bool mode2) {
    len = n;
    for (std::vector<float>* v :
         {&rain, &temperature, &interception, &moisture, &infiltration, &evaporation, &surface_runoff, &interflow})
        v->assign(n, 0.0f);
    for (std::vector<float>* v : {&arrival_surface, &arrival_interflow}) v->assign(mode2 ? n * n_subbasins : n, 0.0f);
    for (std::vector<float>* v : {&recharge, &pet, &subbasin_evaporation}) v->assign(n * n_subbasins, 0.0f);
}

namespace {

// A depth generated at the tile's step tau arrives at tau + lag + 1 (the
// lags within the series' length):
//   ((((depth / 1000) x uh(lag)) x area) / dt) / 3600  m3/s.
inline void route_in_tile(float depth, const float* __restrict uh, int32_t first, int32_t last, std::size_t tau,
                          float area, float dt, float* __restrict series) {
    const float d = depth / 1000.0f;
    float* __restrict at = series + tau + 1;
    for (int32_t k = first; k <= last; ++k) at[k] = (((d * uh[k - first]) * area) / dt) / 3600.0f + at[k];
}

// One cell through the steps of a tile.
void simulate_cell_tile(const RunView& run, const ValidCell& cell, std::size_t cell_number, const TileSteps& ts,
                        ModelState& state, SnapshotSums& snap, float* const* out, float* scratch, float* map_sum) {
    const ModelInputs& in = run.in;
    const ControlFile& cf = run.control;
    const Catchment& g = run.catchment;
    const std::size_t steps = static_cast<std::size_t>(in.sizes.n_steps);
    const std::size_t len = ts.len;
    const bool temperature_used = cf.temperature_used();
    const float area = g.cell_area;
    const float dt = cf.time_step_hours;
    const std::size_t i = cell.index;
    const std::size_t t0 = ts.t0;

    const float* rain_of = &in.precipitation.values[static_cast<std::size_t>(g.station_zone_p[i] - 1) * steps + t0];
    const float* pet_of = &in.pet.values[static_cast<std::size_t>(g.station_zone_e[i] - 1) * steps + t0];
    const float* temp_of =
        temperature_used ? &in.temperature.values[static_cast<std::size_t>(g.station_zone_t[i] - 1) * steps + t0]
                         : nullptr;
    const float porosity = g.porosity[i];
    const float depression_capacity = g.depression_capacity[i];
    const float interception_max = g.interception_max[i], interception_min = g.interception_min[i];
    const RunoffParameters runoff{g.runoff_coefficient[i], interception_max, g.dry_runoff_coefficient,
                                  cf.runoff_exponent, cf.runoff_rain_threshold};
    const SoilParameters soil{g.residual_moisture[i], g.wilting_point[i], g.field_capacity[i], porosity,
                              g.conductivity[i],       g.pore_index[i],    g.slope[i],          interception_max};
    const int32_t uh_first = in.cell_responses.first(cell_number), uh_last = in.cell_responses.last(cell_number);
    const float* uh = in.cell_responses.ordinates(cell_number);
    const float pet_factor = cf.pet_factor, melt_base = cf.melt_base_temperature, ddf = cf.degree_day_factor,
                rmf = cf.rain_melt_factor, interflow_scale = cf.interflow_scale;

    // Arrivals over the tile and after it: the tail carried in, then zeros.
    const std::size_t tail_begin = state.tail_offset[cell_number];
    const std::size_t tail_len = state.tail_offset[cell_number + 1] - tail_begin;
    const std::size_t span = len + tail_len;
    float* surface_series = scratch;
    float* interflow_series = scratch + span;
    std::copy_n(&state.surface_tail[tail_begin], tail_len, surface_series);
    std::fill(surface_series + tail_len, surface_series + span, 0.0f);
    std::copy_n(&state.interflow_tail[tail_begin], tail_len, interflow_series);
    std::fill(interflow_series + tail_len, interflow_series + span, 0.0f);
    // A flow generated at the tile's step tau arrives at tau + lag + 1; the
    // lags beyond the kept tail are after the end of any run.
    const int32_t route_last = std::min<int64_t>(uh_last, static_cast<int64_t>(tail_len) - 1);

    // The cell's map sums of the periods of the tile, kept here over the tile.
    auto map_cell = [&](std::size_t a) -> float& {
        const int k = ts.active_kind[a];
        return snap.sum[k][static_cast<std::size_t>(ts.active_slot[a] - ts.kind_offset[k]) * snap.grid_size + i];
    };
    for (std::size_t a = 0; a < ts.active_slot.size(); ++a) map_sum[ts.active_slot[a]] = map_cell(a);

    float soil_moisture = state.soil_moisture[cell_number];
    float snow_storage = state.snow[cell_number];
    float interception_storage = state.canopy[cell_number];
    float depression_storage = state.depression[cell_number];

    float* const o_rain = out[kRain];
    float* const o_temp = out[kTemperature];
    float* const o_inte = out[kInterception];
    float* const o_moist = out[kMoistureMean];
    float* const o_infil = out[kInfiltration];
    float* const o_evap = out[kEvaporationMean];
    float* const o_rs = out[kSurfaceRunoff];
    float* const o_ri = out[kInterflowMean];
    float* const o_rech = out[kPercolation];
    float* const o_pet = out[kPet];

    for (std::size_t tau = 0; tau < len; ++tau) {
        const float rain = rain_of[tau];
        const float pet = pet_factor * pet_of[tau];
        float temperature = 0.0f;
        float melt = 0.0f;
        bool snow_step = false;
        if (temperature_used) {
            temperature = temp_of[tau];
            if (is_snow_step(temperature, melt_base)) {
                snow_step = true;
                snow_storage = snow_storage + rain;
            } else {
                melt = snowmelt(snow_storage, temperature, melt_base, ddf, rain, rmf, dt);
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
            const float factor = ts.seasonal_factor[tau];
            canopy = intercept(rain, pet, melt, interception_storage, [&] {
                return interception_capacity_from_factor(factor, interception_max, interception_min);
            });
            const RunoffSplit split = split_net_rain(canopy.net_rain, rain, soil_moisture, porosity, runoff);
            surface = depression_step(split, depression_storage, depression_capacity, pet - canopy.evaporation,
                                      runoff.runoff_coefficient, soil_moisture, porosity);
            const float demand = pet - canopy.evaporation - surface.evaporation;
            fluxes = soil_fluxes(soil_moisture, demand, soil, interflow_scale);
            keep_store_above_residual(soil_moisture, surface.infiltration, soil.residual, fluxes);
            if (surface.surface_runoff > 0.0f)
                route_in_tile(surface.surface_runoff, uh, uh_first, route_last, tau, area, dt, surface_series);
            if (fluxes.interflow > 0.0f)
                route_in_tile(fluxes.interflow, uh, uh_first, route_last, tau, area, dt, interflow_series);
        }

        soil_moisture = updated_soil_moisture(soil_moisture, surface.infiltration, fluxes);

        const float evaporation = (surface.evaporation + canopy.evaporation) + fluxes.evaporation;
        o_rain[tau] = rain;
        o_temp[tau] = temperature;
        o_inte[tau] = canopy.interception;
        o_moist[tau] = soil_moisture;
        o_infil[tau] = surface.infiltration;
        o_evap[tau] = evaporation;
        o_rs[tau] = surface.surface_runoff;
        o_ri[tau] = fluxes.interflow;
        o_rech[tau] = fluxes.percolation;
        o_pet[tau] = pet;

        // Map sums of the periods that hold the step (each cell owns its grid position).
        const uint32_t e0 = ts.entry_begin[tau], e1 = ts.entry_begin[tau + 1];
        if (e0 != e1) {
            const float value[kSnapshotKinds] = {surface.surface_runoff, fluxes.interflow, fluxes.percolation,
                                                 soil_moisture, evaporation};
            for (uint32_t e = e0; e < e1; ++e) map_sum[ts.entry_slot[e]] = map_sum[ts.entry_slot[e]] + value[ts.entry_kind[e]];
        }
    }

    for (std::size_t a = 0; a < ts.active_slot.size(); ++a) map_cell(a) = map_sum[ts.active_slot[a]];
    std::copy_n(surface_series, len, out[kSurfaceArrival]);
    std::copy_n(interflow_series, len, out[kInterflowArrival]);
    std::copy_n(surface_series + len, tail_len, &state.surface_tail[tail_begin]);
    std::copy_n(interflow_series + len, tail_len, &state.interflow_tail[tail_begin]);
    state.soil_moisture[cell_number] = soil_moisture;
    state.snow[cell_number] = snow_storage;
    state.canopy[cell_number] = interception_storage;
    state.depression[cell_number] = depression_storage;
}

// sum[tau] = (x[tau] / d) + sum[tau], step by step (vectorised across steps).
inline void add_divided(float* __restrict sum, const float* __restrict x, float d, std::size_t n) {
    for (std::size_t t = 0; t < n; ++t) sum[t] = x[t] / d + sum[t];
}
inline void add_plain(float* __restrict sum, const float* __restrict x, std::size_t n) {
    for (std::size_t t = 0; t < n; ++t) sum[t] = sum[t] + x[t];
}

// Whether any step of a cell holds a contribution that is not finite: the
// sum of its contributions, as divided, is tested as one value.
bool cell_has_non_finite(const float* const* q, float n, float m, std::size_t len, std::size_t& first_step) {
    // Values far below the largest float cannot add up to a non-finite sum:
    // only a cell with a larger or non-finite value is looked at closely.
    unsigned suspect = 0;
    for (int k = 0; k < kContributions; ++k) {
        const float* x = q[k];
        for (std::size_t t = 0; t < len; ++t) suspect |= !(std::fabs(x[t]) < 1e30f);
    }
    if (!suspect) return false;
    for (std::size_t t = 0; t < len; ++t) {
        const float probe = q[kSurfaceArrival][t] + q[kInterflowArrival][t] + q[kRain][t] / n +
                            q[kTemperature][t] / n + q[kInterception][t] / n + q[kMoistureMean][t] / n +
                            q[kInfiltration][t] / n + q[kEvaporationMean][t] / n + q[kSurfaceRunoff][t] / n +
                            q[kInterflowMean][t] / n + q[kPercolation][t] / m + q[kPet][t] / m +
                            q[kEvaporationMean][t] / m;
        if (!std::isfinite(probe)) {
            first_step = t;
            return true;
        }
    }
    return false;
}

}  // namespace

void simulate_block_tile(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first,
                         std::size_t count, const TileSteps& steps, ModelState& state, SnapshotSums& maps,
                         BlockTile& out) {
    out.stride = steps.len;
    out.n_cells = count;
    out.values.resize(static_cast<std::size_t>(kContributions) * count * steps.len);
    std::size_t widest = 0;
    for (std::size_t c = first; c < first + count; ++c)
        widest = std::max(widest, state.tail_offset[c + 1] - state.tail_offset[c]);
    out.scratch.resize(2 * (steps.len + widest) + steps.kind_offset[kSnapshotKinds]);
    float* q[kContributions];
    for (std::size_t c = 0; c < count; ++c) {
        for (int k = 0; k < kContributions; ++k) q[k] = out.series(k, c);
        simulate_cell_tile(run, cells[first + c], first + c, steps, state, maps, q, out.scratch.data(),
                           out.scratch.data() + 2 * (steps.len + widest));
    }
}

void add_block_tile(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first, const BlockTile& block,
                    std::size_t t0, TileSums& s, FirstNonFinite& non_finite) {
    const bool temperature_used = run.control.temperature_used();
    const bool mode2 = run.in.sizes.run_mode == 2;
    const std::size_t len = block.stride;
    const float n = static_cast<float>(run.in.sizes.n_cells);
    const Catchment& g = run.catchment;
    for (std::size_t c = 0; c < block.n_cells; ++c) {
        const ValidCell& cell = cells[first + c];
        const std::size_t sb = static_cast<std::size_t>(g.subbasin_id[cell.index] - 1);
        const float m = static_cast<float>(g.subbasin_cell_count[sb]);
        const std::size_t s0 = sb * len;
        const float* q[kContributions];
        for (int k = 0; k < kContributions; ++k) q[k] = block.series(k, c);
        add_plain(mode2 ? &s.arrival_surface[s0] : s.arrival_surface.data(), q[kSurfaceArrival], len);
        add_plain(mode2 ? &s.arrival_interflow[s0] : s.arrival_interflow.data(), q[kInterflowArrival], len);
        add_divided(s.rain.data(), q[kRain], n, len);
        if (temperature_used) add_divided(s.temperature.data(), q[kTemperature], n, len);
        add_divided(s.interception.data(), q[kInterception], n, len);
        add_divided(s.moisture.data(), q[kMoistureMean], n, len);
        add_divided(s.infiltration.data(), q[kInfiltration], n, len);
        add_divided(s.evaporation.data(), q[kEvaporationMean], n, len);
        add_divided(s.surface_runoff.data(), q[kSurfaceRunoff], n, len);
        add_divided(s.interflow.data(), q[kInterflowMean], n, len);
        add_divided(&s.recharge[s0], q[kPercolation], m, len);
        add_divided(&s.pet[s0], q[kPet], m, len);
        add_divided(&s.subbasin_evaporation[s0], q[kEvaporationMean], m, len);
        std::size_t bad_step = 0;
        if (cell_has_non_finite(q, n, m, len, bad_step)) {
            FirstNonFinite here;
            here.step = t0 + bad_step;
            here.cell = first + c;
            here.row = cell.row;
            here.col = cell.col;
            non_finite.merge(here);
        }
    }
}

}  // namespace hydro
