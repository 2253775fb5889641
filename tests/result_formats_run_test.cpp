// A whole run with every exchange format asked for: the CSV series and the
// NetCDF file hold the values of the text results (which round them), the
// maps get the coordinate system beside them, and ncdump and GDAL (when
// installed) read the NetCDF file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "fixed_width.hpp"
#include "test_support.hpp"

#ifdef HYDRO_HAVE_NETCDF
#include <netcdf.h>
#endif

namespace {

using namespace testing_support;

const char* const kUtm33 =
    "PROJCS[\"WGS_1984_UTM_Zone_33N\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,"
    "298.257223563]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"]"
    ","
    "PARAMETER[\"False_Easting\",500000.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",15.0],"
    "PARAMETER[\"Scale_Factor\",0.9996],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]";

std::vector<std::vector<std::string>> split_lines(const std::string& text, char separator) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        if (separator == ' ') {
            std::istringstream words(line);
            for (std::string w; words >> w;) fields.push_back(w);
        } else {
            std::istringstream cells(line);
            for (std::string c; std::getline(cells, c, separator);) fields.push_back(c);
        }
        rows.push_back(fields);
    }
    return rows;
}

bool tool_installed(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

class FormatsRun : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        tmp_ = new TempDir("formats");
        root_ = tmp_->path() / "project";
        fs::copy(fs::path(TEST_SOURCE_DIR) / "golden" / "case-9013-small" / "project", root_,
                 fs::copy_options::recursive);
        write_file(root_ / "arcview" / "ascii" / "watershed.prj", kUtm33);
        std::vector<std::string> args = {"--mode", "2", "--quiet", "--csv"};
#ifdef HYDRO_HAVE_NETCDF
        args.insert(args.end(), {"--netcdf", (tmp_->path() / "run.nc").string()});
#endif
        run_ = new RunResult(run_program(GRIDRUN_EXE, args, run_dir(root_)));
    }
    static void TearDownTestSuite() {
        delete run_;
        delete tmp_;
    }
    static fs::path output(const std::string& name) { return root_ / "model" / "output" / name; }
    static TempDir* tmp_;
    static fs::path root_;
    static RunResult* run_;
};
TempDir* FormatsRun::tmp_ = nullptr;
fs::path FormatsRun::root_;
RunResult* FormatsRun::run_ = nullptr;

TEST_F(FormatsRun, CsvSeriesHoldTheTextValuesUnroundedWithIsoTimes) {
    ASSERT_EQ(run_->exit_code, 0) << run_->err;
    EXPECT_EQ(run_->out + run_->err, "");
    for (const char* name : {"q_tot", "balance", "q_sub"}) {
        SCOPED_TRACE(name);
        const auto text = split_lines(read_file(output(std::string(name) + ".txt")), ' ');
        const auto csv = split_lines(read_file(output(std::string(name) + ".csv")), ',');
        ASSERT_EQ(csv.size(), text.size());
        ASSERT_GT(csv.size(), 100u);
        // Same column names after the date.
        EXPECT_EQ(csv[0][0], "time");
        EXPECT_EQ(std::vector<std::string>(csv[0].begin() + 1, csv[0].end()),
                  std::vector<std::string>(text[0].begin() + 4, text[0].end()));
        for (std::size_t r = 1; r < csv.size(); ++r) {
            char time[32];
            std::snprintf(time, sizeof time, "%04d-%02d-%02dT%02d:00", std::stoi(text[r][0]), std::stoi(text[r][1]),
                          std::stoi(text[r][2]), std::stoi(text[r][3]));
            ASSERT_EQ(csv[r][0], time);
            ASSERT_EQ(csv[r].size() + 3, text[r].size());
            for (std::size_t c = 1; c < csv[r].size(); ++c)
                ASSERT_EQ(hydro::format_fixed(std::strtof(csv[r][c].c_str(), nullptr), 10, 3),
                          std::string(10 - text[r][c + 3].size(), ' ') + text[r][c + 3])
                    << "line " << r + 1 << ", column " << csv[0][c];
        }
    }
}

TEST_F(FormatsRun, EveryMapHasTheProjectsCoordinateSystemBesideIt) {
    ASSERT_EQ(run_->exit_code, 0) << run_->err;
    int maps = 0;
    for (const std::string& name : file_names(root_ / "model" / "output")) {
        if (name.size() < 4 || name.substr(name.size() - 4) != ".asc") continue;
        ++maps;
        EXPECT_EQ(read_file(output(name.substr(0, name.size() - 4) + ".prj")), std::string(kUtm33) + "\n") << name;
    }
    EXPECT_EQ(maps, 6);
    if (!tool_installed("gdalinfo")) GTEST_SKIP() << "gdalinfo is not installed (sudo apt-get install -y gdal-bin)";
    const RunResult info = run_program("/bin/sh", {"-c", "gdalinfo runoff0002.asc"}, root_ / "model" / "output");
    EXPECT_NE(info.out.find("UTM zone 33N"), std::string::npos) << info.out << info.err;
}

#ifdef HYDRO_HAVE_NETCDF
std::vector<float> read_floats(int ncid, const char* name, std::size_t count) {
    int var = -1;
    EXPECT_EQ(nc_inq_varid(ncid, name, &var), NC_NOERR) << name;
    std::vector<float> v(count);
    EXPECT_EQ(nc_get_var_float(ncid, var, v.data()), NC_NOERR) << name;
    return v;
}

TEST_F(FormatsRun, NetcdfHoldsTheSeriesAndMapsOfTheTextResults) {
    ASSERT_EQ(run_->exit_code, 0) << run_->err;
    const fs::path file = tmp_->path() / "run.nc";
    int ncid = -1;
    ASSERT_EQ(nc_open(file.c_str(), NC_NOWRITE, &ncid), NC_NOERR);
    const auto q_tot = split_lines(read_file(output("q_tot.csv")), ',');
    const auto balance = split_lines(read_file(output("balance.csv")), ',');
    const auto q_sub = split_lines(read_file(output("q_sub.csv")), ',');
    const std::size_t steps = q_tot.size() - 1;
    // Series: bit for bit the CSV values (which are exact).
    for (const auto* table : {&q_tot, &balance}) {
        for (std::size_t c = 1; c < (*table)[0].size(); ++c) {
            const std::vector<float> v = read_floats(ncid, (*table)[0][c].c_str(), steps);
            for (std::size_t t = 0; t < steps; ++t)
                ASSERT_EQ(v[t], std::strtof((*table)[t + 1][c].c_str(), nullptr)) << (*table)[0][c] << " step " << t;
        }
    }
    const std::vector<float> sub = read_floats(ncid, "q_sub", steps * 2);
    for (std::size_t t = 0; t < steps; ++t)
        for (std::size_t p = 0; p < 2; ++p)
            ASSERT_EQ(sub[t * 2 + p], std::strtof(q_sub[t + 1][p + 1].c_str(), nullptr));
    // The time axis: hours since the first step (hourly steps here).
    std::vector<double> time(steps);
    int var = -1;
    ASSERT_EQ(nc_inq_varid(ncid, "time", &var), NC_NOERR);
    ASSERT_EQ(nc_get_var_double(ncid, var, time.data()), NC_NOERR);
    char units[128] = {};
    ASSERT_EQ(nc_get_att_text(ncid, var, "units", units), NC_NOERR);
    EXPECT_STREQ(units, "hours since 1904-02-24 19:00:00");
    EXPECT_EQ(time[0], 0.0);
    EXPECT_EQ(time[steps - 1], static_cast<double>(steps - 1));
    // Maps: the .asc values (2 decimals) and the fill value where they say -1.00.
    for (int period = 1; period <= 3; ++period) {
        const auto asc = split_lines(read_file(output("runoff000" + std::to_string(period) + ".asc")), ' ');
        const std::vector<float> all = read_floats(ncid, "runoff", 3 * 20 * 26);
        for (std::size_t r = 0; r < 20; ++r)
            for (std::size_t c = 0; c < 26; ++c) {
                const float v = all[static_cast<std::size_t>(period - 1) * 520 + r * 26 + c];
                const std::string& field = asc[6 + r][c];
                if (field == "-1.00")
                    ASSERT_EQ(v, -1.0f);
                else
                    ASSERT_EQ(hydro::format_fixed(v, 10, 2), std::string(10 - field.size(), ' ') + field);
            }
    }
    nc_close(ncid);
    if (tool_installed("ncdump")) {
        const RunResult dump = run_program("/bin/sh", {"-c", "ncdump -h run.nc"}, tmp_->path());
        EXPECT_NE(dump.out.find(":Conventions = \"CF-1.8\""), std::string::npos) << dump.out;
    } else {
        std::printf(
            "ncdump is not installed: its reading of the file is not checked (sudo apt-get install -y netcdf-bin)\n");
    }
    if (tool_installed("gdalinfo")) {
        const RunResult info = run_program("/bin/sh", {"-c", "gdalinfo NETCDF:run.nc:runoff"}, tmp_->path());
        EXPECT_NE(info.out.find("UTM zone 33N"), std::string::npos) << info.out << info.err;
        EXPECT_NE(info.out.find("Origin = (448436.5"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("NoData Value=-1"), std::string::npos) << info.out;
    } else {
        std::printf(
            "gdalinfo is not installed: GDAL's reading of the file is not checked (sudo apt-get install -y "
            "gdal-bin)\n");
    }
}

std::string text_attribute(int ncid, const char* var_name, const char* att) {
    int var = NC_GLOBAL;
    if (var_name) {
        EXPECT_EQ(nc_inq_varid(ncid, var_name, &var), NC_NOERR) << var_name;
    }
    size_t len = 0;
    if (nc_inq_attlen(ncid, var, att, &len) != NC_NOERR) return "(none)";
    std::string v(len, '\0');
    nc_get_att_text(ncid, var, att, v.data());
    return v;
}

std::vector<double> read_doubles(int ncid, const char* name, std::size_t count) {
    int var = -1;
    EXPECT_EQ(nc_inq_varid(ncid, name, &var), NC_NOERR) << name;
    std::vector<double> v(count);
    EXPECT_EQ(nc_get_var_double(ncid, var, v.data()), NC_NOERR) << name;
    return v;
}

// What the CF conventions ask: a grid mapping with its parameters, latitudes
// and longitudes of the cells, time bounds, cell methods and standard names.
TEST_F(FormatsRun, NetcdfIsCfComplete) {
    ASSERT_EQ(run_->exit_code, 0) << run_->err;
    int ncid = -1;
    ASSERT_EQ(nc_open((tmp_->path() / "run.nc").c_str(), NC_NOWRITE, &ncid), NC_NOERR);
    struct Attribute {
        const char* var;
        const char* name;
        const char* value;
    } expected[] = {
        {"Q", "standard_name", "water_volume_transport_in_river_channel"},
        {"Q", "cell_methods", "time: mean"},
        {"rain", "cell_methods", "area: mean time: sum"},
        {"rain", "standard_name", "lwe_thickness_of_precipitation_amount"},
        {"GT", "cell_methods", "area: mean time: point"},
        {"q_sub", "standard_name", "water_volume_transport_in_river_channel"},
        {"time", "bounds", "time_bnds"},
        {"runoff", "grid_mapping", "crs"},
        {"runoff", "cell_methods", "area: mean runoff_time: sum"},
        {"runoff_time_bounds", "units", "(none)"},
        {"interflow", "grid_mapping", "crs"},
    };
    for (const Attribute& a : expected)
        EXPECT_EQ(text_attribute(ncid, a.var, a.name), a.value) << a.var << ":" << a.name;
#ifdef HYDRO_HAVE_GDAL
    {
        EXPECT_EQ(text_attribute(ncid, "crs", "grid_mapping_name"), "transverse_mercator");
        EXPECT_EQ(text_attribute(ncid, "recharge", "coordinates"), "lat lon");
        EXPECT_EQ(text_attribute(ncid, "lat", "units"), "degrees_north");
        EXPECT_EQ(text_attribute(ncid, "lon", "standard_name"), "longitude");
        const struct {
            const char* name;
            double value;
        } parameters[] = {{"longitude_of_central_meridian", 15},
                          {"scale_factor_at_central_meridian", 0.9996},
                          {"false_easting", 500000},
                          {"false_northing", 0},
                          {"semi_major_axis", 6378137}};
        int crs = -1;
        ASSERT_EQ(nc_inq_varid(ncid, "crs", &crs), NC_NOERR);
        for (const auto& p : parameters) {
            double v = -1;
            EXPECT_EQ(nc_get_att_double(ncid, crs, p.name, &v), NC_NOERR) << p.name;
            EXPECT_DOUBLE_EQ(v, p.value) << p.name;
        }
        // Rows from the north: latitudes fall down a column, longitudes grow along a row; zone 33 spans 12 to 18 E.
        const std::vector<double> lat = read_doubles(ncid, "lat", 20 * 26), lon = read_doubles(ncid, "lon", 20 * 26);
        EXPECT_GT(lat[0], lat[26]);
        EXPECT_LT(lon[0], lon[1]);
        EXPECT_GT(lon[0], 12.0);
        EXPECT_LT(lon[0], 18.0);
    }
#endif
    // Each step runs from its date to the next one (hourly steps); a map's period from the start of its first
    // step to the end of its last (the first runoff map is one step).
    const std::size_t steps = split_lines(read_file(output("q_tot.csv")), ',').size() - 1;
    const std::vector<double> time = read_doubles(ncid, "time", steps),
                              bounds = read_doubles(ncid, "time_bnds", 2 * steps);
    for (std::size_t t = 0; t < steps; ++t) {
        ASSERT_EQ(bounds[2 * t], time[t]);
        ASSERT_EQ(bounds[2 * t + 1], time[t] + 1.0);
    }
    const std::vector<double> period = read_doubles(ncid, "runoff_time_bounds", 6);
    EXPECT_EQ(period[1] - period[0], 1.0);
    EXPECT_EQ(period[3] - period[2], 24.0 + 8.0 + 1.0);
    nc_close(ncid);
}
#else
TEST(FormatsRunNetcdf, SkippedWithoutTheLibrary) {
    GTEST_SKIP() << "built without the netCDF library: gridrun --netcdf is not available (sudo apt-get install -y "
                    "libnetcdf-dev)";
}
#endif

}  // namespace
