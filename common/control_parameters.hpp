// The eleven scalar parameters of a run, on the parameter line of the control
// file input.txt. This table is the one place that lists them: the control
// file's reader and gridprep's writer, the parameters of a simulation and
// their names (gridcal's parameter file), and the table of the user guide
// (docs/input-files.md, checked by a test) all follow it.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace hydro {

// The values, as the model computes with them.
struct ControlParameters {
    float interflow_scale = 0;
    float groundwater_recession = 0;
    float initial_moisture_ratio = 0;
    float pet_factor = 0;
    float initial_groundwater = 0;
    float groundwater_scale = 0;
    float melt_base_temperature = 0;
    float degree_day_factor = 0;
    float rain_melt_factor = 0;
    float runoff_exponent = 0;
    float runoff_rain_threshold = 0;
};

struct ControlParameter {
    std::string_view name;  // the name gridcal's parameter file and set_parameter take
    float ControlParameters::*field;
    int position;            // value N of the parameter line (record 4) of input.txt
    std::string_view label;  // in messages: "the interflow scale (value 1 of the parameter line)"
    std::string_view unit;   // "–" for a ratio or factor
    double least, most;      // the usual range of a basin's value (the guide's table)
    bool whole_number;       // written and scanned as a whole number
    double new_project;      // the value gridprep writes into a new project (daily steps)
    int decimals;            // decimal places gridprep writes
    std::string_view note;   // after the name in the comment of the control file gridprep writes
    std::string_view use;    // what the value does in the model
};

inline constexpr std::size_t kControlParameterCount = 11;

// In the order of the parameter line.
inline constexpr std::array<ControlParameter, kControlParameterCount> kControlParameters = {{
    {"interflow_scale", &ControlParameters::interflow_scale, 1, "interflow scale", "–", 0, 10, false, 1.0, 6, "",
     "multiplies slope × conductivity in the interflow"},
    {"groundwater_recession", &ControlParameters::groundwater_recession, 2, "groundwater recession", "1/step", 0, 1,
     false, 0.02, 8, "per step",
     "share of a subbasin's groundwater storage that flows out per step, for a subbasin of basin-mean slope; each "
     "subbasin gets this × its mean slope ÷ the basin's mean slope"},
    {"initial_moisture_ratio", &ControlParameters::initial_moisture_ratio, 3, "initial moisture ratio", "–", 0, 1,
     false, 0.8, 6, "of field capacity; below 0: read moisture.asc",
     "0 or more: every cell starts with this fraction of its field capacity (1 = field capacity, 0.8 = 80 %); "
     "negative: the initial soil moisture is read from `moisture.asc`"},
    {"pet_factor", &ControlParameters::pet_factor, 4, "PET factor", "–", 0.5, 1.5, false, 1.0, 6, "",
     "multiplies the station potential evapotranspiration"},
    {"initial_groundwater", &ControlParameters::initial_groundwater, 5, "initial groundwater storage", "mm", 0, 1000,
     false, 50.0, 6, "mm", "starting storage of every subbasin's groundwater store"},
    {"groundwater_scale", &ControlParameters::groundwater_scale, 6, "groundwater scale", "mm", 10, 10000, false, 1000.0,
     6, "mm", "divisor of the groundwater evaporation; must not be 0"},
    {"melt_base_temperature", &ControlParameters::melt_base_temperature, 7, "melt base temperature", "°C", -3, 3, false,
     0.0, 6, "", "at or below it precipitation is stored as snow, above it snow melts"},
    {"degree_day_factor", &ControlParameters::degree_day_factor, 8, "degree-day factor", "mm/(°C·day)", 0, 10, true,
     3.0, 0, "mm per degree and day, a whole number; -1: no temperature, no snow",
     "**written as a whole number** (`3`, not `3.0` or `2.5`); a negative value (`-1`) switches temperature, snow "
     "and melt off, and then `t.txt` and `thiessen_t.asc` are not read by `gridrun`"},
    {"rain_melt_factor", &ControlParameters::rain_melt_factor, 9, "rain melt factor", "mm/(mm·°C·day)", 0, 0.1, false,
     0.0125, 6, "", "extra melt per mm of rain on snow"},
    {"runoff_exponent", &ControlParameters::runoff_exponent, 10, "runoff exponent", "–", 1, 5, false, 2.0, 6, "",
     "exponent of the relative soil moisture in the runoff fraction when it does not rain"},
    {"runoff_rain_threshold", &ControlParameters::runoff_rain_threshold, 11, "runoff rain threshold", "mm/step", 1, 100,
     false, 20.0, 6, "mm per step", "net rain from which on the exponent is 1"},
}};

constexpr bool positions_follow_the_line() {
    for (std::size_t i = 0; i < kControlParameterCount; ++i)
        if (kControlParameters[i].position != static_cast<int>(i) + 1) return false;
    return true;
}
static_assert(positions_follow_the_line(), "the table lists the parameters in the order of the parameter line");

// The row of `name`, or nullptr.
constexpr const ControlParameter* find_control_parameter(std::string_view name) {
    for (const ControlParameter& p : kControlParameters)
        if (p.name == name) return &p;
    return nullptr;
}

// The row of a name the code itself uses (a constant expression: a misspelt name does not compile).
consteval const ControlParameter& control_parameter(std::string_view name) { return *find_control_parameter(name); }

}  // namespace hydro
