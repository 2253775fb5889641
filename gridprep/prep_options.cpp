#include "prep_options.hpp"

#include <cmath>
#include <cstdio>

#include "csv_lines.hpp"
#include "free_format.hpp"

namespace gridprep {

std::string usage_text() {
    return "Usage: gridprep --dem DEM --output DIR [options]\n"
           "\n"
           "Makes a complete project for gridrun and areamean from a digital elevation model:\n"
           "subbasin, station and parameter grids, slope and elevation, a commented control file\n"
           "and the cell and river response functions.\n"
           "\n"
           "Required:\n"
           "  --dem FILE                 elevation model in metres, projected coordinates in metres,\n"
           "                             a whole-number cell size: an ESRI ASCII grid (its .prj\n"
           "                             beside it) or, built with GDAL, any raster GDAL reads\n"
           "  --output DIR               project root to create (arcview/, model/, run/here/)\n"
           "\n"
           "Outlet (default: the cell of largest flow accumulation, the DEM's largest basin):\n"
           "  --outlet-xy X Y            outlet at map coordinates X Y\n"
           "  --outlet-rc ROW COL        outlet at row ROW and column COL of the DEM (from 1, row 1 on top)\n"
           "  --snap CELLS               move the outlet to the cell of largest flow accumulation\n"
           "                             within CELLS cells (default 0: no move)\n"
           "\n"
           "Streams and subbasins (default: 5 % of the basin area):\n"
           "  --threshold KM2            upstream area from which a cell is a stream cell, km2\n"
           "  --threshold-cells N        the same as a number of cells\n"
           "\n"
           "Stations and series:\n"
           "  --stations FILE            CSV lines: variable (p, e or t), station number, x, y;\n"
           "                             default: one station of each variable for every cell;\n"
           "                             without t stations snow is off (degree-day factor -1);\n"
           "                             each within 5 cells of the DEM, in its coordinates\n"
           "  --precipitation FILE       station series to check and copy to model/input/p.txt\n"
           "  --pet FILE                 the same for model/input/pet.txt\n"
           "  --temperature FILE         the same for model/input/t.txt\n"
           "                             each may also be gridded forcing, a CF NetCDF file (one file\n"
           "                             may hold all three): its cells that hold basin cells become\n"
           "                             the stations, its steps are summed (averaged for temperature)\n"
           "                             into model steps\n"
           "  --precipitation-variable NAME, --pet-variable NAME, --temperature-variable NAME\n"
           "                             the variable of a NetCDF file (default: the one of a\n"
           "                             precipitation, potential evaporation or air temperature\n"
           "                             standard_name)\n"
           "  --time-step HOURS          length of a time step, whole hours from 1 to 8784 (default 24)\n"
           "  --report all|none|LIST     subbasins reported in q_sub.txt, LIST as 1,4,7 (default all)\n"
           "\n"
           "Soil and land cover (default: one loam soil and one grassland cover everywhere):\n"
           "  --soil-table FILE          CSV: class, field_capacity, porosity, conductivity (mm/h),\n"
           "                             pore_index, residual_moisture, wilting_point\n"
           "  --soil-grid FILE           soil class of every cell (a grid on the DEM's cells)\n"
           "  --cover-table FILE         CSV: class, runoff_coefficient, root_depth (m),\n"
           "                             interception_max (mm), interception_min (mm),\n"
           "                             depression_capacity (mm), manning_n\n"
           "  --cover-grid FILE          land-cover class of every cell\n"
           "\n"
           "Routing (velocity v = R^(2/3) S^(1/2) / n with hydraulic radius R = A x AREA^B):\n"
           "  --radius-coefficient A     metres at 1 km2 of upstream area, up to 100 (default 0.1)\n"
           "  --radius-exponent B        (default 0.3)\n"
           "  --channel-n N              Manning's n of stream cells, up to 1 (default 0.035)\n"
           "  --min-slope PERCENT        least slope flow and slope.asc see, 0.0001 to 1000 (default 0.1)\n"
           "  --min-velocity M_S         0.001 to 100 (default 0.01)\n"
           "  --max-velocity M_S         0.001 to 100 (default 3)\n"
           "\n"
           "Terrain checks, subbasins and the project folder:\n"
           "  --strict                   the notes on the basin (cut off by the DEM's edge, outlet on a\n"
           "                             flat or beside a larger stream, default outlet on the edge) are errors\n"
           "  --outlet-to-spill          an outlet on a flat of the filled DEM moves to the flat's spill cell\n"
           "  --min-subbasin KM2         subbasins smaller than this merge into the one below them\n"
           "                             (default: a quarter of the stream threshold)\n"
           "  --min-subbasin-cells N     the same in cells (0 or 1: no merging)\n"
           "  --terrain-grids            also write filled_dem.asc, flow_direction.asc and\n"
           "                             flow_accumulation.asc (the whole DEM) to arcview/ascii\n"
           "  --force                    make the project in a folder that holds one: the files the\n"
           "                             earlier run wrote (its gridprep_files.txt) are removed first\n"
           "\n"
           "Other:\n"
           "  --no-crop                  keep the DEM's extent instead of the basin's bounding box\n"
           "  --help                     this text\n"
           "  --version                  the program's version\n";
}

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

PrepOptions parse_command_line(const std::vector<std::string>& args) {
    PrepOptions o;
    bool have_outlet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string opt = args[i];
        std::vector<std::string> inline_value;
        if (opt.rfind("--", 0) == 0) {
            const std::size_t eq = opt.find('=');
            if (eq != std::string::npos) {
                inline_value.push_back(opt.substr(eq + 1));
                opt = opt.substr(0, eq);
            }
        }
        // The next `count` values of the option.
        auto values = [&](std::size_t count) {
            std::vector<std::string> v = inline_value;
            while (v.size() < count) {
                if (i + 1 >= args.size())
                    throw UsageError(opt + " needs " + std::to_string(count) + (count == 1 ? " value" : " values"));
                v.push_back(args[++i]);
            }
            return v;
        };
        auto value = [&]() { return values(1)[0]; };

        if (opt == "--help" || opt == "-h")
            o.help = true;
        else if (opt == "--version")
            o.version = true;
        else if (opt == "--dem")
            o.dem = value();
        else if (opt == "--output")
            o.output = value();
        else if (opt == "--stations")
            o.stations = value();
        else if (opt == "--outlet-xy" || opt == "--outlet-rc") {
            if (have_outlet) throw UsageError("give the outlet once (--outlet-xy or --outlet-rc)");
            have_outlet = true;
            const std::vector<std::string> v = values(2);
            if (opt == "--outlet-xy") {
                o.outlet_kind = OutletKind::map_xy;
                o.outlet_x = number_of(opt, v[0]);
                o.outlet_y = number_of(opt, v[1]);
            } else {
                o.outlet_kind = OutletKind::row_col;
                o.outlet_row = whole_number_of(opt, v[0], 1);
                o.outlet_col = whole_number_of(opt, v[1], 1);
            }
        } else if (opt == "--snap") {
            o.snap_radius = number_of(opt, value());
            if (o.snap_radius < 0 || o.snap_radius > 1000) throw UsageError("--snap needs a radius of 0 to 1000 cells");
        } else if (opt == "--threshold") {
            o.threshold_km2 = positive_number_of(opt, value());
            o.threshold_cells = -1;
        } else if (opt == "--threshold-cells") {
            o.threshold_cells = whole_number_of(opt, value(), 1);
            o.threshold_km2 = -1;
        } else if (opt == "--time-step") {
            // Whole hours: the records' dates step by hours; at most a leap year.
            const std::string text = value();
            const double h = number_of(opt, text);
            if (!(h >= 1 && h <= kMaxTimeStepHours && h == std::floor(h)))
                throw UsageError("--time-step needs a whole number of hours from 1 to " +
                                 std::to_string(static_cast<int>(kMaxTimeStepHours)) + " (a leap year), not \"" + text +
                                 "\"");
            o.routing.time_step_hours = h;
        } else if (opt == "--soil-table")
            o.soil_table = value();
        else if (opt == "--soil-grid")
            o.soil_grid = value();
        else if (opt == "--cover-table")
            o.cover_table = value();
        else if (opt == "--cover-grid")
            o.cover_grid = value();
        else if (opt == "--precipitation")
            o.series_p = value();
        else if (opt == "--pet")
            o.series_e = value();
        else if (opt == "--temperature")
            o.series_t = value();
        else if (opt == "--precipitation-variable")
            o.variable_p = value();
        else if (opt == "--pet-variable")
            o.variable_e = value();
        else if (opt == "--temperature-variable")
            o.variable_t = value();
        else if (opt == "--report")
            o.report = value();
        else if (opt == "--radius-coefficient")
            o.routing.radius_coefficient = number_in(opt, value(), 1e-6, 100, " m");
        else if (opt == "--radius-exponent") {
            o.routing.radius_exponent = number_of(opt, value());
            if (o.routing.radius_exponent < 0 || o.routing.radius_exponent > 2)
                throw UsageError("--radius-exponent needs a number from 0 to 2");
        } else if (opt == "--channel-n")
            o.routing.channel_manning = number_in(opt, value(), 1e-4, 1, "");
        // slope.asc holds four decimals of a percent: the least slope must stay readable and above 0.
        else if (opt == "--min-slope")
            o.routing.min_slope = number_in(opt, value(), 0.0001, 1000, " percent") / 100.0;
        else if (opt == "--min-velocity")
            o.routing.min_velocity = number_in(opt, value(), 0.001, 100, " m/s");
        else if (opt == "--max-velocity")
            o.routing.max_velocity = number_in(opt, value(), 0.001, 100, " m/s");
        else if (opt == "--no-crop")
            o.crop = false;
        // Terrain checks, subbasins and the project folder.
        else if (opt == "--strict")
            o.strict = true;
        else if (opt == "--outlet-to-spill")
            o.outlet_to_spill = true;
        else if (opt == "--min-subbasin") {
            o.min_subbasin_km2 = number_of(opt, value());
            if (!(o.min_subbasin_km2 >= 0)) throw UsageError("--min-subbasin needs an area of 0 km2 or more");
            o.min_subbasin_cells = -1;
        } else if (opt == "--min-subbasin-cells") {
            o.min_subbasin_cells = whole_number_of(opt, value(), 0);
            o.min_subbasin_km2 = -1;
        } else if (opt == "--terrain-grids")
            o.terrain_grids = true;
        else if (opt == "--force")
            o.force = true;
        else
            throw UsageError("unknown option \"" + args[i] + "\"");
        if (!inline_value.empty() &&
            (opt == "--help" || opt == "--version" || opt == "--no-crop" || opt == "--strict" ||
             opt == "--outlet-to-spill" || opt == "--terrain-grids" || opt == "--force"))
            throw UsageError(opt + " takes no value");
    }
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
