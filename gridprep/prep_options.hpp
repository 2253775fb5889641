// The command line of gridprep.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_options.hpp"
#include "travel_time.hpp"

namespace gridprep {

// The longest time step: a leap year, in hours.
inline constexpr double kMaxTimeStepHours = 8784.0;

enum class OutletKind { largest, map_xy, row_col };

struct PrepOptions {
    std::string dem;
    std::string output;
    std::string stations;  // empty: one station of each variable serves every cell

    OutletKind outlet_kind = OutletKind::largest;
    double outlet_x = 0.0, outlet_y = 0.0;
    int32_t outlet_row = 0, outlet_col = 0;  // from 1, as the user counts
    double snap_radius = 0.0;                // cells

    double threshold_km2 = -1.0;   // < 0: not given
    int64_t threshold_cells = -1;  // < 0: not given
    double default_threshold_share = 0.05;

    std::string soil_grid, soil_table, cover_grid, cover_table;
    std::string series_p, series_e, series_t;
    // Variables of gridded forcing (NetCDF); empty: found by standard_name.
    std::string variable_p, variable_e, variable_t;

    std::string report = "all";  // "all", "none" or a list of subbasin numbers
    RoutingParameters routing;   // its time_step_hours is the run's time step
    bool crop = true;

    // Terrain checks, subbasin merging and the project folder.
    bool strict = false;                       // the terrain notes are errors
    bool outlet_to_spill = false;              // an outlet on a flat moves to the flat's spill cell
    double min_subbasin_km2 = -1.0;            // < 0: not given
    int64_t min_subbasin_cells = -1;           // < 0: not given
    double default_min_subbasin_share = 0.25;  // of the stream threshold
    bool terrain_grids = false;                // also write the filled DEM, directions and accumulation
    bool force = false;                        // replace the files of an earlier run in the folder

    bool help = false;
    bool version = false;
};

// A command line that cannot be understood; main prints it with a hint to
// --help and ends with status 2.
using UsageError = hydro::UsageError;

PrepOptions parse_command_line(const std::vector<std::string>& args);

// The text of --help.
std::string usage_text();

}  // namespace gridprep
