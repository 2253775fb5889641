#include "gdal_raster.hpp"

#include "free_format.hpp"
#include "input_error.hpp"

#ifdef HYDRO_HAVE_GDAL

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <mutex>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

namespace gridprep {

namespace {

using hydro::InputError;

void register_drivers() {
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        // GDAL's own messages stay off the console: gridprep reports one line.
        CPLSetErrorHandler(CPLQuietErrorHandler);
    });
}

struct DatasetCloser {
    void operator()(void* ds) const {
        if (ds) GDALClose(ds);
    }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

struct SrsDeleter {
    void operator()(void* h) const {
        if (h) OSRDestroySpatialReference(h);
    }
};
using Srs = std::unique_ptr<void, SrsDeleter>;

std::string last_gdal_message() {
    const char* m = CPLGetLastErrorMsg();
    return m && *m ? std::string(m) : std::string();
}

// A coordinate system from WKT or from the lines of an ESRI .prj.
Srs srs_from_text(const std::string& text) {
    register_drivers();
    Srs srs(OSRNewSpatialReference(nullptr));
    OSRSetAxisMappingStrategy(srs.get(), OAMS_TRADITIONAL_GIS_ORDER);
    char** lines = CSLTokenizeString2(text.c_str(), "\r\n", 0);
    const OGRErr err = OSRImportFromESRI(srs.get(), lines);
    CSLDestroy(lines);
    if (err == OGRERR_NONE) return srs;
    std::string copy = text;
    if (OSRSetFromUserInput(srs.get(), copy.c_str()) == OGRERR_NONE) return srs;
    return nullptr;
}

// The coordinate system as WKT for a .prj file: the ESRI form that GIS
// programs read beside ASCII grids, or standard WKT where that form fails.
std::string wkt_of(OGRSpatialReferenceH srs) {
    for (const char* format : {"FORMAT=WKT1_ESRI", "FORMAT=WKT1_GDAL", "FORMAT=WKT2_2019"}) {
        const char* options[] = {format, nullptr};
        char* wkt = nullptr;
        if (OSRExportToWktEx(srs, &wkt, options) == OGRERR_NONE && wkt && *wkt) {
            std::string out(wkt);
            CPLFree(wkt);
            return out;
        }
        CPLFree(wkt);
    }
    return std::string();
}

// The double a 32-bit float was written as: its shortest decimal form.
double decimal_of(float v) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    double d = 0;
    std::from_chars(buf, res.ptr, d);
    return d;
}

bool is_feet(std::string unit) {
    for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return unit == "ft" || unit == "foot" || unit == "feet" || unit.find("us survey foot") != std::string::npos ||
           unit == "us_survey_foot" || unit == "ft_us" || unit == "us-ft";
}

}  // namespace

bool gdal_available() { return true; }

Raster read_gdal_raster(const std::string& path, const std::string& what, const std::string& file_kind,
                        bool elevations) {
    register_drivers();
    CPLErrorReset();
    Dataset ds(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!ds)
        throw InputError(path, 0, "a " + what + " as a raster GDAL reads (GeoTIFF, an ESRI ASCII grid, ...)",
                         file_kind);
    const int bands = GDALGetRasterCount(ds.get());
    if (bands != 1) throw InputError(path, 0, "a " + what + " of one band", std::to_string(bands) + " bands");
    const int nx = GDALGetRasterXSize(ds.get()), ny = GDALGetRasterYSize(ds.get());
    double gt[6] = {0, 1, 0, 0, 0, 1};
    if (GDALGetGeoTransform(ds.get(), gt) != CE_None)
        throw InputError(path, 0, "a georeferenced " + what + " (position and size of its cells)",
                         "a raster without georeferencing");
    if (gt[2] != 0.0 || gt[4] != 0.0)
        throw InputError(path, 0, "a north-up " + what + " (no rotation; gdalwarp makes one)", "a rotated raster");
    const double dx = gt[1], dy = std::fabs(gt[5]);
    OGRSpatialReferenceH srs = GDALGetSpatialRef(ds.get());
    // Cells in degrees are seldom square; the DEM's check of its coordinate
    // system refuses them with the command that projects them.
    const bool degrees = srs && OSRIsGeographic(srs);
    if (!(dx > 0) || !(dy > 0) || (std::fabs(dx - dy) > 1e-9 * dx && !degrees))
        throw InputError(path, 0, "square cells (gdalwarp -tr SIZE SIZE makes them)",
                         "cells of " + std::to_string(dx) + " by " + std::to_string(dy));
    Raster r;
    Geometry& g = r.geometry;
    g.n_cols = nx;
    g.n_rows = ny;
    g.cell_size = degrees ? dy : dx;
    g.xll = gt[0];
    const bool south_up = gt[5] > 0;
    g.yll = south_up ? gt[3] : gt[3] + ny * gt[5];
    if (g.cells() > 400'000'000ull)
        throw InputError(path, 0, "a grid of at most 400 million cells", std::to_string(g.cells()) + " cells");

    GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
    if (elevations) {
        const char* unit = GDALGetRasterUnitType(band);
        if (unit && is_feet(unit))
            throw InputError(path, 0, "elevations in metres (gdal_translate -scale or gdal_calc convert feet)",
                             std::string("elevations in ") + unit);
    }
    const GDALDataType type = GDALGetRasterDataType(band);
    if (GDALDataTypeIsComplex(type)) throw InputError(path, 0, "a " + what + " of real values", "complex values");
    int has = 0;
    const double nodata = GDALGetRasterNoDataValue(band, &has);
    if (has && std::isfinite(nodata)) r.nodata = nodata;
    const double scale = GDALGetRasterScale(band, nullptr), offset = GDALGetRasterOffset(band, nullptr);
    const bool scaled = scale != 1.0 || offset != 0.0;

    const std::size_t n = g.cells();
    r.value.assign(n, 0.0);
    r.has_data.assign(n, 0);
    std::vector<uint8_t> valid(static_cast<std::size_t>(nx), 1);
    std::vector<float> row_f(type == GDT_Float32 ? static_cast<std::size_t>(nx) : 0);
    std::vector<double> row_d(static_cast<std::size_t>(nx));
    const int mask_flags = GDALGetMaskFlags(band);
    GDALRasterBandH mask = mask_flags == GMF_ALL_VALID ? nullptr : GDALGetMaskBand(band);
    for (int y = 0; y < ny; ++y) {
        const int src = south_up ? ny - 1 - y : y;
        CPLErr err = CE_None;
        if (type == GDT_Float32) {
            err = GDALRasterIO(band, GF_Read, 0, src, nx, 1, row_f.data(), nx, 1, GDT_Float32, 0, 0);
            for (int x = 0; x < nx; ++x)
                row_d[static_cast<std::size_t>(x)] = decimal_of(row_f[static_cast<std::size_t>(x)]);
        } else {
            err = GDALRasterIO(band, GF_Read, 0, src, nx, 1, row_d.data(), nx, 1, GDT_Float64, 0, 0);
        }
        if (err == CE_None && mask)
            err = GDALRasterIO(mask, GF_Read, 0, src, nx, 1, valid.data(), nx, 1, GDT_Byte, 0, 0);
        if (err != CE_None)
            throw InputError(
                path, 0, "a readable " + what,
                "a read error in row " + std::to_string(y + 1) + " (" + hydro::quote_token(last_gdal_message()) + ")");
        for (int x = 0; x < nx; ++x) {
            const std::size_t k = static_cast<std::size_t>(x);
            double v = row_d[k];
            if (!valid[k] || std::isnan(v)) continue;
            if (scaled) v = v * scale + offset;
            if (!std::isfinite(v))
                throw InputError(path, 0,
                                 "a finite value at row " + std::to_string(y + 1) + ", column " + std::to_string(x + 1),
                                 "an infinite one");
            const std::size_t i = g.index(y, x);
            r.value[i] = v;
            r.has_data[i] = 1;
        }
    }
    if (srs) {
        r.crs_wkt = wkt_of(srs);
        if (!r.crs_wkt.empty()) r.crs_source = path;
    }
    return r;
}

bool gdal_crs_facts(const std::string& wkt, CrsFacts& facts) {
    const Srs srs = srs_from_text(wkt);
    if (!srs) return false;
    facts.geographic = OSRIsGeographic(srs.get()) != 0;
    facts.projected = OSRIsProjected(srs.get()) != 0;
    if (facts.projected) {
        char* name = nullptr;
        facts.metres_per_unit = OSRGetLinearUnits(srs.get(), &name);
        facts.unit = name ? name : "";
    }
    return true;
}

bool gdal_lon_lat(const std::string& wkt, double x, double y, double& lon, double& lat) {
    const Srs srs = srs_from_text(wkt);
    if (!srs) return false;
    Srs wgs84(OSRNewSpatialReference(nullptr));
    if (OSRImportFromEPSG(wgs84.get(), 4326) != OGRERR_NONE) return false;
    OSRSetAxisMappingStrategy(wgs84.get(), OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH ct = OCTNewCoordinateTransformation(srs.get(), wgs84.get());
    if (!ct) return false;
    double px = x, py = y, pz = 0;
    const bool ok = OCTTransform(ct, 1, &px, &py, &pz) != 0 && std::isfinite(px) && std::isfinite(py);
    OCTDestroyCoordinateTransformation(ct);
    if (ok) lon = px, lat = py;
    return ok;
}

bool gdal_transform_points(const std::string& from, const std::string& to, std::vector<double>& x,
                           std::vector<double>& y, std::string& problem) {
    const Srs a = srs_from_text(from), b = srs_from_text(to);
    if (!a || !b) {
        problem = std::string("GDAL cannot read the coordinate system of the ") + (a ? "forcing" : "DEM");
        return false;
    }
    OGRCoordinateTransformationH ct = OCTNewCoordinateTransformation(a.get(), b.get());
    if (!ct) {
        problem = "GDAL finds no transformation between the coordinate systems (" + last_gdal_message() + ")";
        return false;
    }
    std::vector<int> ok(x.size(), 0);
    const bool done =
        x.empty() || OCTTransformEx(ct, static_cast<int>(x.size()), x.data(), y.data(), nullptr, ok.data()) != 0;
    OCTDestroyCoordinateTransformation(ct);
    for (std::size_t i = 0; i < x.size(); ++i)
        if (!done || !ok[i] || !std::isfinite(x[i]) || !std::isfinite(y[i])) {
            problem = "a cell centre cannot be transformed (" + last_gdal_message() + ")";
            return false;
        }
    return true;
}

bool gdal_same_crs(const std::string& a, const std::string& b, bool& known) {
    const Srs sa = srs_from_text(a), sb = srs_from_text(b);
    known = sa && sb;
    return known && OSRIsSame(sa.get(), sb.get()) != 0;
}

}  // namespace gridprep

#else  // built without GDAL

namespace gridprep {

bool gdal_available() { return false; }

Raster read_gdal_raster(const std::string& path, const std::string& what, const std::string& file_kind, bool) {
    throw hydro::InputError(path, 0, "a " + what + " as an ESRI ASCII grid (this gridprep is built without GDAL)",
                            file_kind);
}

bool gdal_crs_facts(const std::string&, CrsFacts&) { return false; }

bool gdal_lon_lat(const std::string&, double, double, double&, double&) { return false; }

bool gdal_transform_points(const std::string&, const std::string&, std::vector<double>&, std::vector<double>&,
                           std::string& problem) {
    problem = "this gridprep is built without GDAL (sudo apt-get install -y libgdal-dev, then build again)";
    return false;
}

bool gdal_same_crs(const std::string&, const std::string&, bool& known) {
    known = false;
    return false;
}

}  // namespace gridprep

#endif
