#include "cell_loop.hpp"

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

void run_cell_loop(const ModelInputs& in, RunAccumulators& acc, std::FILE* progress) {
    const RunSizes& sz = in.sizes;
    const ControlFile& cf = in.control;
    const Catchment& g = in.catchment;
    const int32_t n_steps = sz.n_steps;
    const std::size_t steps = static_cast<std::size_t>(n_steps);
    const float n = static_cast<float>(sz.n_cells);
    const bool temperature_used = cf.temperature_used();
    const bool to_subbasins = sz.run_mode == 2;
    const float area = g.cell_area;
    const float dt = cf.time_step_hours;
    const float snow_at_start = n_steps > 0 ? initial_snow_storage(in.calendar.month[0]) : 0.0f;

    // The seasonal interception factor depends on the day of the year only.
    std::vector<float> seasonal_factor(steps);
    for (std::size_t t = 0; t < steps; ++t) seasonal_factor[t] = interception_seasonal_factor(in.calendar.day_of_year[t]);

    std::vector<float> surface_series(steps), interflow_series(steps);
    BasinSeries& basin = acc.basin;
    SubbasinSeries& sub = acc.subbasin;
    SnapshotSums& snap = acc.snapshots;

    int32_t cell_number = 0;
    for (int32_t row = 0; row < sz.n_rows; ++row) {
        for (int32_t col = 0; col < sz.n_cols; ++col) {
            const std::size_t i = g.index(row, col);
            if (!is_valid_cell(g, i)) continue;
            ++cell_number;
            const std::size_t c = static_cast<std::size_t>(cell_number - 1);
            std::fill(surface_series.begin(), surface_series.end(), 0.0f);
            std::fill(interflow_series.begin(), interflow_series.end(), 0.0f);
            if (progress) std::fprintf(progress, "cell:%10d   rows:%7d   cols:%7d\n", cell_number, row + 1, col + 1);

            // The cell's parameters and state.
            const std::size_t sb = static_cast<std::size_t>(g.subbasin_id[i] - 1);
            const float m = static_cast<float>(g.subbasin_cell_count[sb]);
            const std::size_t sub0 = sb * steps;
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
            const int32_t uh_first = in.cell_responses.first(c), uh_last = in.cell_responses.last(c);
            const float* uh = in.cell_responses.ordinates(c);

            float soil_moisture = in.initial_soil_moisture[i];
            float snow_storage = snow_at_start;
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
                        melt = snowmelt(snow_storage, temperature, cf.melt_base_temperature, cf.degree_day_factor,
                                        rain, cf.rain_melt_factor, dt);
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
                    canopy = intercept(rain, pet, melt, interception_storage, [&] {
                        return interception_capacity_from_factor(seasonal_factor[t], interception_max, interception_min);
                    });
                    const RunoffSplit split = split_net_rain(canopy.net_rain, rain, soil_moisture, porosity, runoff);
                    surface = depression_step(split, depression_storage, depression_capacity, pet - canopy.evaporation,
                                              runoff.runoff_coefficient, soil_moisture, porosity);
                    const float demand = pet - canopy.evaporation - surface.evaporation;
                    fluxes = soil_fluxes(soil_moisture, demand, soil, cf.interflow_scale);
                    if (surface.surface_runoff > 0.0f)
                        route_into_series(surface.surface_runoff, uh, uh_first, uh_last, static_cast<int32_t>(t),
                                          n_steps, area, dt, surface_series.data());
                    if (fluxes.interflow > 0.0f)
                        route_into_series(fluxes.interflow, uh, uh_first, uh_last, static_cast<int32_t>(t), n_steps,
                                          area, dt, interflow_series.data());
                }

                // What arrives at the outlet (or the subbasin outlet) in this step.
                if (to_subbasins) {
                    sub.surface_flow[sub0 + t] = sub.surface_flow[sub0 + t] + surface_series[t];
                    sub.interflow[sub0 + t] = sub.interflow[sub0 + t] + interflow_series[t];
                } else {
                    basin.outlet_surface_flow[t] = basin.outlet_surface_flow[t] + surface_series[t];
                    basin.outlet_interflow[t] = basin.outlet_interflow[t] + interflow_series[t];
                }

                soil_moisture = updated_soil_moisture(soil_moisture, surface.infiltration, fluxes);

                const float evaporation = (surface.evaporation + canopy.evaporation) + fluxes.evaporation;
                basin.rain[t] = rain / n + basin.rain[t];
                if (temperature_used) basin.temperature[t] = temperature / n + basin.temperature[t];
                basin.interception[t] = canopy.interception / n + basin.interception[t];
                basin.moisture[t] = soil_moisture / n + basin.moisture[t];
                basin.infiltration[t] = surface.infiltration / n + basin.infiltration[t];
                basin.evaporation[t] = evaporation / n + basin.evaporation[t];
                basin.surface_runoff[t] = surface.surface_runoff / n + basin.surface_runoff[t];
                basin.interflow[t] = fluxes.interflow / n + basin.interflow[t];
                sub.recharge[sub0 + t] = fluxes.percolation / m + sub.recharge[sub0 + t];
                sub.pet[sub0 + t] = pet / m + sub.pet[sub0 + t];
                sub.evaporation[sub0 + t] = evaporation / m + sub.evaporation[sub0 + t];

                const float value[kSnapshotKinds] = {surface.surface_runoff, fluxes.interflow, fluxes.percolation,
                                                     soil_moisture, evaporation};
                for (int k = 0; k < kSnapshotKinds; ++k) {
                    for (int32_t j : snap.periods_of_step[k][t]) {
                        float& s = snap.sum[k][static_cast<std::size_t>(j) * snap.grid_size + i];
                        s = s + value[k];
                        if (k == kMoisture && cell_number == 1) snap.moisture_step_count[static_cast<std::size_t>(j)] += 1;
                    }
                }
            }
        }
    }
}

}  // namespace hydro
