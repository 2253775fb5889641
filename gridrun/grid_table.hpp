// Every input grid of a project in one table: file name and stem, what the
// grid holds, its unit on disk and in the model, the conversion at load,
// integer or real values, and the physical range of a real parameter grid.
// The loader reads the catchment grids in the order of this table; the
// parameter multipliers are named after the stems of the parameter grids;
// the project writer, the test project builder and the user guide follow it.
//
// A converted cell (runoff coefficient > 0, subbasin > 0, root depth > 0)
// gets the conversions below; every other cell keeps the values as read.
#pragma once

#include <cstddef>
#include <limits>
#include <string_view>

namespace hydro {

struct GridDescription {
    const char* file;      // in arcview/ascii/
    const char* stem;      // file name without ".asc"
    const char* quantity;  // what a cell's value is
    const char* unit_on_disk;
    const char* unit_in_model;
    const char* conversion;  // at load, on converted cells
    bool integer;            // whole numbers (station and subbasin numbers)
    bool parameter;          // a parameter grid: scaled by "<stem>_multiplier"
    float low, high;         // physical range on disk; multiplied values are clipped to it
    const char* when_read;   // "always", or the condition under which it is read
};

inline constexpr float kUnbounded = std::numeric_limits<float>::infinity();

// The sixteen catchment grids in reading order (the kept header texts are
// those of the last, elevation.asc), then the grids read only in some runs.
inline constexpr GridDescription kGridTable[] = {
    {"runoff_co.asc", "runoff_co", "runoff coefficient", "fraction", "fraction", "none", false, true, 0.0f, 1.0f,
     "always"},
    {"fieldcap.asc", "fieldcap", "field capacity", "fraction of volume", "mm over the root zone", "x root depth x 1000",
     false, true, 0.0f, 1.0f, "always"},
    {"porosity.asc", "porosity", "porosity (saturation)", "fraction of volume", "mm over the root zone",
     "x root depth x 1000", false, true, 0.0f, 1.0f, "always"},
    {"conductivity.asc", "conductivity", "saturated hydraulic conductivity", "mm per hour", "mm per time step",
     "x time step (hours)", false, true, 0.0f, kUnbounded, "always"},
    {"poreindex.asc", "poreindex", "pore-size index", "dimensionless", "dimensionless", "none", false, true, 0.0f,
     kUnbounded, "always"},
    {"depression.asc", "depression", "depression storage capacity", "mm", "mm", "none", false, true, 0.0f, kUnbounded,
     "always"},
    {"interc_max.asc", "interc_max", "maximum interception capacity", "mm", "mm", "none", false, true, 0.0f, kUnbounded,
     "always"},
    {"interc_min.asc", "interc_min", "minimum interception capacity", "mm", "mm", "none", false, true, 0.0f, kUnbounded,
     "always"},
    {"residual.asc", "residual", "residual moisture content", "fraction of volume", "mm over the root zone",
     "x root depth x 1000", false, true, 0.0f, 1.0f, "always"},
    {"rootdepth.asc", "rootdepth", "root depth", "m", "m", "none", false, true, 0.0f, kUnbounded, "always"},
    {"slope.asc", "slope", "slope", "percent", "fraction", "/ 100", false, true, 0.0f, kUnbounded, "always"},
    {"wiltingpoint.asc", "wiltingpoint", "wilting point", "fraction of volume", "mm over the root zone",
     "x root depth x 1000", false, true, 0.0f, 1.0f, "always"},
    {"thiessen_p.asc", "thiessen_p", "precipitation station of the cell", "station number", "station number", "none",
     true, false, 0.0f, 0.0f, "always"},
    {"thiessen_e.asc", "thiessen_e", "evapotranspiration station of the cell", "station number", "station number",
     "none", true, false, 0.0f, 0.0f, "always"},
    {"watershed.asc", "watershed", "subbasin of the cell (negative outside the basin)", "subbasin number",
     "subbasin number", "none", true, false, 0.0f, 0.0f, "always"},
    {"elevation.asc", "elevation", "elevation (only its header texts are used)", "m", "m", "none", false, false, 0.0f,
     0.0f, "always"},
    {"thiessen_t.asc", "thiessen_t", "temperature station of the cell", "station number", "station number", "none",
     true, false, 0.0f, 0.0f, "degree-day factor >= 0"},
    {"moisture.asc", "moisture", "initial soil moisture", "degree of saturation", "mm over the root zone",
     "x converted porosity", false, false, 0.0f, 0.0f, "initial moisture ratio < 0"},
};

inline constexpr std::size_t kGridCount = sizeof(kGridTable) / sizeof(kGridTable[0]);
inline constexpr std::size_t kCatchmentGridCount = 16;  // read in every run, in this order
inline constexpr std::size_t kTemperatureZoneGrid = 16;
inline constexpr std::size_t kInitialMoistureGrid = 17;

// The parameter grids are the first twelve entries, in table order.
inline constexpr std::size_t kParameterGridCount = 12;

// Index in the table of a file name ("slope.asc") or stem ("slope"); kGridCount if none.
inline constexpr std::size_t grid_index(std::string_view name) {
    for (std::size_t i = 0; i < kGridCount; ++i)
        if (name == kGridTable[i].file || name == kGridTable[i].stem) return i;
    return kGridCount;
}

}  // namespace hydro
