#include "catchment.hpp"

#include <cmath>
#include <filesystem>

#include "free_format.hpp"

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

Catchment load_catchment(const ProjectPaths& paths, const RunSizes& sizes, float time_step_hours) {
    Catchment g;
    g.n_rows = sizes.n_rows;
    g.n_cols = sizes.n_cols;
    const std::size_t n = static_cast<std::size_t>(sizes.n_rows) * static_cast<std::size_t>(sizes.n_cols);

    // The sixteen files in their reading order; the last header read is kept.
    enum Kind { kReal, kInt };
    struct Entry { const char* file; Kind kind; std::vector<float>* real; std::vector<int32_t>* integer; };
    const Entry entries[16] = {
        {"runoff_co.asc", kReal, &g.runoff_coefficient, nullptr},
        {"fieldcap.asc", kReal, &g.field_capacity, nullptr},
        {"porosity.asc", kReal, &g.porosity, nullptr},
        {"conductivity.asc", kReal, &g.conductivity, nullptr},
        {"poreindex.asc", kReal, &g.pore_index, nullptr},
        {"depression.asc", kReal, &g.depression_capacity, nullptr},
        {"interc_max.asc", kReal, &g.interception_max, nullptr},
        {"interc_min.asc", kReal, &g.interception_min, nullptr},
        {"residual.asc", kReal, &g.residual_moisture, nullptr},
        {"rootdepth.asc", kReal, &g.root_depth, nullptr},
        {"slope.asc", kReal, &g.slope, nullptr},
        {"wiltingpoint.asc", kReal, &g.wilting_point, nullptr},
        {"thiessen_p.asc", kInt, nullptr, &g.station_zone_p},
        {"thiessen_e.asc", kInt, nullptr, &g.station_zone_e},
        {"watershed.asc", kInt, nullptr, &g.subbasin_id},
        {"elevation.asc", kReal, &g.elevation, nullptr},
    };
    // All sixteen must exist before any value is read; then they are read one
    // after the other, so that only one file's text is in memory at a time.
    // The header texts kept are those of the last file, elevation.asc.
    for (const Entry& e : entries) {
        std::error_code ec;
        if (!std::filesystem::exists(paths.grid(e.file), ec))
            FreeFormatReader missing(paths.grid(e.file));  // throws the reader's message
    }
    for (const Entry& e : entries) {
        FreeFormatReader f(paths.grid(e.file));
        keep_grid_header(f, g.header);
        if (e.kind == kReal)
            *e.real = read_real_grid_values(f, sizes.n_rows, sizes.n_cols);
        else
            *e.integer = read_int_grid_values(f, sizes.n_rows, sizes.n_cols);
    }

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

    if (sizes.temperature_used) {
        FreeFormatReader t(paths.grid("thiessen_t.asc"));
        skip_grid_header(t);
        g.station_zone_t = read_int_grid_values(t, sizes.n_rows, sizes.n_cols);
    }
    return g;
}

}  // namespace hydro
