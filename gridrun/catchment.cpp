#include "catchment.hpp"

#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <vector>

#include "free_format.hpp"
#include "grid_table.hpp"
#include "side_by_side.hpp"

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

namespace {

// Where each grid of the table is held, by its stem.
struct GridField {
    std::string_view stem;
    std::vector<float> Catchment::*real;
    std::vector<int32_t> Catchment::*whole;
};
constexpr GridField kGridFields[] = {
    {"runoff_co", &Catchment::runoff_coefficient, nullptr},
    {"fieldcap", &Catchment::field_capacity, nullptr},
    {"porosity", &Catchment::porosity, nullptr},
    {"conductivity", &Catchment::conductivity, nullptr},
    {"poreindex", &Catchment::pore_index, nullptr},
    {"depression", &Catchment::depression_capacity, nullptr},
    {"interc_max", &Catchment::interception_max, nullptr},
    {"interc_min", &Catchment::interception_min, nullptr},
    {"residual", &Catchment::residual_moisture, nullptr},
    {"rootdepth", &Catchment::root_depth, nullptr},
    {"slope", &Catchment::slope, nullptr},
    {"wiltingpoint", &Catchment::wilting_point, nullptr},
    {"elevation", &Catchment::elevation, nullptr},
    {"thiessen_p", nullptr, &Catchment::station_zone_p},
    {"thiessen_e", nullptr, &Catchment::station_zone_e},
    {"watershed", nullptr, &Catchment::subbasin_id},
    {"thiessen_t", nullptr, &Catchment::station_zone_t},
};

// The field of each grid of the table, found by name once at compile time.
constexpr std::array<const GridField*, kGridCount> fields_by_index() {
    std::array<const GridField*, kGridCount> by_index{};
    for (std::size_t k = 0; k < kGridCount; ++k)
        for (const GridField& f : kGridFields)
            if (f.stem == kGridTable[k].stem) by_index[k] = &f;
    return by_index;
}
constexpr std::array<const GridField*, kGridCount> kFieldOfGrid = fields_by_index();

constexpr const GridField* field_of(std::size_t table_index) {
    return table_index < kGridCount ? kFieldOfGrid[table_index] : nullptr;
}

// Every grid read with the catchment has its place, of its kind.
constexpr bool every_catchment_grid_has_a_field() {
    for (std::size_t k = 0; k <= kTemperatureZoneGrid; ++k) {
        const GridField* f = field_of(k);
        if (!f || (kGridTable[k].integer ? f->whole == nullptr : f->real == nullptr)) return false;
    }
    return true;
}
static_assert(every_catchment_grid_has_a_field(), "a grid of grid_table.hpp has no place in Catchment");

}  // namespace

std::vector<float>* real_grid(Catchment& g, std::size_t table_index) {
    const GridField* f = field_of(table_index);
    return f && f->real ? &(g.*(f->real)) : nullptr;
}

std::vector<int32_t>* integer_grid(Catchment& g, std::size_t table_index) {
    const GridField* f = field_of(table_index);
    return f && f->whole ? &(g.*(f->whole)) : nullptr;
}

Catchment read_catchment_grids(const ProjectPaths& paths, const RunSizes& sizes) {
    Catchment g;
    g.n_rows = sizes.n_rows;
    g.n_cols = sizes.n_cols;
    // All sixteen must exist before any value is read; then they are read at
    // the same time, each into its own grid (of several faulty grids, the
    // first in table order is reported). The header texts kept are those of
    // the last file, elevation.asc.
    for (std::size_t k = 0; k < kCatchmentGridCount; ++k) {
        std::error_code ec;
        if (!std::filesystem::exists(paths.grid(kGridTable[k].file), ec))
            FreeFormatReader missing(paths.grid(kGridTable[k].file));  // throws the reader's message
    }
    std::vector<GridHeaderTexts> headers(kCatchmentGridCount);
    std::vector<std::function<void()>> parts;
    for (std::size_t k = 0; k < kCatchmentGridCount; ++k)
        parts.push_back([&, k] {
            FreeFormatReader f(paths.grid(kGridTable[k].file));
            keep_grid_header(f, headers[k]);
            if (kGridTable[k].integer)
                *integer_grid(g, k) = read_int_grid_values(f, sizes.n_rows, sizes.n_cols);
            else
                *real_grid(g, k) = read_real_grid_values(f, sizes.n_rows, sizes.n_cols);
        });
    if (sizes.temperature_used)
        parts.push_back([&] {
            FreeFormatReader t(paths.grid(kGridTable[kTemperatureZoneGrid].file));
            skip_grid_header(t);
            g.station_zone_t = read_int_grid_values(t, sizes.n_rows, sizes.n_cols);
        });
    run_side_by_side(parts);
    g.header = headers.back();
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
