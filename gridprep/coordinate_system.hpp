// The coordinate system of a DEM: read from the .prj beside an ASCII grid
// (or carried by a GDAL raster), written into the project as
// arcview/ascii/watershed.prj, and checked to be projected in metres, since
// cell sizes, areas and slopes are computed from the coordinates.
#pragma once

#include <cstdint>
#include <string>

#include "dem_grid.hpp"

namespace gridprep {

// The .prj beside a grid: same name with the extension .prj (or .PRJ).
struct PrjFile {
    std::string wkt;   // its text; empty when there is none
    std::string path;  // where it was found
};
// Throws hydro::InputError when the .prj exists but is no text (or, with
// GDAL, no coordinate system GDAL understands).
PrjFile read_prj_beside(const std::string& grid_path);

// UTM zone (1..60) of a longitude in degrees, and the EPSG code of
// WGS 84 / UTM in that zone and hemisphere (326zz north, 327zz south).
int32_t utm_zone(double longitude);
int32_t utm_epsg(double longitude, double latitude);

// The command that projects a DEM to the UTM zone of its centre (lon, lat)
// with square cells of a whole number of metres. `source_is_unknown` adds
// -s_srs EPSG:4326 (a DEM without a coordinate system, in degrees).
// `to_ascii` writes an ESRI ASCII grid (for a build without GDAL).
std::string gdalwarp_command(const std::string& dem_path, double lon, double lat, double cell_metres,
                             bool source_is_unknown, bool to_ascii);

// What a coordinate system's text says without GDAL: geographic (degrees),
// projected (with the factor of its unit to metres when written), unknown.
enum class CrsKind { unknown, geographic, projected };
CrsKind crs_kind(const std::string& wkt, double& metres_per_unit);

// Refuses a DEM that is not in projected coordinates in metres: one in
// geographic coordinates (from its coordinate system, or, without one, from
// cells and an extent that can only be degrees), or one projected in feet.
// The message gives the gdalwarp command that projects it.
void require_projected_metres(const Raster& dem, const std::string& path);

// A class map in another coordinate system than the DEM's lies on other
// ground: refused when both are known and GDAL tells them apart.
void require_same_coordinate_system(const std::string& dem_crs, const Raster& map, const std::string& map_path);

}  // namespace gridprep
