// The catchment description: sixteen parameter grids (and the temperature
// station grid), converted at load from fractions to storage depths over the
// root zone (mm), from conductivity per hour to per time step, and from slope
// in percent to a fraction; with the slope statistics and the basin-wide dry
// runoff coefficient derived from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ascii_grid.hpp"
#include "project_paths.hpp"
#include "run_sizes.hpp"

namespace hydro {

struct Catchment {
    int32_t n_rows = 0, n_cols = 0;
    // Grids, row-major from the top row.
    std::vector<float> runoff_coefficient, field_capacity, porosity, conductivity, pore_index, depression_capacity,
        interception_max, interception_min, residual_moisture, root_depth, slope, wilting_point, elevation;
    std::vector<int32_t> station_zone_p, station_zone_e, subbasin_id, station_zone_t;
    GridHeaderTexts header;  // the kept texts: those of elevation.asc

    float cell_area = 0;                       // m2
    float basin_mean_slope = 0;                // fraction
    std::vector<float> subbasin_mean_slope;    // per subbasin, from 0
    std::vector<int32_t> subbasin_cell_count;  // converted cells per subbasin
    float reference_conductivity = 0;          // per hour, as read
    float soil_runoff_coefficient = 0;
    float dry_runoff_coefficient = 0;

    std::size_t index(int32_t row, int32_t col) const {  // from 0
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(n_cols) + static_cast<std::size_t>(col);
    }
};

// Soil runoff coefficient of the conductivity table (conductivity per hour).
float soil_runoff_coefficient_for(float reference_conductivity);

// Runoff coefficient of a dry soil without interception capacity: the share of
// the smallest such runoff coefficient not explained by the soil, cut to two
// decimals.
float dry_runoff_coefficient_for(float dry_cell_minimum, float soil_coefficient);

// The grid of a catchment with the given index in the grid table
// (grid_table.hpp), or nullptr when that grid holds the other kind of values.
std::vector<float>* real_grid(Catchment& g, std::size_t table_index);
std::vector<int32_t>* integer_grid(Catchment& g, std::size_t table_index);

// Reads the sixteen grids in table order (and the temperature station grid
// when temperature is used), as they are on disk.
Catchment read_catchment_grids(const ProjectPaths& paths, const RunSizes& sizes);

// Converts the grids as read in place and derives the slope statistics and
// the dry runoff coefficient.
void convert_catchment(Catchment& g, const RunSizes& sizes, float time_step_hours);

// Reads and converts.
Catchment load_catchment(const ProjectPaths& paths, const RunSizes& sizes, float time_step_hours);

}  // namespace hydro
