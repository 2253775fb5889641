// From a DEM and stations to the files of a project.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "prep_options.hpp"

namespace gridprep {

struct PrepSummary {
    int32_t outlet_row = 0, outlet_col = 0;  // in the DEM, from 1
    double outlet_x = 0.0, outlet_y = 0.0;
    int64_t basin_cells = 0;
    double basin_km2 = 0.0;
    int64_t threshold_cells = 0;
    int32_t subbasins = 0;
    int64_t min_subbasin_cells = 0;  // smaller subbasins were merged
    int32_t merged_subbasins = 0;
    int32_t stations_p = 0, stations_e = 0, stations_t = 0;
    std::vector<std::string> forcing;  // what became of gridded forcing, one line per variable
    int32_t longest_lag = 0;
    std::string starting_snow;       // the snow pack of every cell at the start, and why
    std::vector<std::string> notes;  // things the user should know
};

// Reads and checks every input, delineates the basin and writes the project
// into options.output (folders, grids, control file, series, responses and
// the list of the files written). Throws hydro::InputError for inputs that
// cannot make a valid project, before anything is written, and
// hydro::OutputError when writing fails.
PrepSummary make_project(const PrepOptions& options);

// The summary as a few lines for the console.
std::string summary_text(const PrepOptions& options, const PrepSummary& s);

}  // namespace gridprep
