// Where the maps lie on the earth, in the forms the CF conventions ask of a
// NetCDF file: the grid mapping of the coordinate system (its CF name and
// parameters) and the latitude and longitude of every cell centre. Worked
// out through GDAL when gridrun is built with it (an optional dependency);
// without it, or for a coordinate system GDAL cannot read, there are none
// and the maps carry the coordinate system's text only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "grid_georeference.hpp"

namespace hydro {

struct CfGridMapping {
    std::string name;  // grid_mapping_name; empty when unknown
    std::vector<std::pair<std::string, std::vector<double>>> parameters;
};

// The CF grid mapping of a coordinate system given as WKT or an ESRI .prj
// (latitude_longitude, transverse_mercator, lambert_conformal_conic,
// albers_conical_equal_area, lambert_azimuthal_equal_area, mercator), with
// the ellipsoid (semi_major_axis, inverse_flattening) and the prime meridian.
CfGridMapping cf_grid_mapping(const std::string& wkt);

// Longitude and latitude (degrees, on the coordinate system's own datum) of
// every cell centre, rows from the top; false when they cannot be worked out.
bool cell_centre_lon_lat(const std::string& wkt, const GridGeoreference& geo, std::vector<double>& lon,
                         std::vector<double>& lat);

}  // namespace hydro
