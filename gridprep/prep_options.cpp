#include "prep_options.hpp"

#include <cmath>
#include <cstdio>

#include "command_options.hpp"
#include "csv_lines.hpp"
#include "free_format.hpp"

namespace gridprep {

namespace {

double number_of(const std::string& option, const std::string& text) {
    double v = 0;
    if (!parse_number(text, v)) throw UsageError(option + " needs a number, not \"" + text + "\"");
    return v;
}

double positive_number_of(const std::string& option, const std::string& text) {
    const double v = number_of(option, text);
    if (!(v > 0)) throw UsageError(option + " needs a number above 0, not \"" + text + "\"");
    return v;
}

// A number within the range the model and its files can carry.
double number_in(const std::string& option, const std::string& text, double least, double most, const char* unit) {
    const double v = number_of(option, text);
    if (!(v >= least && v <= most)) {
        char range[96];
        std::snprintf(range, sizeof range, "%g to %g", least, most);
        throw UsageError(option + " needs a number from " + range + unit + ", not \"" + text + "\"");
    }
    return v;
}

int32_t whole_number_of(const std::string& option, const std::string& text, int32_t least) {
    int32_t v = 0;
    if (!hydro::parse_int32(text, v) || v < least)
        throw UsageError(option + " needs a whole number of at least " + std::to_string(least) + ", not \"" + text +
                         "\"");
    return v;
}

}  // namespace

namespace {

const hydro::CommandLineSpec kCommandLine{
    "gridprep", "Usage: gridprep --dem DEM --output DIR [options]\n",
    "Makes a complete project for gridrun and areamean from a digital elevation model: subbasin, station and "
    "parameter grids, slope and elevation, a commented control file and the cell and river response functions.",
    ""};

using hydro::CommandOption;
using hydro::OptionValues;

// A row that stores its one value in `target`.
CommandOption text_option(std::string_view name, std::string_view argument, std::string_view help,
                          std::string& target) {
    return {name, argument, help, [&target](const OptionValues& v) { target = v[0]; }};
}

CommandOption switch_option(std::string_view name, std::string_view help, bool& target, bool value) {
    return {name, "", help, [&target, value](const OptionValues&) { target = value; }};
}

std::vector<CommandOption> outlet_options(PrepOptions& o, bool& have_outlet) {
    auto outlet_given = [&have_outlet] {
        if (have_outlet) throw UsageError("give the outlet once (--outlet-xy or --outlet-rc)");
        have_outlet = true;
    };
    return {
        {"", "", "Outlet (default: the cell of largest flow accumulation, the DEM's largest basin):", {}},
        {"--outlet-xy", "X Y", "outlet at map coordinates X Y",
         [&o, outlet_given](const OptionValues& v) {
             outlet_given();
             o.outlet_kind = OutletKind::map_xy;
             o.outlet_x = number_of("--outlet-xy", v[0]);
             o.outlet_y = number_of("--outlet-xy", v[1]);
         }},
        {"--outlet-rc", "ROW COL", "outlet at row ROW and column COL of the DEM (from 1, row 1 on top)",
         [&o, outlet_given](const OptionValues& v) {
             outlet_given();
             o.outlet_kind = OutletKind::row_col;
             o.outlet_row = whole_number_of("--outlet-rc", v[0], 1);
             o.outlet_col = whole_number_of("--outlet-rc", v[1], 1);
         }},
        {"--snap", "CELLS",
         "move the outlet to the cell of largest flow accumulation within CELLS cells (default 0: no move)",
         [&o](const OptionValues& v) {
             o.snap_radius = number_of("--snap", v[0]);
             if (o.snap_radius < 0 || o.snap_radius > 1000)
                 throw UsageError("--snap needs a radius of 0 to 1000 cells");
         }},
        {"", "", "Streams and subbasins (default: 5 % of the basin area):", {}},
        {"--threshold", "KM2", "upstream area from which a cell is a stream cell, km2",
         [&o](const OptionValues& v) {
             o.threshold_km2 = positive_number_of("--threshold", v[0]);
             o.threshold_cells = -1;
         }},
        {"--threshold-cells", "N", "the same as a number of cells",
         [&o](const OptionValues& v) {
             o.threshold_cells = whole_number_of("--threshold-cells", v[0], 1);
             o.threshold_km2 = -1;
         }},
    };
}

std::vector<CommandOption> series_options(PrepOptions& o) {
    return {
        {"", "", "Stations and series:", {}},
        text_option("--stations", "FILE",
                    "CSV lines: variable (p, e or t), station number, x, y; default: one station of each variable "
                    "for every cell; without t stations snow is off (degree-day factor -1); each within 5 cells of "
                    "the DEM, in its coordinates",
                    o.stations),
        text_option("--precipitation", "FILE",
                    "station series to check and copy to model/input/p.txt, or gridded forcing in a CF NetCDF file "
                    "(one file may hold all three variables): its cells that hold basin cells become the stations, "
                    "its steps are summed (averaged for temperature) into model steps",
                    o.series_p),
        text_option("--pet", "FILE", "the same for model/input/pet.txt", o.series_e),
        text_option("--temperature", "FILE", "the same for model/input/t.txt", o.series_t),
        text_option("--precipitation-variable", "NAME",
                    "the variable of a NetCDF precipitation file (default: the one of a precipitation "
                    "standard_name)",
                    o.variable_p),
        text_option("--pet-variable", "NAME",
                    "the same for potential evapotranspiration (default: a potential evaporation standard_name)",
                    o.variable_e),
        text_option("--temperature-variable", "NAME",
                    "the same for temperature (default: an air temperature standard_name)", o.variable_t),
        {"--time-step", "HOURS", "length of a time step, whole hours from 1 to 8784 (default 24)",
         [&o](const OptionValues& v) {
             // Whole hours: the records' dates step by hours; at most a leap year.
             const double h = number_of("--time-step", v[0]);
             if (!(h >= 1 && h <= kMaxTimeStepHours && h == std::floor(h)))
                 throw UsageError("--time-step needs a whole number of hours from 1 to " +
                                  std::to_string(static_cast<int>(kMaxTimeStepHours)) + " (a leap year), not \"" +
                                  v[0] + "\"");
             o.routing.time_step_hours = h;
         }},
        text_option("--report", "all|none|LIST", "subbasins reported in q_sub.txt, LIST as 1,4,7 (default all)",
                    o.report),
        {"", "", "Soil and land cover (default: one loam soil and one grassland cover everywhere):", {}},
        text_option("--soil-table", "FILE",
                    "CSV: class, field_capacity, porosity, conductivity (mm/h), pore_index, residual_moisture, "
                    "wilting_point",
                    o.soil_table),
        text_option("--soil-grid", "FILE", "soil class of every cell (a grid on the DEM's cells)", o.soil_grid),
        text_option("--cover-table", "FILE",
                    "CSV: class, runoff_coefficient, root_depth (m), interception_max (mm), interception_min (mm), "
                    "depression_capacity (mm), manning_n",
                    o.cover_table),
        text_option("--cover-grid", "FILE", "land-cover class of every cell", o.cover_grid),
    };
}

std::vector<CommandOption> routing_options(PrepOptions& o) {
    RoutingParameters& r = o.routing;
    return {
        {"", "", "Routing (velocity v = R^(2/3) S^(1/2) / n with hydraulic radius R = A x AREA^B):", {}},
        {"--radius-coefficient", "A", "metres at 1 km2 of upstream area, up to 100 (default 0.1)",
         [&r](const OptionValues& v) {
             r.radius_coefficient = number_in("--radius-coefficient", v[0], 1e-6, 100, " m");
         }},
        {"--radius-exponent", "B", "(default 0.3)",
         [&r](const OptionValues& v) {
             r.radius_exponent = number_of("--radius-exponent", v[0]);
             if (r.radius_exponent < 0 || r.radius_exponent > 2)
                 throw UsageError("--radius-exponent needs a number from 0 to 2");
         }},
        {"--channel-n", "N", "Manning's n of stream cells, up to 1 (default 0.035)",
         [&r](const OptionValues& v) { r.channel_manning = number_in("--channel-n", v[0], 1e-4, 1, ""); }},
        // slope.asc holds four decimals of a percent: the least slope must stay readable and above 0.
        {"--min-slope", "PERCENT", "least slope flow and slope.asc see, 0.0001 to 1000 (default 0.1)",
         [&r](const OptionValues& v) {
             r.min_slope = number_in("--min-slope", v[0], 0.0001, 1000, " percent") / 100.0;
         }},
        {"--min-velocity", "M_S", "0.001 to 100 (default 0.01)",
         [&r](const OptionValues& v) { r.min_velocity = number_in("--min-velocity", v[0], 0.001, 100, " m/s"); }},
        {"--max-velocity", "M_S", "0.001 to 100 (default 3)",
         [&r](const OptionValues& v) { r.max_velocity = number_in("--max-velocity", v[0], 0.001, 100, " m/s"); }},
    };
}

std::vector<CommandOption> project_options(PrepOptions& o) {
    return {
        {"", "", "Terrain checks, subbasins and the project folder:", {}},
        switch_option("--strict",
                      "the notes on the basin (cut off by the DEM's edge, outlet on a flat or beside a larger "
                      "stream, default outlet on the edge) are errors",
                      o.strict, true),
        switch_option("--outlet-to-spill", "an outlet on a flat of the filled DEM moves to the flat's spill cell",
                      o.outlet_to_spill, true),
        {"--min-subbasin", "KM2",
         "subbasins smaller than this merge into the one below them (default: a quarter of the stream threshold)",
         [&o](const OptionValues& v) {
             o.min_subbasin_km2 = number_of("--min-subbasin", v[0]);
             if (!(o.min_subbasin_km2 >= 0)) throw UsageError("--min-subbasin needs an area of 0 km2 or more");
             o.min_subbasin_cells = -1;
         }},
        {"--min-subbasin-cells", "N", "the same in cells (0 or 1: no merging)",
         [&o](const OptionValues& v) {
             o.min_subbasin_cells = whole_number_of("--min-subbasin-cells", v[0], 0);
             o.min_subbasin_km2 = -1;
         }},
        switch_option("--terrain-grids",
                      "also write filled_dem.asc, flow_direction.asc and flow_accumulation.asc (the whole DEM) to "
                      "arcview/ascii",
                      o.terrain_grids, true),
        switch_option("--force",
                      "make the project in a folder that holds one: the files the earlier run wrote (its "
                      "gridprep_files.txt) are removed first",
                      o.force, true),
        {"", "", "Other:", {}},
        switch_option("--no-crop", "keep the DEM's extent instead of the basin's bounding box", o.crop, false),
    };
}

// The options of gridprep, in the order of --help; `have_outlet` notes an outlet already given.
std::vector<CommandOption> option_table(PrepOptions& o, bool& have_outlet) {
    std::vector<CommandOption> t = {
        {"", "", "Required:", {}},
        text_option("--dem", "FILE",
                    "elevation model in metres, projected coordinates in metres, a whole-number cell size: an ESRI "
                    "ASCII grid (its .prj beside it) or, built with GDAL, any raster GDAL reads",
                    o.dem),
        text_option("--output", "DIR", "project root to create (arcview/, model/, run/here/)", o.output),
    };
    for (auto part : {outlet_options(o, have_outlet), series_options(o), routing_options(o), project_options(o)})
        t.insert(t.end(), part.begin(), part.end());
    return t;
}

}  // namespace

std::string usage_text() {
    PrepOptions o;
    bool have_outlet = false;
    return hydro::help_text(kCommandLine, option_table(o, have_outlet));
}

PrepOptions parse_command_line(const std::vector<std::string>& args) {
    PrepOptions o;
    bool have_outlet = false;
    const hydro::CommandRequest request = hydro::parse_command_line(kCommandLine, option_table(o, have_outlet), args);
    o.help = request == hydro::CommandRequest::help;
    o.version = request == hydro::CommandRequest::version;
    if (o.help || o.version) return o;
    if (o.dem.empty()) throw UsageError("--dem is required");
    if (o.output.empty()) throw UsageError("--output is required");
    if (o.routing.min_velocity > o.routing.max_velocity)
        throw UsageError("--min-velocity must not exceed --max-velocity");
    if (o.soil_grid.empty() != o.soil_table.empty() && !o.soil_grid.empty())
        throw UsageError("--soil-grid needs --soil-table");
    if (o.cover_grid.empty() != o.cover_table.empty() && !o.cover_grid.empty())
        throw UsageError("--cover-grid needs --cover-table");
    return o;
}

}  // namespace gridprep
