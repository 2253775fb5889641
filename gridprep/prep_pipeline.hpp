// From a DEM and stations to the files of a project.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "prep_options.hpp"
#include "project_writer.hpp"

namespace gridprep {

struct PrepSummary {
    int32_t outlet_row = 0, outlet_col = 0;  // in the DEM, from 1
    double outlet_x = 0.0, outlet_y = 0.0;
    int64_t basin_cells = 0;
    double basin_km2 = 0.0;
    int64_t threshold_cells = 0;
    int32_t subbasins = 0;
    int32_t stations_p = 0, stations_e = 0, stations_t = 0;
    int32_t longest_lag = 0;
    std::vector<std::string> notes;  // things the user should know
};

struct PreparedProject {
    ProjectFiles files;
    PrepSummary summary;
};

// Reads the inputs and computes every file of the project. Throws
// hydro::InputError for inputs that cannot make a valid project.
PreparedProject prepare_project(const PrepOptions& options);

// prepare_project, then write_project into options.output.
PrepSummary make_project(const PrepOptions& options);

// The summary as a few lines for the console.
std::string summary_text(const PrepOptions& options, const PrepSummary& s);

}  // namespace gridprep
