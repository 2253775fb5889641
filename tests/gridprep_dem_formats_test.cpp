// gridprep's inputs as files: plain files only, DEMs of other formats through
// GDAL (or refused with a hint), the coordinate system carried into the
// project, and options, stations and series checked for what the model can
// use.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "coordinate_system.hpp"
#include "dem_grid.hpp"
#include "gdal_raster.hpp"
#include "input_error.hpp"
#include "parameter_tables.hpp"
#include "prep_options.hpp"
#include "prep_pipeline.hpp"
#include "series_check.hpp"
#include "test_support.hpp"
#include "thiessen_grid.hpp"

namespace {

using namespace gridprep;
using namespace testing_support;

const std::string kData = std::string(TEST_SOURCE_DIR) + "/gridprep_data/";

// The message of the InputError `f` throws ("" when it throws none).
template <typename F>
std::string input_error_of(F&& f) {
    try {
        f();
    } catch (const hydro::InputError& e) {
        return e.what();
    }
    return "";
}

bool printable(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
    return true;
}

TEST(GridprepInputFiles, FoldersPipesAndDevicesAreRefusedAtOnce) {
    TempDir dir("gridprep_plain");
    const std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::pair<std::string, std::string>> bad = {{fifo, "a device, pipe or socket"},
                                                                  {"/dev/zero", "a device, pipe or socket"},
                                                                  {dir.path().string(), "a folder"}};
    for (const auto& [path, found] : bad) {
        for (const std::string& m :
             {input_error_of([&] { read_raster(path, "DEM"); }), input_error_of([&] { read_station_file(path); }),
              input_error_of([&] { read_soil_table(path); }), input_error_of([&] { read_cover_table(path); })})
            EXPECT_NE(m.find("(a plain file), found " + found), std::string::npos) << path << ": " << m;
    }
}

TEST(GridprepDemFormats, FilesThatAreNoGridAreNamedNeverEchoed) {
    struct Case {
        std::string start, kind;
    };
    const std::vector<Case> cases = {{std::string("II*\0\x08\0\0\0", 8), "a TIFF file"},
                                     {std::string("MM\0*", 4), "a TIFF file"},
                                     {"\x89PNG\r\n\x1a\n", "a PNG image"},
                                     {"PK\x03\x04", "a ZIP archive"},
                                     {std::string("\x01\x02\xff\xfe\0", 5), "binary data (not text)"},
                                     {"  elevation data\n1 2\n", "text starting with \"elevation\""}};
    for (const Case& c : cases) EXPECT_EQ(describe_file_start(c.start), c.kind);
    EXPECT_TRUE(looks_like_ascii_grid("\xEF\xBB\xBF NCOLS 3\n"));
    EXPECT_TRUE(looks_like_ascii_grid("xllcenter 5"));
    EXPECT_FALSE(looks_like_ascii_grid("ncolsx 3"));

    // Raw bytes of a file that is no raster never reach the message.
    TempDir dir("gridprep_binary");
    const fs::path junk = dir.path() / "dem.tif";
    write_file(junk, std::string("II*\0\x08\0\0\0\x1b[31m\xff\xfe garbage", 22));
    const std::string m = input_error_of([&] { read_raster(junk.string(), "DEM"); });
    EXPECT_NE(m.find("found a TIFF file"), std::string::npos) << m;
    EXPECT_TRUE(printable(m)) << m;
    if (!gdal_available()) {
        EXPECT_NE(m.find("gdal_translate -of AAIGrid"), std::string::npos) << m;
    }
}

TEST(GridprepCoordinates, UtmZoneOfTheCentre) {
    EXPECT_EQ(utm_epsg(-84.2, 36.5), 32616);     // Tennessee
    EXPECT_EQ(utm_epsg(174.76, -36.88), 32760);  // Auckland
    EXPECT_EQ(utm_epsg(-180.0, 0.0), 32601);
    EXPECT_EQ(utm_epsg(179.99, 10.0), 32660);
    EXPECT_EQ(utm_epsg(3.0, 60.0), 32631);
    EXPECT_EQ(utm_epsg(186.0, 1.0), 32602);  // longitudes from 0 to 360
}

TEST(GridprepCoordinates, KindOfACoordinateSystemFromItsText) {
    double m = 0;
    EXPECT_EQ(crs_kind("GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\"]]", m), CrsKind::geographic);
    EXPECT_EQ(crs_kind(" PROJCS[\"UTM\",GEOGCS[\"x\",UNIT[\"Degree\",0.017]],UNIT[\"Meter\",1.0]]", m),
              CrsKind::projected);
    EXPECT_DOUBLE_EQ(m, 1.0);
    EXPECT_EQ(crs_kind("PROJCS[\"SP\",GEOGCS[\"x\",UNIT[\"Degree\",0.017]],UNIT[\"Foot_US\",0.3048006096012192]]", m),
              CrsKind::projected);
    EXPECT_NEAR(m, 0.3048, 1e-4);
    EXPECT_EQ(crs_kind("PROJCRS[\"x\",CS[Cartesian,2],LENGTHUNIT[\"metre\",1]]", m), CrsKind::projected);
    EXPECT_EQ(crs_kind("Projection    GEOGRAPHIC\nDatum WGS84\n", m), CrsKind::geographic);
    EXPECT_EQ(crs_kind("local grid", m), CrsKind::unknown);
}

// A 3 x 3 DEM in degrees near Jellico, TN, with or without its .prj.
struct DegreesDem {
    TempDir dir{"gridprep_degrees"};
    fs::path dem = dir.path() / "jellico.asc";
    DegreesDem() {
        write_file(dem,
                   "ncols 3\nnrows 3\nxllcorner -84.3\nyllcorner 36.5\ncellsize 0.000833333\n"
                   "400 401 402\n399 398 397\n380 379 378\n");
    }
};

TEST(GridprepCoordinates, DemsInDegreesAreRefusedWithTheCommandThatProjectsThem) {
    DegreesDem d;
    std::string m =
        input_error_of([&] { require_projected_metres(read_raster(d.dem.string(), "DEM", true), d.dem.string()); });
    EXPECT_NE(m.find("gdalwarp -s_srs EPSG:4326 -t_srs EPSG:32616 -tr 93 93"), std::string::npos) << m;
    EXPECT_NE(m.find("no .prj"), std::string::npos) << m;

    write_file(d.dir.path() / "jellico.prj",
               "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],"
               "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]");
    const Raster r = read_raster(d.dem.string(), "DEM", true);
    EXPECT_EQ(r.crs_source, (d.dir.path() / "jellico.prj").string());
    m = input_error_of([&] { require_projected_metres(r, d.dem.string()); });
    EXPECT_NE(m.find("-t_srs EPSG:32616"), std::string::npos) << m;
    EXPECT_EQ(m.find("-s_srs"), std::string::npos) << m;
    EXPECT_NE(m.find("found geographic coordinates (degrees, from"), std::string::npos) << m;

    write_file(d.dir.path() / "jellico.prj", std::string("\0\x01\x02", 3));
    m = input_error_of([&] { read_raster(d.dem.string(), "DEM", true); });
    EXPECT_NE(m.find("jellico.prj: expected a coordinate system as WKT text"), std::string::npos) << m;
}

TEST(GridprepCoordinates, TheDemsPrjIsCarriedIntoTheProject) {
    const Raster r = read_raster(kData + "jacksboro_utm16n_300m.asc", "DEM", true);
    EXPECT_EQ(r.crs_wkt, read_file(kData + "jacksboro_utm16n_300m.prj"));
    EXPECT_NO_THROW(require_projected_metres(r, "dem"));
    TempDir dir("gridprep_prj");
    PrepOptions o;
    o.dem = kData + "jacksboro_utm16n_300m.asc";
    o.output = (dir.path() / "utm").string();
    o.terrain_grids = true;
    make_project(o);
    // Every grid, parameter and terrain grids alike, opens in its place.
    int grids = 0;
    for (const auto& e : fs::directory_iterator(dir.path() / "utm/arcview/ascii")) {
        if (e.path().extension() != ".asc") continue;
        ++grids;
        fs::path prj = e.path();
        EXPECT_EQ(read_file(prj.replace_extension(".prj")), r.crs_wkt + "\n") << e.path();
    }
    EXPECT_EQ(grids, 20);
    o.dem = kData + "volcano_10m.asc";
    o.output = (dir.path() / "local").string();
    make_project(o);
    EXPECT_FALSE(fs::exists(dir.path() / "local/arcview/ascii/watershed.prj")) << "local coordinates: no .prj";
}

TEST(GridprepDemFormats, ElevationsOffTheEarthAreRefused) {
    Raster dem = parse_ascii_raster("dem.asc",
                                    "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 10\n"
                                    "-11000 8849\n-32768 5\n");
    EXPECT_NE(input_error_of([&] {
                  require_plausible_elevations(dem, "dem.asc");
              }).find("(a no-data value the file does not declare?) at row 2, column 1, found -32768"),
              std::string::npos);
    dem.has_data[2] = 0;
    EXPECT_NO_THROW(require_plausible_elevations(dem, "dem.asc"));
}

TEST(GridprepOptionRanges, WhatTheModelCanReadBack) {
    struct Case {
        std::vector<std::string> extra;
        bool accepted;
    };
    const std::vector<Case> cases = {{{"--time-step", "1"}, true},
                                     {{"--time-step", "8784"}, true},
                                     {{"--time-step", "0.5"}, false},
                                     {{"--time-step", "0"}, false},
                                     {{"--time-step", "8785"}, false},
                                     {{"--time-step", "1e308"}, false},
                                     {{"--time-step", "2.5"}, false},
                                     {{"--min-slope", "0.0001"}, true},
                                     {{"--min-slope", "1e308"}, false},
                                     {{"--min-slope", "0.00001"}, false},
                                     {{"--max-velocity", "1e308"}, false},
                                     {{"--min-velocity", "1e-300"}, false},
                                     {{"--channel-n", "1e300"}, false},
                                     {{"--radius-coefficient", "1e300"}, false},
                                     {{"--outlet-xy", "1e308", "1e308"}, true}};
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--dem", "d.asc", "--output", "o"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        bool accepted = true;
        try {
            parse_command_line(args);
        } catch (const UsageError&) {
            accepted = false;
        }
        EXPECT_EQ(accepted, c.accepted) << c.extra[0] << " " << c.extra[1];
    }
}

TEST(GridprepOptionRanges, FarOutletsAndThresholdsWithoutOverflow) {
    TempDir dir("gridprep_far");
    PrepOptions o;
    o.dem = kData + "volcano_10m.asc";
    o.output = (dir.path() / "p").string();
    o.outlet_kind = OutletKind::map_xy;
    for (double far : {1e308, -1e308, 3e9}) {
        o.outlet_x = far;
        o.outlet_y = far;
        EXPECT_NE(input_error_of([&] { make_project(o); }).find("expected an outlet inside the DEM"),
                  std::string::npos);
    }
    EXPECT_FALSE(fs::exists(o.output));
    o.outlet_kind = OutletKind::largest;
    o.threshold_km2 = 1e308;
    EXPECT_EQ(make_project(o).subbasins, 1);
}

TEST(GridprepStations, WithinFiveCellsOfTheDem) {
    Geometry g;
    g.n_rows = 10;
    g.n_cols = 20;
    g.cell_size = 100;
    g.xll = 5000;
    g.yll = 8000;
    std::vector<Station> near = {{Variable::precipitation, 1, 4500, 8000, 3},
                                 {Variable::temperature, 1, 7500, 9500, 4}};
    EXPECT_NO_THROW(require_stations_near(near, g, "st.csv"));
    for (const auto& [x, y] :
         std::vector<std::pair<double, double>>{{1e300, 0}, {4499, 8500}, {6000, 9501}, {-1e308, -1e308}}) {
        std::vector<Station> far = near;
        far.push_back({Variable::evapotranspiration, 2, x, y, 7});
        const std::string m = input_error_of([&] { require_stations_near(far, g, "st.csv"); });
        EXPECT_NE(
            m.find("st.csv, line 7: expected a station within 5 cells of the DEM (x 4500 to 7500, y 7500 to 9500"),
            std::string::npos)
            << m;
    }
}

TEST(GridprepSeriesSense, ValuesAndDatesTheModelCanUse) {
    struct Case {
        SeriesKind kind;
        const char* record;  // second record, after "2012 2 28 0 1 1"
        const char* part;    // "" when accepted
    };
    const std::vector<Case> cases = {
        {SeriesKind::precipitation, "2012 2 29 0 0 3.5", ""},
        {SeriesKind::precipitation, "2012 2 29 0 -9999 0",
         "line 3: expected precipitation of station 1 of 0 or more (fill missing values before the run), found -9999"},
        {SeriesKind::evapotranspiration, "2012 2 29 0 0 -0.5",
         "line 3: expected evapotranspiration of station 2 of 0 or more"},
        {SeriesKind::temperature, "2012 2 29 0 -5 61",
         "line 3: expected a temperature of station 2 from -90 to 60 degrees, found 61"},
        {SeriesKind::temperature, "2012 2 29 0 -90.5 0", "found -90.5"},
        {SeriesKind::temperature, "2012 13 1 0 0 0", "line 3: expected a month from 1 to 12, found 13"},
        {SeriesKind::precipitation, "2012 0 1 0 0 0", "expected a month from 1 to 12, found 0"},
        {SeriesKind::precipitation, "2012 2 30 0 0 0", "expected a day from 1 to 29 (month 2 of 2012), found 30"},
        {SeriesKind::precipitation, "2012 2 29 24 0 0", "expected an hour from 0 to 23, found 24"},
        {SeriesKind::precipitation, "2012 2 29 -7 0 0", "found -7"},
        {SeriesKind::precipitation, "2012 2 28 0 0 0", "line 3: expected a date and hour after those of line 2"},
        {SeriesKind::precipitation, "2012 2 28 1 0 0",
         "line 3: expected records 24 hours apart, the time step (--time-step 24), or --time-step 1"},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("y m d h 1 2\n2012 2 28 0 1 1\n") + c.record + "\n";
        const std::string m = input_error_of([&] { check_series("p.txt", text, 2, c.kind, 24.0); });
        if (*c.part == 0) {
            EXPECT_EQ(m, "") << c.record;
        } else {
            EXPECT_NE(m.find(c.part), std::string::npos) << c.record << ": " << m;
        }
    }
    EXPECT_NE(
        input_error_of([] { check_series("p.txt", "y m d h 1\n2013 2 29 0 1\n", 1); }).find("to 28 (month 2 of 2013)"),
        std::string::npos);
    // A gap later on is a note; monthly records fit a step of 730 hours.
    const SeriesCheck gap = check_series("p.txt", "y m d h 1\n2012 1 1 0 1\n2012 1 2 0 1\n2012 1 5 0 1\n", 1,
                                         SeriesKind::precipitation, 24.0);
    ASSERT_EQ(gap.notes.size(), 1u);
    EXPECT_NE(gap.notes[0].find("line 4: a record 3 days after the one before"), std::string::npos) << gap.notes[0];
    EXPECT_NO_THROW(check_series("p.txt", "y m d h 1\n2012 1 1 0 1\n2012 2 1 0 1\n2012 3 1 0 1\n", 1,
                                 SeriesKind::precipitation, 730.0));
}

// Whole program: the same DEM as a GeoTIFF gives the same project.
TEST(GridprepDemFormats, GeoTiffGivesTheProjectOfTheAsciiGrid) {
    if (!gdal_available()) GTEST_SKIP() << "gridprep is built without GDAL (sudo apt-get install -y libgdal-dev)";
    if (std::system("gdal_translate --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "gdal_translate is not installed (sudo apt-get install -y gdal-bin)";
    TempDir dir("gridprep_geotiff");
    const fs::path tif = dir.path() / "jacksboro.tif";
    const std::string cmd =
        "gdal_translate -q -of GTiff '" + kData + "jacksboro_utm16n_300m.asc' '" + tif.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const fs::path a = dir.path() / "from_ascii", b = dir.path() / "from_tiff";
    for (const auto& [dem, root] : {std::pair{fs::path(kData + "jacksboro_utm16n_300m.asc"), a}, std::pair{tif, b}}) {
        const RunResult r = run_program(GRIDPREP_EXE,
                                        {"--dem", dem.string(), "--output", root.string(), "--outlet-rc", "75", "24",
                                         "--snap", "2", "--time-step", "24"},
                                        dir.path());
        ASSERT_EQ(r.exit_code, 0) << r.err;
    }
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(a)) {
        if (!entry.is_regular_file()) continue;
        const fs::path rel = fs::relative(entry.path(), a);
        std::string x = read_file(entry.path()), y = read_file(b / rel);
        if (rel.filename() == "input.txt") {  // its first line names the DEM
            x = x.substr(x.find('\n'));
            y = y.substr(y.find('\n'));
        }
        EXPECT_EQ(x, y) << rel;
        ++compared;
    }
    EXPECT_GE(compared, 21);
    EXPECT_EQ(read_file(b / "arcview/ascii/watershed.prj"), read_file(kData + "jacksboro_utm16n_300m.prj") + "\n");
}

TEST(GridprepProgram, StandardOutputThatCannotBeWrittenIsAnError) {
    TempDir dir("gridprep_full");
    const RunResult r =
        run_program("/bin/sh", {"-c", std::string(GRIDPREP_EXE) + " --version > /dev/full"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("gridprep: error: cannot write to standard output"), std::string::npos) << r.err;
}

}  // namespace
