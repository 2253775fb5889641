// Rasters and coordinate systems through the GDAL library, when gridprep is
// built with it (an optional dependency: without it these functions say so
// and the ESRI ASCII reader is the only one).
#pragma once

#include <string>
#include <vector>

#include "dem_grid.hpp"

namespace gridprep {

// Whether this build reads rasters through GDAL.
bool gdal_available();

// Band 1 of a raster GDAL opens, in double precision: no-data cells from the
// band's mask, values scaled by the band's scale and offset, 32-bit float
// cells taken as the shortest decimal that reads back as the same float (so
// that a GeoTIFF converted from an ASCII grid gives the ASCII grid's numbers).
// Rows run from the north; the coordinate system is kept as WKT. Throws
// hydro::InputError for a file GDAL cannot read as a raster (`file_kind`
// says what the file looks like), a raster without georeferencing, rotated,
// with cells that are not square, of more than one band, or, for an
// elevation model (`elevations`), heights in feet.
Raster read_gdal_raster(const std::string& path, const std::string& what, const std::string& file_kind,
                        bool elevations);

// What GDAL knows of a coordinate system given as WKT or as an ESRI .prj.
struct CrsFacts {
    bool geographic = false;
    bool projected = false;
    double metres_per_unit = 1.0;  // of the projected axes
    std::string unit;
};
// False without GDAL or when GDAL cannot read the text.
bool gdal_crs_facts(const std::string& wkt, CrsFacts& facts);

// Longitude and latitude (WGS 84, degrees) of a point given in the
// coordinate system `wkt`; false when GDAL is missing or cannot transform.
bool gdal_lon_lat(const std::string& wkt, double x, double y, double& lon, double& lat);

// Transforms points in place from one coordinate system to another (each
// given as WKT, an ESRI .prj text, "EPSG:n" or a PROJ string, longitude
// before latitude). False, with the reason in `problem`, when GDAL is
// missing, cannot read either system or cannot transform a point.
bool gdal_transform_points(const std::string& from, const std::string& to, std::vector<double>& x,
                           std::vector<double>& y, std::string& problem);

// Whether two coordinate systems are the same; false when GDAL is missing or
// cannot read either (`known` then false).
bool gdal_same_crs(const std::string& a, const std::string& b, bool& known);

}  // namespace gridprep
