#include "map_coordinates.hpp"

#ifdef HYDRO_HAVE_GDAL

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include <cpl_error.h>
#include <cpl_string.h>
#include <ogr_srs_api.h>

#include "optional_library.hpp"

namespace hydro {

namespace {

// The functions of GDAL this file calls, from the library opened at the
// first use of a coordinate system.
struct GdalCalls {
    decltype(&::CPLSetErrorHandler) CPLSetErrorHandler;
    decltype(&::CPLQuietErrorHandler) CPLQuietErrorHandler;
    decltype(&::OSRNewSpatialReference) OSRNewSpatialReference;
    decltype(&::OSRSetAxisMappingStrategy) OSRSetAxisMappingStrategy;
    decltype(&::CSLTokenizeString2) CSLTokenizeString2;
    decltype(&::OSRImportFromESRI) OSRImportFromESRI;
    decltype(&::CSLDestroy) CSLDestroy;
    decltype(&::OSRSetFromUserInput) OSRSetFromUserInput;
    decltype(&::OSRDestroySpatialReference) OSRDestroySpatialReference;
    decltype(&::OSRIsGeographic) OSRIsGeographic;
    decltype(&::OSRIsProjected) OSRIsProjected;
    decltype(&::OSRGetAttrValue) OSRGetAttrValue;
    decltype(&::OSRGetNormProjParm) OSRGetNormProjParm;
    decltype(&::OSRGetSemiMajor) OSRGetSemiMajor;
    decltype(&::OSRGetInvFlattening) OSRGetInvFlattening;
    decltype(&::OSRGetPrimeMeridian) OSRGetPrimeMeridian;
    decltype(&::OSRCloneGeogCS) OSRCloneGeogCS;
    decltype(&::OCTNewCoordinateTransformation) OCTNewCoordinateTransformation;
    decltype(&::OCTTransformEx) OCTTransformEx;
    decltype(&::OCTDestroyCoordinateTransformation) OCTDestroyCoordinateTransformation;
};

// GDAL's functions, or nullptr when the library cannot be opened (then, as
// in a build without GDAL, the maps carry the coordinate system's text only).
const GdalCalls* gdal_calls() {
    static const std::optional<GdalCalls> calls = []() -> std::optional<GdalCalls> {
        static OptionalLibrary lib(HYDRO_GDAL_LIBRARY);
        if (!lib.open()) return std::nullopt;
        const GdalCalls found{HYDRO_LIBRARY_FUNCTION(lib, CPLSetErrorHandler),
                              HYDRO_LIBRARY_FUNCTION(lib, CPLQuietErrorHandler),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRNewSpatialReference),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRSetAxisMappingStrategy),
                              HYDRO_LIBRARY_FUNCTION(lib, CSLTokenizeString2),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRImportFromESRI),
                              HYDRO_LIBRARY_FUNCTION(lib, CSLDestroy),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRSetFromUserInput),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRDestroySpatialReference),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRIsGeographic),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRIsProjected),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRGetAttrValue),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRGetNormProjParm),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRGetSemiMajor),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRGetInvFlattening),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRGetPrimeMeridian),
                              HYDRO_LIBRARY_FUNCTION(lib, OSRCloneGeogCS),
                              HYDRO_LIBRARY_FUNCTION(lib, OCTNewCoordinateTransformation),
                              HYDRO_LIBRARY_FUNCTION(lib, OCTTransformEx),
                              HYDRO_LIBRARY_FUNCTION(lib, OCTDestroyCoordinateTransformation)};
        if (lib.missing()) return std::nullopt;
        return found;
    }();
    return calls ? &*calls : nullptr;
}
const GdalCalls& gdal() { return *gdal_calls(); }

struct SrsDeleter {
    void operator()(void* h) const {
        if (h) gdal().OSRDestroySpatialReference(h);
    }
};
using Srs = std::unique_ptr<void, SrsDeleter>;

// A coordinate system from WKT or the lines of an ESRI .prj.
Srs srs_of(const std::string& text) {
    static std::once_flag once;
    std::call_once(once, [] { gdal().CPLSetErrorHandler(gdal().CPLQuietErrorHandler); });
    Srs srs(gdal().OSRNewSpatialReference(nullptr));
    gdal().OSRSetAxisMappingStrategy(srs.get(), OAMS_TRADITIONAL_GIS_ORDER);
    char** lines = gdal().CSLTokenizeString2(text.c_str(), "\r\n", 0);
    const OGRErr err = gdal().OSRImportFromESRI(srs.get(), lines);
    gdal().CSLDestroy(lines);
    if (err == OGRERR_NONE) return srs;
    if (gdal().OSRSetFromUserInput(srs.get(), text.c_str()) == OGRERR_NONE) return srs;
    return nullptr;
}

// CF names of the projections and of their parameters.
struct Projection {
    const char* gdal;
    const char* cf;
    std::vector<std::pair<const char*, const char*>> parameters;  // GDAL name, CF name
};

const std::vector<Projection>& projections() {
    static const std::vector<Projection> p = {
        {SRS_PT_TRANSVERSE_MERCATOR,
         "transverse_mercator",
         {{SRS_PP_CENTRAL_MERIDIAN, "longitude_of_central_meridian"},
          {SRS_PP_LATITUDE_OF_ORIGIN, "latitude_of_projection_origin"},
          {SRS_PP_SCALE_FACTOR, "scale_factor_at_central_meridian"}}},
        {SRS_PT_LAMBERT_CONFORMAL_CONIC_2SP,
         "lambert_conformal_conic",
         {{SRS_PP_STANDARD_PARALLEL_1, "standard_parallel"},
          {SRS_PP_STANDARD_PARALLEL_2, "standard_parallel"},
          {SRS_PP_LATITUDE_OF_ORIGIN, "latitude_of_projection_origin"},
          {SRS_PP_CENTRAL_MERIDIAN, "longitude_of_central_meridian"}}},
        {SRS_PT_LAMBERT_CONFORMAL_CONIC_1SP,
         "lambert_conformal_conic",
         {{SRS_PP_LATITUDE_OF_ORIGIN, "standard_parallel"},
          {SRS_PP_LATITUDE_OF_ORIGIN, "latitude_of_projection_origin"},
          {SRS_PP_CENTRAL_MERIDIAN, "longitude_of_central_meridian"}}},
        {SRS_PT_ALBERS_CONIC_EQUAL_AREA,
         "albers_conical_equal_area",
         {{SRS_PP_STANDARD_PARALLEL_1, "standard_parallel"},
          {SRS_PP_STANDARD_PARALLEL_2, "standard_parallel"},
          {SRS_PP_LATITUDE_OF_CENTER, "latitude_of_projection_origin"},
          {SRS_PP_LONGITUDE_OF_CENTER, "longitude_of_central_meridian"}}},
        {SRS_PT_LAMBERT_AZIMUTHAL_EQUAL_AREA,
         "lambert_azimuthal_equal_area",
         {{SRS_PP_LATITUDE_OF_CENTER, "latitude_of_projection_origin"},
          {SRS_PP_LONGITUDE_OF_CENTER, "longitude_of_projection_origin"}}},
        {SRS_PT_MERCATOR_1SP,
         "mercator",
         {{SRS_PP_CENTRAL_MERIDIAN, "longitude_of_projection_origin"},
          {SRS_PP_SCALE_FACTOR, "scale_factor_at_projection_origin"}}},
        {SRS_PT_MERCATOR_2SP,
         "mercator",
         {{SRS_PP_CENTRAL_MERIDIAN, "longitude_of_projection_origin"},
          {SRS_PP_STANDARD_PARALLEL_1, "standard_parallel"}}},
    };
    return p;
}

void add(CfGridMapping& m, const std::string& name, double v) {
    for (auto& [n, values] : m.parameters)
        if (n == name) {
            values.push_back(v);
            return;
        }
    m.parameters.push_back({name, {v}});
}

}  // namespace

CfGridMapping cf_grid_mapping(const std::string& wkt) {
    CfGridMapping m;
    if (!gdal_calls()) return m;
    const Srs srs = srs_of(wkt);
    if (!srs) return m;
    if (gdal().OSRIsGeographic(srs.get())) {
        m.name = "latitude_longitude";
    } else if (gdal().OSRIsProjected(srs.get())) {
        const char* projection = gdal().OSRGetAttrValue(srs.get(), "PROJECTION", 0);
        for (const Projection& p : projections()) {
            if (!projection || !EQUAL(projection, p.gdal)) continue;
            m.name = p.cf;
            for (const auto& [gdal_name, cf] : p.parameters)
                add(m, cf, gdal().OSRGetNormProjParm(srs.get(), gdal_name, 0.0, nullptr));
            add(m, "false_easting", gdal().OSRGetNormProjParm(srs.get(), SRS_PP_FALSE_EASTING, 0.0, nullptr));
            add(m, "false_northing", gdal().OSRGetNormProjParm(srs.get(), SRS_PP_FALSE_NORTHING, 0.0, nullptr));
        }
    }
    if (m.name.empty()) return m;
    add(m, "semi_major_axis", gdal().OSRGetSemiMajor(srs.get(), nullptr));
    const double inverse_flattening = gdal().OSRGetInvFlattening(srs.get(), nullptr);
    if (inverse_flattening > 0) add(m, "inverse_flattening", inverse_flattening);
    add(m, "longitude_of_prime_meridian", gdal().OSRGetPrimeMeridian(srs.get(), nullptr));
    return m;
}

bool cell_centre_lon_lat(const std::string& wkt, const GridGeoreference& geo, std::vector<double>& lon,
                         std::vector<double>& lat) {
    if (!gdal_calls()) return false;
    const Srs srs = srs_of(wkt);
    if (!srs) return false;
    const Srs geographic(gdal().OSRCloneGeogCS(srs.get()));
    if (!geographic) return false;
    gdal().OSRSetAxisMappingStrategy(geographic.get(), OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH ct = gdal().OCTNewCoordinateTransformation(srs.get(), geographic.get());
    if (!ct) return false;
    const std::size_t n = static_cast<std::size_t>(geo.n_rows) * static_cast<std::size_t>(geo.n_cols);
    lon.resize(n);
    lat.resize(n);
    for (int32_t r = 0; r < geo.n_rows; ++r)
        for (int32_t c = 0; c < geo.n_cols; ++c) {
            const std::size_t i =
                static_cast<std::size_t>(r) * static_cast<std::size_t>(geo.n_cols) + static_cast<std::size_t>(c);
            lon[i] = geo.x_centre(c);
            lat[i] = geo.y_centre(r);
        }
    std::vector<int> ok(n, 0);
    const bool done =
        n == 0 || gdal().OCTTransformEx(ct, static_cast<int>(n), lon.data(), lat.data(), nullptr, ok.data()) != 0;
    gdal().OCTDestroyCoordinateTransformation(ct);
    if (!done) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (!ok[i] || !std::isfinite(lon[i]) || !std::isfinite(lat[i])) return false;
    return true;
}

}  // namespace hydro

#else  // built without GDAL

namespace hydro {

CfGridMapping cf_grid_mapping(const std::string&) { return {}; }

bool cell_centre_lon_lat(const std::string&, const GridGeoreference&, std::vector<double>&, std::vector<double>&) {
    return false;
}

}  // namespace hydro

#endif
