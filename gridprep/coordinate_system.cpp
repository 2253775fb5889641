#include "coordinate_system.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "free_format.hpp"
#include "gdal_raster.hpp"
#include "input_error.hpp"
#include "input_file.hpp"

namespace gridprep {

namespace fs = std::filesystem;
using hydro::InputError;

namespace {

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string first_line_start(const std::string& text) {
    std::size_t a = text.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return std::string();
    std::size_t b = text.find_first_of("\r\n", a);
    return text.substr(a, b == std::string::npos ? std::string::npos : b - a);
}

// The factor after the name of the last unit entry `key[` of a WKT text.
double unit_factor(const std::string& up, const std::string& key) {
    const std::size_t at = up.rfind(key);
    if (at == std::string::npos) return 1.0;
    std::size_t comma = up.find(',', at);
    if (comma == std::string::npos) return 1.0;
    const char* begin = up.c_str() + comma + 1;
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    return end != begin && v > 0 && std::isfinite(v) ? v : 1.0;
}

std::string short_number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

// Metres of the map coordinates at the DEM's centre, for the cells of a
// projected DEM: the cell size in degrees along a meridian.
constexpr double kMetresPerDegree = 111320.0;

}  // namespace

PrjFile read_prj_beside(const std::string& grid_path) {
    const fs::path grid(grid_path);
    for (const char* ext : {".prj", ".PRJ"}) {
        fs::path candidate = grid;
        candidate.replace_extension(ext);
        std::error_code ec;
        if (candidate == grid || !fs::exists(candidate, ec)) continue;
        const std::string path = candidate.string();
        const std::string text = read_plain_file(path, "coordinate system file (.prj)");
        if (text.size() > (1u << 20) || !looks_like_text(text) ||
            text.find_first_not_of(" \t\r\n\f\v") == std::string::npos)
            throw InputError(path, 0, "a coordinate system as WKT text (the .prj beside " + grid_path + ")",
                             text.empty()               ? "an empty file"
                             : text.size() > (1u << 20) ? "a file of over 1 MB"
                             : !looks_like_text(text)   ? "binary data (not text)"
                                                        : "blank text");
        // A plain projected or geographic definition is told by its keywords;
        // only other texts are handed to GDAL (whose coordinate database alone
        // takes more memory than the terrain analysis of a large DEM).
        CrsFacts facts;
        double metres = 1.0;
        if (crs_kind(text, metres) == CrsKind::unknown && gdal_available() && !gdal_crs_facts(text, facts))
            throw InputError(path, 0, "a coordinate system GDAL reads (WKT, as GIS programs write beside grids)",
                             "text starting with " + hydro::quote_token(first_line_start(text)));
        return PrjFile{text, path};
    }
    return PrjFile{};
}

int32_t utm_zone(double longitude) {
    double lon = std::fmod(longitude + 180.0, 360.0);
    if (lon < 0) lon += 360.0;
    const int32_t zone = static_cast<int32_t>(std::floor(lon / 6.0)) + 1;
    return zone < 1 ? 1 : zone > 60 ? 60 : zone;
}

int32_t utm_epsg(double longitude, double latitude) { return (latitude >= 0 ? 32600 : 32700) + utm_zone(longitude); }

std::string gdalwarp_command(const std::string& dem_path, double lon, double lat, double cell_metres,
                             bool source_is_unknown, bool to_ascii) {
    const bool place_known = std::isfinite(lon) && std::isfinite(lat);
    const std::string zone = place_known ? std::to_string(utm_zone(lon)) + (lat >= 0 ? "n" : "s") : "ZONE";
    const std::string epsg = place_known ? std::to_string(utm_epsg(lon, lat)) : "326NN";
    const long cell =
        std::isfinite(cell_metres) && cell_metres >= 1 && cell_metres < 1e6 ? std::lround(cell_metres) : 30;
    const fs::path p(dem_path);
    const std::string target = (p.parent_path() / p.stem()).string() + "_utm" + zone + (to_ascii ? ".asc" : ".tif");
    std::string cmd = "gdalwarp";
    if (source_is_unknown) cmd += " -s_srs EPSG:4326";
    cmd += " -t_srs EPSG:" + epsg + " -tr " + std::to_string(cell) + " " + std::to_string(cell) +
           " -r bilinear -dstnodata -9999";
    if (to_ascii) cmd += " -of AAIGrid";
    cmd += " " + shell_word(dem_path) + " " + shell_word(target);
    if (!place_known) cmd += " (326NN: the EPSG code of the basin's UTM zone)";
    return cmd;
}

CrsKind crs_kind(const std::string& wkt, double& metres_per_unit) {
    metres_per_unit = 1.0;
    const std::string up = upper(wkt);
    const std::size_t a = up.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return CrsKind::unknown;
    const std::string head = up.substr(a, 16);
    auto starts = [&](const char* k) { return head.rfind(k, 0) == 0; };
    if (starts("COMPD_CS[") || starts("COMPOUNDCRS[")) {
        // The horizontal part decides.
        const std::size_t proj = std::min(up.find("PROJCS["), up.find("PROJCRS["));
        const std::size_t geog = std::min(up.find("GEOGCS["), up.find("GEOGCRS["));
        if (proj != std::string::npos && proj < geog) {
            metres_per_unit = unit_factor(up.substr(0, up.find("VERT_CS[")), "UNIT[");
            return CrsKind::projected;
        }
        return geog != std::string::npos ? CrsKind::geographic : CrsKind::unknown;
    }
    if (starts("GEOGCS[") || starts("GEOGCRS[")) return CrsKind::geographic;
    if (starts("GEODCRS[")) return up.find("ELLIPSOIDAL") != std::string::npos ? CrsKind::geographic : CrsKind::unknown;
    if (starts("PROJCS[")) {
        metres_per_unit = unit_factor(up, "UNIT[");
        return CrsKind::projected;
    }
    if (starts("PROJCRS[")) {
        metres_per_unit = unit_factor(up, "LENGTHUNIT[");
        return CrsKind::projected;
    }
    // The older ESRI layout: "Projection GEOGRAPHIC", "Units METERS" lines.
    if (starts("PROJECTION")) {
        const bool geographic = up.find("GEOGRAPHIC") != std::string::npos;
        if (!geographic && up.find("FEET") != std::string::npos) metres_per_unit = 0.3048;
        return geographic ? CrsKind::geographic : CrsKind::projected;
    }
    return CrsKind::unknown;
}

void require_projected_metres(const Raster& dem, const std::string& path) {
    const Geometry& g = dem.geometry;
    const double width = g.n_cols * g.cell_size, height = g.n_rows * g.cell_size;
    const double cx = g.xll + 0.5 * width, cy = g.yll + 0.5 * height;
    const bool to_ascii = !gdal_available();
    const std::string expected = "a DEM in projected coordinates in metres";
    if (dem.crs_wkt.empty()) {
        // Without a coordinate system, cells below a metre on an extent that
        // fits longitudes and latitudes are degrees.
        if (g.cell_size < 1.0 && g.xll >= -180.0 && g.xll + width <= 360.0 && g.yll >= -90.0 && g.yll + height <= 90.0)
            throw InputError(path, 0,
                             expected + " (project it with: " +
                                 gdalwarp_command(path, cx > 180 ? cx - 360 : cx, cy, g.cell_size * kMetresPerDegree,
                                                  true, to_ascii) +
                                 ")",
                             "cells of " + short_number(g.cell_size) +
                                 " on an extent of longitudes and latitudes, and no .prj: degrees, it seems");
        return;
    }
    CrsFacts facts;
    bool geographic = false, projected = false;
    double metres = 1.0;
    std::string unit;
    double keyword_metres = 1.0;
    const CrsKind by_keywords = crs_kind(dem.crs_wkt, keyword_metres);
    if (by_keywords == CrsKind::projected && keyword_metres == 1.0) {
        // Projected in metres: all that is needed, without GDAL's coordinate database.
        projected = true;
    } else if (gdal_crs_facts(dem.crs_wkt, facts)) {
        geographic = facts.geographic;
        projected = facts.projected;
        metres = facts.metres_per_unit;
        unit = facts.unit;
    } else {
        const CrsKind kind = crs_kind(dem.crs_wkt, metres);
        geographic = kind == CrsKind::geographic;
        projected = kind == CrsKind::projected;
    }
    if (geographic)
        throw InputError(
            path, 0,
            expected + " (project it with: " +
                gdalwarp_command(path, cx > 180 ? cx - 360 : cx, cy, g.cell_size * kMetresPerDegree, false, to_ascii) +
                ")",
            "geographic coordinates (degrees, from " + dem.crs_source + ")");
    if (projected && std::fabs(metres - 1.0) > 1e-9) {
        double lon = NAN, lat = NAN;
        gdal_lon_lat(dem.crs_wkt, cx, cy, lon, lat);
        throw InputError(path, 0,
                         expected + " (project it with: " +
                             gdalwarp_command(path, lon, lat, g.cell_size * metres, false, to_ascii) + ")",
                         "coordinates in " + (unit.empty() ? "units of " + short_number(metres) + " m" : unit) +
                             " (from " + dem.crs_source + ")");
    }
}

void require_same_coordinate_system(const std::string& dem_crs, const Raster& map, const std::string& map_path) {
    if (dem_crs.empty() || map.crs_wkt.empty()) return;
    bool known = false;
    if (!gdal_same_crs(dem_crs, map.crs_wkt, known) && known)
        throw InputError(map_path, 0, "the coordinate system of the DEM", "another one (from " + map.crs_source + ")");
}

}  // namespace gridprep
