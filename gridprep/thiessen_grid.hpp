// Stations and their Thiessen polygons on the grid.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dem_grid.hpp"

namespace gridprep {

enum class Variable { precipitation, evapotranspiration, temperature };

struct Station {
    Variable variable = Variable::precipitation;
    int32_t number = 0;  // column of the station in its series file, from 1
    double x = 0.0;
    double y = 0.0;
    int line = 0;  // line of the station file, for messages
};

// Reads a station file: CSV lines "variable,station number,x,y" where the
// variable is p (precipitation), e (pet, evapotranspiration) or t
// (temperature), in any case. Blank lines and lines starting with '#' are
// passed over; a first line whose station number is not a number is taken
// as the column titles. A station number may appear once per variable.
std::vector<Station> read_station_file(const std::string& path);
std::vector<Station> parse_station_file(const std::string& name, const std::string& contents);

// Stations serve the DEM's cells: each must lie within kStationReachCells
// cells of the DEM's extent. Throws InputError naming the station's line.
inline constexpr double kStationReachCells = 5.0;
void require_stations_near(const std::vector<Station>& stations, const Geometry& dem, const std::string& path);

// The stations of one variable, in increasing number.
std::vector<Station> stations_of(const std::vector<Station>& all, Variable v);

// Nearest station of every cell where mask is set (0 elsewhere): the
// station number minimising the distance between the cell centre (x, y)
// and the station,
//     d^2 = (x - x_s)^2 + (y - y_s)^2,
// the lower number winning a tie. This is the cell's Thiessen polygon.
std::vector<int32_t> thiessen_grid(const Geometry& g, const std::vector<uint8_t>& mask,
                                   const std::vector<Station>& stations);

}  // namespace gridprep
