// Gridded forcing in CF NetCDF files made here with the netCDF library:
// units and dates, cells placed and numbered from the north-west, steps
// summed and averaged into model steps, and the files that are refused.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <sstream>
#include <utility>

#include "calendar.hpp"
#include "dem_grid.hpp"
#include "forcing_units.hpp"
#include "gridded_forcing.hpp"
#include "input_error.hpp"
#include "test_support.hpp"

#ifdef HYDRO_HAVE_NETCDF
#include <netcdf.h>
#endif

namespace {

using namespace gridprep;
using namespace testing_support;

std::string error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const hydro::InputError& e) {
        return e.what();
    }
    return "accepted";
}

TEST(GriddedForcingUnits, AmountsAndRatesBecomeMillimetresPerStep) {
    struct Case {
        const char* units;
        ForcingQuantity q;
        double factor, offset;
        bool per_second;
    } cases[] = {
        {"kg m-2 s-1", ForcingQuantity::precipitation, 1, 0, true},
        {"kg m**-2 s**-1", ForcingQuantity::precipitation, 1, 0, true},
        {"kg/m2/s", ForcingQuantity::evapotranspiration, 1, 0, true},
        {"mm h-1", ForcingQuantity::precipitation, 1.0 / 3600, 0, true},
        {"mm/day", ForcingQuantity::precipitation, 1.0 / 86400, 0, true},
        {"mm d^-1", ForcingQuantity::evapotranspiration, 1.0 / 86400, 0, true},
        {"m s-1", ForcingQuantity::precipitation, 1000, 0, true},
        {"mm", ForcingQuantity::precipitation, 1, 0, false},
        {"m", ForcingQuantity::precipitation, 1000, 0, false},
        {"kg m-2", ForcingQuantity::evapotranspiration, 1, 0, false},
        {"K", ForcingQuantity::temperature, 1, -273.15, false},
        {"degC", ForcingQuantity::temperature, 1, 0, false},
        {"degree_Celsius", ForcingQuantity::temperature, 1, 0, false},
    };
    for (const Case& c : cases) {
        const UnitConversion u = unit_conversion("f.nc", "v", c.q, c.units);
        EXPECT_NEAR(u.factor, c.factor, 1e-12 * c.factor) << c.units;
        EXPECT_EQ(u.offset, c.offset) << c.units;
        EXPECT_EQ(u.per_second, c.per_second) << c.units;
    }
    for (const char* bad : {"m3 s-1", "kg m-3", "W m-2", "mm s-2", "furlongs", ""})
        EXPECT_NE(error_of([&] {
                      unit_conversion("f.nc", "v", ForcingQuantity::precipitation, bad);
                  }).find("f.nc: expected an amount of water v"),
                  std::string::npos)
            << bad;
    EXPECT_NE(error_of([&] { unit_conversion("f.nc", "t2m", ForcingQuantity::temperature, "degF"); }).find("degF"),
              std::string::npos);
}

TEST(GriddedForcingUnits, TimeUnitsAndCalendars) {
    const int64_t day = 86400;
    struct Case {
        const char* units;
        const char* calendar;
        double seconds_per_unit;
        int64_t reference;
    } cases[] = {
        {"hours since 1970-01-01", "", 3600, 0},
        {"seconds since 1970-01-01T00:00:00Z", "standard", 1, 0},
        {"days since 2000-01-01 12:00:00", "gregorian", 86400, 10957 * day + 43200},
        {"minutes since 1970-1-2 0:0:0 +01:00", "proleptic_gregorian", 60, day - 3600},
        {"hours since 1900-01-01 00:00:00.0", "standard", 3600, hydro::civil_day_number(1900, 1, 1) * day},
        // Before 15 October 1582 the standard calendar is the Julian one: ten days apart.
        {"days since 1582-10-04", "standard", 86400, hydro::civil_day_number(1582, 10, 14) * day},
        {"days since 1582-10-04", "proleptic_gregorian", 86400, hydro::civil_day_number(1582, 10, 4) * day},
    };
    for (const Case& c : cases) {
        const TimeUnits t = time_units_of("f.nc", "time", c.units, c.calendar);
        EXPECT_EQ(t.seconds_per_unit, c.seconds_per_unit) << c.units;
        EXPECT_EQ(t.reference, c.reference) << c.units;
    }
    for (const char* calendar : {"noleap", "365_day", "360_day", "julian", "all_leap"})
        EXPECT_NE(error_of([&] {
                      time_units_of("f.nc", "time", "days since 2000-01-01", calendar);
                  }).find(std::string("the calendar \"") + calendar + "\""),
                  std::string::npos)
            << calendar;
    for (const char* units : {"months since 2000-01-01", "hours", "hours since 2000-13-01", "hours since 2001-02-29",
                              "hours since yesterday"})
        EXPECT_NE(error_of([&] { time_units_of("f.nc", "time", units, ""); }).find("expected time units of time"),
                  std::string::npos)
            << units;
}

#ifdef HYDRO_HAVE_NETCDF

// A forcing file on latitudes and longitudes: precipitation (kg m-2 s-1) of
// 0.5 (1 + 10 j + i) / 3600 where j counts latitudes and i longitudes, twice
// that every third hour, and temperature of 273.15 + j + i / 10 + the hour of
// the day; hourly from 2001-03-01 00:00.
struct ForcingSpec {
    std::vector<double> lat = {0.07, 0.05, 0.03, 0.01, -0.01};  // north first
    std::vector<double> lon = {14.97, 14.99, 15.01, 15.03};
    std::vector<double> times;
    std::string time_units = "hours since 2001-03-01 00:00:00";
    std::string calendar = "gregorian";
    int fill_t = -1, fill_j = -1, fill_i = -1;  // a missing precipitation value there
    float hole = 1e20f;                         // the value there: the fill value, or another
    bool coordinate_units = true;               // without: latitudes and longitudes by their names only
    ForcingSpec() {
        for (int k = 0; k < 77; ++k) times.push_back(k);
    }
    static double rain(std::size_t t, std::size_t j, std::size_t i) {
        return (t % 3 == 0 ? 1.0 : 0.5) * (1.0 + 10.0 * static_cast<double>(j) + static_cast<double>(i)) / 3600.0;
    }
};

void nc(int status) { ASSERT_EQ(status, NC_NOERR) << nc_strerror(status); }

void put_text(int id, int var, const char* name, const std::string& v) {
    nc(nc_put_att_text(id, var, name, v.size(), v.c_str()));
}

void write_forcing(const fs::path& path, const ForcingSpec& s) {
    int id = 0, dt = 0, dy = 0, dx = 0, vt = 0, vy = 0, vx = 0, vp = 0, vT = 0;
    nc(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &id));
    nc(nc_def_dim(id, "time", s.times.size(), &dt));
    nc(nc_def_dim(id, "lat", s.lat.size(), &dy));
    nc(nc_def_dim(id, "lon", s.lon.size(), &dx));
    nc(nc_def_var(id, "time", NC_DOUBLE, 1, &dt, &vt));
    put_text(id, vt, "units", s.time_units);
    put_text(id, vt, "calendar", s.calendar);
    nc(nc_def_var(id, "lat", NC_DOUBLE, 1, &dy, &vy));
    if (s.coordinate_units) put_text(id, vy, "units", "degrees_north");
    nc(nc_def_var(id, "lon", NC_DOUBLE, 1, &dx, &vx));
    if (s.coordinate_units) put_text(id, vx, "units", "degrees_east");
    const int dims[3] = {dt, dy, dx};
    nc(nc_def_var(id, "pr", NC_FLOAT, 3, dims, &vp));
    put_text(id, vp, "standard_name", "precipitation_flux");
    put_text(id, vp, "units", "kg m-2 s-1");
    const float fill = 1e20f;
    nc(nc_put_att_float(id, vp, "_FillValue", NC_FLOAT, 1, &fill));
    nc(nc_def_var(id, "tas", NC_FLOAT, 3, dims, &vT));
    put_text(id, vT, "standard_name", "air_temperature");
    put_text(id, vT, "units", "K");
    nc(nc_enddef(id));
    nc(nc_put_var_double(id, vt, s.times.data()));
    nc(nc_put_var_double(id, vy, s.lat.data()));
    nc(nc_put_var_double(id, vx, s.lon.data()));
    const std::size_t ny = s.lat.size(), nx = s.lon.size();
    std::vector<float> p(s.times.size() * ny * nx), t(p.size());
    for (std::size_t k = 0; k < s.times.size(); ++k)
        for (std::size_t j = 0; j < ny; ++j)
            for (std::size_t i = 0; i < nx; ++i) {
                const std::size_t at = (k * ny + j) * nx + i;
                p[at] = static_cast<float>(ForcingSpec::rain(k, j, i));
                t[at] = static_cast<float>(273.15 + static_cast<double>(j) + static_cast<double>(i) / 10 +
                                           static_cast<double>(k % 24));
                if (static_cast<int>(k) == s.fill_t && static_cast<int>(j) == s.fill_j &&
                    static_cast<int>(i) == s.fill_i)
                    p[at] = s.hole;
            }
    nc(nc_put_var_float(id, vp, p.data()));
    nc(nc_put_var_float(id, vT, t.data()));
    nc(nc_close(id));
}

// A 4 x 4 DEM of 1 km cells in UTM zone 33N just north of the equator,
// astride the central meridian (15 degrees east): its cell centres lie at
// latitudes 0.0407, 0.0317, 0.0226, 0.0136 (rows from the north) and
// longitudes 14.9865, 14.9955, 15.0045, 15.0135, well inside cells of the
// forcing grid, whose edges lie at every 0.02 degree.
struct UtmBasin {
    Geometry g;
    std::vector<uint8_t> basin = std::vector<uint8_t>(16, 1);
    std::vector<double> elevation = std::vector<double>(16, 0.0);
    UtmBasin() {
        g.n_rows = g.n_cols = 4;
        g.cell_size = 1000;
        g.xll = 498000;
        g.yll = 1000;
        for (std::size_t i = 0; i < 16; ++i) elevation[i] = 100.0 + static_cast<double>(i);
    }
    ForcingTarget target(double hours) const { return ForcingTarget{&g, "EPSG:32633", &basin, &elevation, hours}; }
};

std::vector<std::vector<double>> records_of(const std::string& text) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream f(line);
        rows.emplace_back();
        for (double v; f >> v;) rows.back().push_back(v);
    }
    return rows;
}

TEST(GriddedForcing, HourlyLatLonForcingBecomesDailyStationSeries) {
    TempDir dir("gridded");
    const fs::path file = dir.path() / "forcing.nc";
    ForcingSpec spec;
    spec.coordinate_units = false;
    write_forcing(file, spec);
    const UtmBasin b;
    const GriddedSeries p = gridded_series(file.string(), "", ForcingQuantity::precipitation, "--pv", b.target(24));
    // Forcing rows (latitude index j) 1, 2, 3 and columns (longitude index i) 1, 2, from the north-west.
    EXPECT_EQ(p.zone, (std::vector<int32_t>{1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4, 5, 5, 6, 6}));
    ASSERT_EQ(p.stations, 6);
    const std::size_t j_of[6] = {1, 1, 2, 2, 3, 3}, i_of[6] = {1, 2, 1, 2, 1, 2};
    const auto rows = records_of(p.text);
    ASSERT_EQ(rows.size(), 3u);  // 77 hours: three whole days, the last five hours left out
    EXPECT_NE(p.notes.at(0).find("the last 5 forcing steps"), std::string::npos);
    for (std::size_t d = 0; d < 3; ++d) {
        EXPECT_EQ(rows[d][0], 2001);
        EXPECT_EQ(rows[d][2], 1 + static_cast<double>(d));
        EXPECT_EQ(rows[d][3], 0);
        // Eight hours of the full rate and sixteen of half: 16 x (1 + 10 j + i) mm a day.
        for (std::size_t s = 0; s < 6; ++s)
            EXPECT_NEAR(rows[d][4 + s],
                        16.0 * (1.0 + 10.0 * static_cast<double>(j_of[s]) + static_cast<double>(i_of[s])), 1e-3)
                << "day " << d << ", station " << s + 1;
    }
    EXPECT_EQ(p.check.records, 3);
    EXPECT_EQ(p.check.last.day, 3);
    // The header holds each station's mean basin elevation: station 3 holds cells 4, 5, 8, 9.
    EXPECT_NE(p.text.find("year month day hour 100.5 102.5 106.5 108.5 112.5 114.5\n"), std::string::npos) << p.text;
    EXPECT_NE(p.summary.find("6 forcing cells of pr in forcing.nc as stations; forcing steps of 1 h, 24 summed into "
                             "each step of 24 h"),
              std::string::npos)
        << p.summary;

    // Temperature of the same file, by its standard name: the daily mean of hours 0..23 is 11.5 above.
    const GriddedSeries t = gridded_series(file.string(), "", ForcingQuantity::temperature, "--tv", b.target(24));
    EXPECT_EQ(t.zone, p.zone);
    const auto trows = records_of(t.text);
    for (std::size_t s = 0; s < 6; ++s)
        EXPECT_NEAR(trows[1][4 + s], static_cast<double>(j_of[s]) + static_cast<double>(i_of[s]) / 10 + 11.5, 1e-4);
    // The same steps taken one by one under an hourly model step.
    const GriddedSeries hourly =
        gridded_series(file.string(), "pr", ForcingQuantity::precipitation, "--pv", b.target(1));
    EXPECT_EQ(hourly.check.records, 77);
    EXPECT_NEAR(records_of(hourly.text)[1][4], 0.5 * 12, 1e-5);
}

// The same basin under a grid of 2 km cells in the forcing's own transverse
// Mercator (the CF parameters of UTM zone 33N, coordinates in km), stored
// x before y: the cells and their numbers are those of the latitude and
// longitude grid above.
TEST(GriddedForcing, ProjectedGridsWithACfGridMappingInAnyDimensionOrder) {
    TempDir dir("gridded_projected");
    const fs::path file = dir.path() / "forcing.nc";
    const std::vector<double> x = {497, 499, 501, 503, 505}, y = {7, 5, 3, 1, -1};
    const std::size_t hours = 48, nx = x.size(), ny = y.size();
    int id = 0, d[3], vt = 0, vx = 0, vy = 0, vc = 0, vp = 0;
    nc(nc_create(file.c_str(), NC_NETCDF4 | NC_CLOBBER, &id));
    nc(nc_def_dim(id, "time", hours, &d[0]));
    nc(nc_def_dim(id, "x", nx, &d[1]));
    nc(nc_def_dim(id, "y", ny, &d[2]));
    nc(nc_def_var(id, "time", NC_DOUBLE, 1, &d[0], &vt));
    put_text(id, vt, "units", "days since 2001-03-01");
    nc(nc_def_var(id, "x", NC_DOUBLE, 1, &d[1], &vx));
    put_text(id, vx, "standard_name", "projection_x_coordinate");
    put_text(id, vx, "units", "km");
    nc(nc_def_var(id, "y", NC_DOUBLE, 1, &d[2], &vy));
    put_text(id, vy, "standard_name", "projection_y_coordinate");
    put_text(id, vy, "units", "km");
    nc(nc_def_var(id, "crs", NC_INT, 0, nullptr, &vc));
    put_text(id, vc, "grid_mapping_name", "transverse_mercator");
    const std::pair<const char*, double> parameters[] = {{"longitude_of_central_meridian", 15},
                                                         {"latitude_of_projection_origin", 0},
                                                         {"scale_factor_at_central_meridian", 0.9996},
                                                         {"false_easting", 500000},
                                                         {"false_northing", 0},
                                                         {"semi_major_axis", 6378137},
                                                         {"inverse_flattening", 298.257223563}};
    for (const auto& [name, value] : parameters) nc(nc_put_att_double(id, vc, name, NC_DOUBLE, 1, &value));
    nc(nc_def_var(id, "rr", NC_FLOAT, 3, d, &vp));
    put_text(id, vp, "units", "mm");
    put_text(id, vp, "grid_mapping", "crs");
    nc(nc_enddef(id));
    std::vector<double> time(hours);
    for (std::size_t t = 0; t < hours; ++t) time[t] = static_cast<double>(t) / 24;
    std::vector<float> p(hours * nx * ny);
    for (std::size_t t = 0; t < hours; ++t)
        for (std::size_t i = 0; i < nx; ++i)
            for (std::size_t j = 0; j < ny; ++j)
                p[(t * nx + i) * ny + j] = static_cast<float>(10 * j + i) + (t < 24 ? 0.0f : 0.5f);
    nc(nc_put_var_double(id, vt, time.data()));
    nc(nc_put_var_double(id, vx, x.data()));
    nc(nc_put_var_double(id, vy, y.data()));
    nc(nc_put_var_float(id, vp, p.data()));
    nc(nc_close(id));

    const UtmBasin b;
    const GriddedSeries s = gridded_series(file.string(), "rr", ForcingQuantity::precipitation, "--pv", b.target(24));
    EXPECT_EQ(s.zone, (std::vector<int32_t>{1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4, 5, 5, 6, 6}));
    const auto rows = records_of(s.text);
    ASSERT_EQ(rows.size(), 2u);
    const double j_of[6] = {1, 1, 2, 2, 3, 3}, i_of[6] = {1, 2, 1, 2, 1, 2};
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(rows[0][4 + k], 24 * (10 * j_of[k] + i_of[k])) << k;  // amounts per hour, summed
        EXPECT_EQ(rows[1][4 + k], 24 * (10 * j_of[k] + i_of[k] + 0.5)) << k;
    }
}

TEST(GriddedForcing, FilesThatCannotServeTheBasinAreRefusedByName) {
    struct Case {
        const char* name;
        std::function<void(ForcingSpec&)> change;
        double model_hours;
        std::vector<const char*> message;
    } cases[] = {
        {"a hole at a cell in use",
         [](ForcingSpec& s) { s.fill_t = 29, s.fill_j = 2, s.fill_i = 2; },
         24,
         {"forcing.nc: expected a value of pr at every forcing cell", "the missing value",
          "at latitude 0.03, "
          "longitude 15.01 (lat 3, lon 3) on 2001-03-02 05:00"}},
        {"an amount below 0",
         [](ForcingSpec& s) { s.fill_t = 3, s.fill_j = 1, s.fill_i = 1, s.hole = -1.0f / 3600; },
         24,
         {"expected an amount of 0 or more of pr", "found -1 mm at latitude 0.05, longitude 14.99"}},
        {"an unknown calendar", [](ForcingSpec& s) { s.calendar = "360_day"; }, 24, {"the calendar \"360_day\""}},
        {"a step coarser than the model's",
         [](ForcingSpec& s) {
             for (double& t : s.times) t *= 3;
         },
         1,
         {"no longer than the model step (1 h", "steps of 3 h"}},
        {"a step that does not divide the model's",
         [](ForcingSpec& s) {
             for (double& t : s.times) t *= 5;
         },
         24,
         {"that divide the model step (24 h)"}},
        {"a gap in the times", [](ForcingSpec& s) { s.times[40] += 0.5; }, 24, {"one after the other, 3600 s long"}},
        {"too small an extent",
         [](ForcingSpec& s) {
             s.lat = {0.03, 0.01, -0.01, -0.03, -0.05};
         },
         24,
         {"forcing.nc: expected a forcing grid that covers every basin cell (longitude 14.96 to 15.04, latitude "
          "-0.06 to 0.04)",
          "the basin cell at row 1, column 1"}},
        {"irregular latitudes", [](ForcingSpec& s) { s.lat[4] = -0.02; }, 24, {"a regular coordinate lat"}},
    };
    TempDir dir("gridded_refused");
    const fs::path file = dir.path() / "forcing.nc";
    const UtmBasin b;
    for (const Case& c : cases) {
        ForcingSpec s;
        c.change(s);
        write_forcing(file, s);
        const std::string m = error_of([&] {
            gridded_series(file.string(), "", ForcingQuantity::precipitation, "--pv", b.target(c.model_hours));
        });
        for (const char* part : c.message) EXPECT_NE(m.find(part), std::string::npos) << c.name << ": " << m;
    }
    // A hole in a cell no basin cell uses does no harm.
    ForcingSpec s;
    s.fill_t = 29, s.fill_j = 0, s.fill_i = 0;
    write_forcing(file, s);
    EXPECT_NO_THROW(gridded_series(file.string(), "", ForcingQuantity::precipitation, "--pv", b.target(24)));
}

#ifdef GRIDPREP_EXE

// Hourly forcing on a grid of 70 m cells over the 10 m volcano DEM (local
// coordinates, so the grid names no mapping and lies in the DEM's), one file
// of all three variables: the subbasin means areamean writes are the means of
// the daily sums over each subbasin's cells, as worked out here from the
// values written.
TEST(GriddedForcing, AreameanGivesTheAreaMeansOfTheForcing) {
    TempDir dir("gridded_run");
    const fs::path file = dir.path() / "forcing.nc";
    const std::size_t nx = 11, ny = 14, hours = 72;
    auto rain = [](std::size_t t, std::size_t j, std::size_t i) {
        return static_cast<float>((7 * t + 3 * j + 5 * i) % 11) * 0.37f;
    };
    {
        int id = 0, d[3], vt = 0, vy = 0, vx = 0, vp = 0, ve = 0, vT = 0;
        nc(nc_create(file.c_str(), NC_NETCDF4 | NC_CLOBBER, &id));
        nc(nc_def_dim(id, "time", hours, &d[0]));
        nc(nc_def_dim(id, "y", ny, &d[1]));
        nc(nc_def_dim(id, "x", nx, &d[2]));
        nc(nc_def_var(id, "time", NC_INT, 1, &d[0], &vt));
        put_text(id, vt, "units", "hours since 2010-06-01");
        nc(nc_def_var(id, "y", NC_DOUBLE, 1, &d[1], &vy));
        put_text(id, vy, "standard_name", "projection_y_coordinate");
        nc(nc_def_var(id, "x", NC_DOUBLE, 1, &d[2], &vx));
        put_text(id, vx, "standard_name", "projection_x_coordinate");
        nc(nc_def_var(id, "rr", NC_FLOAT, 3, d, &vp));
        put_text(id, vp, "standard_name", "lwe_precipitation_rate");
        put_text(id, vp, "units", "mm h-1");
        nc(nc_def_var(id, "pet", NC_FLOAT, 3, d, &ve));
        put_text(id, ve, "standard_name", "water_potential_evaporation_amount");
        put_text(id, ve, "units", "mm");
        nc(nc_def_var(id, "tg", NC_FLOAT, 3, d, &vT));
        put_text(id, vT, "standard_name", "air_temperature");
        put_text(id, vT, "units", "degC");
        nc(nc_enddef(id));
        std::vector<int> time(hours);
        for (std::size_t t = 0; t < hours; ++t) time[t] = static_cast<int>(t);
        std::vector<double> y(ny), x(nx);
        for (std::size_t j = 0; j < ny; ++j) y[j] = -5.0 + 70.0 * static_cast<double>(ny - 1 - j);  // north first
        for (std::size_t i = 0; i < nx; ++i) x[i] = -5.0 + 70.0 * static_cast<double>(i);
        std::vector<float> p(hours * ny * nx), e(p.size(), 0.2f), t(p.size(), 12.5f);
        for (std::size_t k = 0; k < hours; ++k)
            for (std::size_t j = 0; j < ny; ++j)
                for (std::size_t i = 0; i < nx; ++i) p[(k * ny + j) * nx + i] = rain(k, j, i);
        nc(nc_put_var_int(id, vt, time.data()));
        nc(nc_put_var_double(id, vy, y.data()));
        nc(nc_put_var_double(id, vx, x.data()));
        nc(nc_put_var_float(id, vp, p.data()));
        nc(nc_put_var_float(id, ve, e.data()));
        nc(nc_put_var_float(id, vT, t.data()));
        nc(nc_close(id));
    }
    const fs::path root = dir.path() / "project";
    const RunResult prep = run_program(
        GRIDPREP_EXE,
        {"--dem", std::string(TEST_SOURCE_DIR) + "/gridprep_data/volcano_10m.asc", "--output", root.string(),
         "--precipitation", file.string(), "--pet", file.string(), "--temperature", file.string(), "--time-step", "24"},
        dir.path());
    ASSERT_EQ(prep.exit_code, 0) << prep.err;
    EXPECT_NE(prep.out.find("forcing     p: "), std::string::npos) << prep.out;
    EXPECT_NE(prep.out.find("24 averaged into each step of 24 h"), std::string::npos) << prep.out;
    ASSERT_EQ(run_program(AREAMEAN_EXE, {}, run_dir(root)).exit_code, 0);

    // The forcing cell of each basin cell centre (edges every 70 m from -40 m) and the subbasin means.
    const Raster shed = read_ascii_raster((root / "arcview/ascii/watershed.asc").string());
    const Geometry& g = shed.geometry;
    std::vector<std::array<double, 3>> sum;  // per subbasin: days 1..3
    std::vector<int> cells;
    for (int32_t r = 0; r < g.n_rows; ++r)
        for (int32_t c = 0; c < g.n_cols; ++c) {
            const std::size_t at = g.index(r, c);
            if (!shed.has_data[at] || shed.value[at] <= 0) continue;
            const std::size_t s = static_cast<std::size_t>(shed.value[at]);
            if (sum.size() < s) sum.resize(s, {0, 0, 0}), cells.resize(s, 0);
            const std::size_t i = static_cast<std::size_t>(std::floor((g.x_of(c) + 40.0) / 70.0));
            const std::size_t j = ny - 1 - static_cast<std::size_t>(std::floor((g.y_of(r) + 40.0) / 70.0));
            ++cells[s - 1];
            for (std::size_t k = 0; k < hours; ++k) sum[s - 1][k / 24] += rain(k, j, i);
        }
    std::istringstream subbasin_p(read_file(root / "model/output/Subbasin_P.txt"));
    std::string line;
    std::getline(subbasin_p, line);
    for (std::size_t day = 0; day < 3; ++day) {
        ASSERT_TRUE(std::getline(subbasin_p, line));
        std::istringstream f(line);
        int year = 0, month = 0, d = 0, hour = 0;
        f >> year >> month >> d >> hour;
        EXPECT_EQ(d, static_cast<int>(day) + 1);
        for (std::size_t s = 0; s < sum.size(); ++s) {
            double mean = 0;
            f >> mean;
            EXPECT_NEAR(mean, sum[s][day] / cells[s], 0.0015) << "day " << day + 1 << ", subbasin " << s + 1;
        }
    }
    EXPECT_NE(read_file(root / "model/output/Subbasin_T.txt").find("12.500"), std::string::npos);
    EXPECT_NE(read_file(root / "model/output/Subbasin_E.txt").find("4.800"), std::string::npos);
}

#endif
#endif

}  // namespace
