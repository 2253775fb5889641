// Writes a project: the grids, the control file, the response files and
// the station series, in the folder layout the model and its preprocessor
// read from (ROOT/arcview/ascii, ROOT/model/input, ROOT/model/output, and
// the working folder ROOT/run/here).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dem_grid.hpp"

namespace gridprep {

// The no-data value of every written grid.
inline constexpr int32_t kNoData = -9999;

// A date and hour of a series record.
struct DateHour {
    int32_t year = 0, month = 0, day = 0, hour = 0;
};

// The run's scalar parameters (the fourth record of the control file) and
// the rest of the control file.
struct ControlSettings {
    double time_step_hours = 24.0;
    double interflow_scale = 1.0;
    double groundwater_recession = 0.02;
    double initial_moisture_ratio = 0.8;
    double pet_factor = 1.0;
    double initial_groundwater = 50.0;
    double groundwater_scale = 1000.0;
    double melt_base_temperature = 0.0;
    int32_t degree_day_factor = 3;
    double rain_melt_factor = 0.0125;
    double runoff_exponent = 2.0;
    double runoff_rain_threshold = 20.0;
    std::vector<int32_t> reported_subbasins;
    // One map period per kind over the whole series, when the series is known.
    bool have_period = false;
    DateHour period_start, period_end;
    std::string origin;  // one line saying what the project was made from
};

// Sound defaults for a time step: the groundwater store loses 2 % a day,
//     recession per step = 1 - 0.98^(hours / 24),
// and the rain from which the runoff exponent is 1 is 20 mm a day,
// scaled to the step and kept at 2 mm or more.
ControlSettings default_control(double time_step_hours);

// The control file, commented: every comment stands after the values a
// read takes from its line, or on a title line.
std::string control_text(const ControlSettings& c);

// The cells of a project, already cut to the basin's bounding box.
struct ProjectGrids {
    Geometry geometry;  // cell size a whole number
    std::vector<uint8_t> inside;
    std::vector<int32_t> subbasin, thiessen_p, thiessen_e, thiessen_t;
    std::vector<double> runoff_coefficient, field_capacity, porosity, conductivity, pore_index, depression_capacity,
        interception_max, interception_min, residual_moisture, root_depth, slope_percent, wilting_point, elevation;
};

// An integer or real grid as ESRI ASCII text; cells outside the basin hold
// kNoData. Reals are written in plain decimals (at most `decimals` places,
// trailing zeros dropped).
std::string int_grid_text(const Geometry& g, const std::vector<uint8_t>& inside, const std::vector<int32_t>& v);
std::string real_grid_text(const Geometry& g, const std::vector<uint8_t>& inside, const std::vector<double>& v,
                           int decimals);

// A number in plain decimal notation with at most `decimals` places.
std::string plain_decimal(double v, int decimals);

struct ProjectFiles {
    ProjectGrids grids;
    std::string coordinate_system;  // WKT for arcview/ascii/watershed.prj; empty: none is written
    ControlSettings control;
    std::vector<std::string> uh_cell_h, uh_cell_s, uh_river;  // one line each, with line end
    // Series to copy into model/input: (file name in the project, contents).
    std::vector<std::array<std::string, 2>> series;
};

// Creates the folders and writes every file (arcview/ascii/watershed.prj
// when the coordinate system is known). Throws hydro::OutputError.
void write_project(const std::string& root, const ProjectFiles& files);

}  // namespace gridprep
