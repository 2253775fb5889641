// Soil and land-cover classes and the parameters the model takes from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gridprep {

// Soil water properties (volume fractions) and conductivity of one soil class.
struct SoilClass {
    int32_t id = 1;
    double field_capacity = 0.0;
    double porosity = 0.0;
    double conductivity = 0.0;  // saturated hydraulic conductivity, mm/h
    double pore_index = 0.0;    // exponent of the relative moisture in percolation and interflow
    double residual_moisture = 0.0;
    double wilting_point = 0.0;
};

// Surface properties of one land-cover class.
struct CoverClass {
    int32_t id = 1;
    double runoff_coefficient = 0.0;   // 0..1
    double root_depth = 0.0;           // m
    double interception_max = 0.0;     // mm, the summer capacity
    double interception_min = 0.0;     // mm, the winter capacity
    double depression_capacity = 0.0;  // mm
    double manning_n = 0.0;            // Manning's n of overland flow
};

// The single soil class used without a soil table: a loam (Rawls, Brakensiek
// and Saxton, 1982: porosity 0.463, residual 0.027, field capacity at
// -33 kPa 0.27, wilting point at -1500 kPa 0.117, conductivity 13.2 mm/h,
// Brooks-Corey pore-size index lambda 0.252). The model's exponent of the
// relative moisture is the Brooks-Corey conductivity exponent
//     pore_index = 3 + 2 / lambda = 10.9.
SoilClass default_soil();

// The single land-cover class used without a cover table: grassland (runoff
// coefficient 0.35, roots to 0.5 m, interception 1.0 mm in summer and 0.2 mm
// in winter, depressions 2 mm, Manning's n 0.2 for sheet flow over grass).
CoverClass default_cover();

// Tables: one class per line, "class,<six values>" in the order of the
// structures above; a first line whose class is not a whole number is taken
// as the column titles; '#' starts a comment line. Every value is checked for
// what the model needs (fractions 0 <= residual < wilting point < field
// capacity < porosity <= 1; positive conductivity, pore index, runoff
// coefficient, root depth, depression capacity and Manning's n; interception
// 0 <= min <= max). Throws InputError naming the file and line.
std::vector<SoilClass> parse_soil_table(const std::string& name, const std::string& contents);
std::vector<CoverClass> parse_cover_table(const std::string& name, const std::string& contents);
std::vector<SoilClass> read_soil_table(const std::string& path);
std::vector<CoverClass> read_cover_table(const std::string& path);

}  // namespace gridprep
