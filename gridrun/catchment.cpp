#include "catchment.hpp"

#include <cmath>
#include <filesystem>

#include "free_format.hpp"
#include "grid_table.hpp"

namespace hydro {

float soil_runoff_coefficient_for(float k) {
    if (k > 100.0f) return 0.14f;
    if (k > 50.0f) return 0.18f;
    if (k > 20.0f) return 0.21f;
    if (k > 10.0f) return 0.24f;
    if (k > 5.0f) return 0.28f;
    if (k > 4.0f) return 0.31f;
    if (k > 3.0f) return 0.34f;
    if (k > 2.0f) return 0.38f;
    if (k > 1.3f) return 0.41f;
    if (k > 1.0f) return 0.44f;
    if (k > 0.5f) return 0.48f;
    return 0.51f;
}

float dry_runoff_coefficient_for(float dry_cell_minimum, float c) {
    float share = (100.0f * (dry_cell_minimum - c)) / (1.0f - c);
    return std::trunc(share) / 100.0f;
}

std::vector<float>* real_grid(Catchment& g, std::size_t table_index) {
    std::vector<float>* const slots[kCatchmentGridCount] = {&g.runoff_coefficient,
                                                            &g.field_capacity,
                                                            &g.porosity,
                                                            &g.conductivity,
                                                            &g.pore_index,
                                                            &g.depression_capacity,
                                                            &g.interception_max,
                                                            &g.interception_min,
                                                            &g.residual_moisture,
                                                            &g.root_depth,
                                                            &g.slope,
                                                            &g.wilting_point,
                                                            nullptr,
                                                            nullptr,
                                                            nullptr,
                                                            &g.elevation};
    return table_index < kCatchmentGridCount ? slots[table_index] : nullptr;
}

std::vector<int32_t>* integer_grid(Catchment& g, std::size_t table_index) {
    switch (table_index) {
        case 12:
            return &g.station_zone_p;
        case 13:
            return &g.station_zone_e;
        case 14:
            return &g.subbasin_id;
        case kTemperatureZoneGrid:
            return &g.station_zone_t;
        default:
            return nullptr;
    }
}

Catchment read_catchment_grids(const ProjectPaths& paths, const RunSizes& sizes) {
    Catchment g;
    g.n_rows = sizes.n_rows;
    g.n_cols = sizes.n_cols;
    // All sixteen must exist before any value is read; then they are read one
    // after the other, so that only one file's text is in memory at a time.
    // The header texts kept are those of the last file, elevation.asc.
    for (std::size_t k = 0; k < kCatchmentGridCount; ++k) {
        std::error_code ec;
        if (!std::filesystem::exists(paths.grid(kGridTable[k].file), ec))
            FreeFormatReader missing(paths.grid(kGridTable[k].file));  // throws the reader's message
    }
    for (std::size_t k = 0; k < kCatchmentGridCount; ++k) {
        FreeFormatReader f(paths.grid(kGridTable[k].file));
        keep_grid_header(f, g.header);
        if (kGridTable[k].integer)
            *integer_grid(g, k) = read_int_grid_values(f, sizes.n_rows, sizes.n_cols);
        else
            *real_grid(g, k) = read_real_grid_values(f, sizes.n_rows, sizes.n_cols);
    }
    if (sizes.temperature_used) {
        FreeFormatReader t(paths.grid(kGridTable[kTemperatureZoneGrid].file));
        skip_grid_header(t);
        g.station_zone_t = read_int_grid_values(t, sizes.n_rows, sizes.n_cols);
    }
    return g;
}

void convert_catchment(Catchment& g, const RunSizes& sizes, float time_step_hours) {
    const std::size_t n = static_cast<std::size_t>(sizes.n_rows) * static_cast<std::size_t>(sizes.n_cols);
    g.cell_area = static_cast<float>(static_cast<int64_t>(sizes.cell_size) * static_cast<int64_t>(sizes.cell_size));
    const std::size_t n_sub = static_cast<std::size_t>(sizes.n_subbasins);
    std::vector<float> subbasin_slope_sum(n_sub, 0.0f);
    g.subbasin_cell_count.assign(n_sub, 0);
    float basin_slope_sum = 0.0f;
    float dry_cell_minimum = 1.0f;
    g.reference_conductivity = 0.0f;

    // One pass over the cells in reading order (rows from the top).
    for (std::size_t i = 0; i < n; ++i) {
        if (g.runoff_coefficient[i] > 0.0f && g.interception_max[i] < 0.01f) {
            if (g.runoff_coefficient[i] < dry_cell_minimum) dry_cell_minimum = g.runoff_coefficient[i];
            g.reference_conductivity = g.conductivity[i];
        }
        if (g.runoff_coefficient[i] > 0.0f && g.subbasin_id[i] > 0 && g.root_depth[i] > 0.0f) {
            const float d = g.root_depth[i];
            g.field_capacity[i] = g.field_capacity[i] * d * 1000.0f;
            g.porosity[i] = g.porosity[i] * d * 1000.0f;
            g.wilting_point[i] = g.wilting_point[i] * d * 1000.0f;
            g.residual_moisture[i] = g.residual_moisture[i] * d * 1000.0f;
            g.conductivity[i] = time_step_hours * g.conductivity[i];
            g.slope[i] = g.slope[i] / 100.0f;
            basin_slope_sum = basin_slope_sum + g.slope[i];
            const std::size_t sb = static_cast<std::size_t>(g.subbasin_id[i] - 1);
            subbasin_slope_sum[sb] = subbasin_slope_sum[sb] + g.slope[i];
            g.subbasin_cell_count[sb] += 1;
        }
    }

    g.basin_mean_slope = basin_slope_sum / static_cast<float>(sizes.n_cells);
    g.subbasin_mean_slope.assign(n_sub, 0.0f);
    for (std::size_t s = 0; s < n_sub; ++s)
        g.subbasin_mean_slope[s] = subbasin_slope_sum[s] / static_cast<float>(g.subbasin_cell_count[s]);
    g.soil_runoff_coefficient = soil_runoff_coefficient_for(g.reference_conductivity);
    g.dry_runoff_coefficient = dry_runoff_coefficient_for(dry_cell_minimum, g.soil_runoff_coefficient);
}

Catchment load_catchment(const ProjectPaths& paths, const RunSizes& sizes, float time_step_hours) {
    Catchment g = read_catchment_grids(paths, sizes);
    convert_catchment(g, sizes, time_step_hours);
    return g;
}

}  // namespace hydro
