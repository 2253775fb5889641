#include "netcdf_results.hpp"

#include "input_error.hpp"

#ifdef HYDRO_HAVE_NETCDF

#include <netcdf.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "calendar.hpp"
#include "map_coordinates.hpp"
#include "optional_library.hpp"
#include "series_columns.hpp"

namespace hydro {

bool netcdf_available() { return true; }

namespace {

// Steps held before they are written: bounds the memory of a long run.
constexpr std::size_t kBlockSteps = 4096;
constexpr float kFill = -1.0f;

struct MapKind {
    const char* name;
    const char* long_name;
    const char* units;
    const char* method;  // over the period
    const char* standard_name = nullptr;
};
const std::array<MapKind, kSnapshotKinds> kMapKinds = {{
    {"runoff", "surface runoff of the cell summed over the period", "mm", "sum"},
    {"interflow", "interflow of the cell summed over the period", "mm", "sum"},
    {"recharge", "percolation of the cell to the groundwater summed over the period", "mm", "sum"},
    {"moisture", "mean soil moisture of the period as a fraction of the pore storage", "1", "mean"},
    {"evaporation",
     "evaporation of the cell (canopy, depressions, soil) plus the groundwater evaporation of its "
     "subbasin, summed over the period",
     "mm", "sum", "lwe_thickness_of_water_evaporation_amount"},
}};

// What each step series is over its step (CF cell_methods) and its CF
// standard name where there is one. Depths of water per step are sums, flows
// at the outlet means over the step, storages the state at its end; the
// columns of basin means are means over the basin's area too.
struct SeriesMeaning {
    const char* name;
    const char* standard_name;  // nullptr: none in the CF table
    const char* cell_methods;
};
constexpr SeriesMeaning kSeriesMeanings[] = {
    {"rain", "lwe_thickness_of_precipitation_amount", "area: mean time: sum"},
    {"temp", "air_temperature", "area: mean time: mean"},
    {"Qs", nullptr, "time: mean"},
    {"Qi", nullptr, "time: mean"},
    {"Qg", nullptr, "time: mean"},
    {"Q", "water_volume_transport_in_river_channel", "time: mean"},
    {"inte", nullptr, "area: mean time: sum"},
    {"s_mo", nullptr, "area: mean time: point"},
    {"infi", nullptr, "area: mean time: sum"},
    {"evap", "lwe_thickness_of_water_evaporation_amount", "area: mean time: sum"},
    {"perc", nullptr, "area: mean time: sum"},
    {"RS", nullptr, "area: mean time: sum"},
    {"RI", nullptr, "area: mean time: sum"},
    {"RG", nullptr, "area: mean time: sum"},
    {"R", nullptr, "area: mean time: sum"},
    {"GT", nullptr, "area: mean time: point"},
};

const SeriesMeaning* meaning_of(const char* column) {
    for (const SeriesMeaning& m : kSeriesMeanings)
        if (std::strcmp(m.name, column) == 0) return &m;
    return nullptr;
}

int64_t hours_of(int64_t year, int64_t month, int64_t day, int64_t hour) {
    return civil_day_number(year, month, day) * 24 + hour;
}

int64_t hours_of_code(int32_t code) {
    return hours_of(code / 1000000, code / 10000 % 100, code / 100 % 100, code % 100);
}

// The HDF5 library under NetCDF-4 prints its whole error stack on standard
// error when a write fails, and at the process's exit flushes the files
// still open, a file that failed included, which can crash. The run says
// what failed in one line and closes every file it completes itself.
// Looked up at run time, so that the build needs no HDF5 headers.
// The netCDF library, opened at the first NetCDF file of the process.
OptionalLibrary& netcdf_library() {
    static OptionalLibrary library(HYDRO_NETCDF_LIBRARY);
    return library;
}

// The functions of the library this file calls.
struct NetcdfCalls {
    decltype(&::nc_close) nc_close;
    decltype(&::nc_create) nc_create;
    decltype(&::nc_def_dim) nc_def_dim;
    decltype(&::nc_def_var) nc_def_var;
    decltype(&::nc_def_var_chunking) nc_def_var_chunking;
    decltype(&::nc_def_var_deflate) nc_def_var_deflate;
    decltype(&::nc_def_var_fill) nc_def_var_fill;
    decltype(&::nc_enddef) nc_enddef;
    decltype(&::nc_put_att_double) nc_put_att_double;
    decltype(&::nc_put_att_text) nc_put_att_text;
    decltype(&::nc_put_var_double) nc_put_var_double;
    decltype(&::nc_put_var_int) nc_put_var_int;
    decltype(&::nc_put_vara_double) nc_put_vara_double;
    decltype(&::nc_put_vara_float) nc_put_vara_float;
    decltype(&::nc_strerror) nc_strerror;
};

// The library's functions; an OutputError when it cannot be opened.
const NetcdfCalls& calls() {
    static const NetcdfCalls c = [] {
        OptionalLibrary& lib = netcdf_library();
        if (!lib.open())
            throw OutputError(std::string("NetCDF output needs the netCDF library ") + lib.file() +
                              ", which cannot be opened: " + lib.error());
        const NetcdfCalls found{HYDRO_LIBRARY_FUNCTION(lib, nc_close),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_create),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_def_dim),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_def_var),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_def_var_chunking),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_def_var_deflate),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_def_var_fill),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_enddef),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_put_att_double),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_put_att_text),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_put_var_double),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_put_var_int),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_put_vara_double),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_put_vara_float),
                                HYDRO_LIBRARY_FUNCTION(lib, nc_strerror)};
        if (lib.missing())
            throw OutputError(std::string("NetCDF output: the netCDF library ") + lib.file() + " lacks " +
                              lib.missing() + " (an older version?)");
        return found;
    }();
    return c;
}

void before_first_file() {
    calls();
    using DontAtExit = int (*)();
    static const bool done = [] {
        if (auto dont_atexit = reinterpret_cast<DontAtExit>(netcdf_library().symbol("H5dont_atexit"))) dont_atexit();
        return true;
    }();
    (void)done;
}

// Each thread has its own setting: every thread that writes sets it.
void silence_hdf5_error_stack() {
    using SetAuto = int (*)(int64_t, void*, void*);
    thread_local const bool done = [] {
        if (auto set_auto = reinterpret_cast<SetAuto>(netcdf_library().symbol("H5Eset_auto2")))
            set_auto(0 /* H5E_DEFAULT */, nullptr, nullptr);
        return true;
    }();
    (void)done;
}

// A failed write leaves its messages on the writing thread's HDF5 error
// stack; the library never frees them when that thread ends (the routing
// thread of a run ends before the process does).
void clear_hdf5_error_stack() {
    using Clear = int (*)(int64_t);
    static const auto clear = reinterpret_cast<Clear>(netcdf_library().symbol("H5Eclear2"));
    if (clear) clear(0 /* H5E_DEFAULT */);
}

// The library's message, with the system's cause of a failed write (a full
// disk, a limit on the size of files) when there is one.
std::string error_text(int status) {
    const int e = errno;
    clear_hdf5_error_stack();
    std::string text = calls().nc_strerror(status);
    if (e == ENOSPC || e == EFBIG || e == EDQUOT || e == EIO) text = std::strerror(e) + (" (" + text + ")");
    return text;
}

}  // namespace

struct NetcdfResults::File {
    std::string path;
    ResultSet* files = nullptr;
    ResultFile* result = nullptr;
    GridGeoreference geo;
    std::string crs_wkt, source;
    RunInfo run;
    int ncid = -1;
    bool defined = false;

    int64_t reference_hours = 0;

    // Series: one variable per distinct column; where each record value goes.
    std::vector<SeriesColumn> columns;
    std::vector<int> column_var;
    std::vector<int> q_tot_to_column, balance_to_column;
    int time_var = -1, time_bounds_var = -1, q_sub_var = -1;
    std::array<int, kSnapshotKinds> map_var{-1, -1, -1, -1, -1};

    std::size_t block_first = 0, block_count = 0;
    std::vector<double> time_block, time_bounds_block;
    std::vector<std::vector<float>> column_block;
    std::vector<float> q_sub_block;
    std::vector<float> map_values;

    void check(int status, const std::string& what) const {
        if (status == NC_NOERR) return;
        throw OutputError("cannot write " + path + " (" + what + "): " + error_text(status));
    }
    void text_attribute(int var, const char* name, const std::string& value) {
        check(calls().nc_put_att_text(ncid, var, name, value.size(), value.c_str()), name);
    }
    int define_variable(const char* name, nc_type type, std::vector<int> dims, const char* long_name,
                        const char* units) {
        int var = -1;
        check(calls().nc_def_var(ncid, name, type, static_cast<int>(dims.size()), dims.data(), &var), name);
        text_attribute(var, "long_name", long_name);
        if (units) text_attribute(var, "units", units);
        return var;
    }
    std::string time_units() const {
        const CivilDate d = civil_date(reference_hours >= 0 ? reference_hours / 24 : -((-reference_hours + 23) / 24));
        const int64_t hour = reference_hours - civil_day_number(d.year, d.month, d.day) * 24;
        char text[96];
        std::snprintf(text, sizeof text, "hours since %04lld-%02lld-%02lld %02lld:00:00",
                      static_cast<long long>(d.year), static_cast<long long>(d.month), static_cast<long long>(d.day),
                      static_cast<long long>(hour));
        return text;
    }
    void time_attributes(int var, const char* long_name) {
        text_attribute(var, "standard_name", "time");
        text_attribute(var, "long_name", long_name);
        text_attribute(var, "units", time_units());
        text_attribute(var, "calendar", "proleptic_gregorian");
    }

    // The crs variable and the cells' latitudes and longitudes (written after the definitions).
    int crs_var = -1, lat_var = -1, lon_var = -1;
    std::vector<double> lon, lat;
    void define_crs(int y_dim, int x_dim);
    void define_time(int time_dim, int nv_dim);
    void define();
    void flush();
};

// The coordinate system of the maps as a CF grid mapping, with the
// latitude and longitude of every cell centre where they can be worked out.
void NetcdfResults::File::define_crs(int y_dim, int x_dim) {
    check(calls().nc_def_var(ncid, "crs", NC_INT, 0, nullptr, &crs_var), "crs");
    text_attribute(crs_var, "long_name", "coordinate reference system of the maps");
    const CfGridMapping mapping = cf_grid_mapping(crs_wkt);
    if (!mapping.name.empty()) text_attribute(crs_var, "grid_mapping_name", mapping.name);
    for (const auto& [name, values] : mapping.parameters)
        check(calls().nc_put_att_double(ncid, crs_var, name.c_str(), NC_DOUBLE, values.size(), values.data()), name);
    text_attribute(crs_var, "crs_wkt", crs_wkt);
    text_attribute(crs_var, "spatial_ref", crs_wkt);
    // The latitude and longitude of every cell centre, for programs that place the maps by them.
    if (cell_centre_lon_lat(crs_wkt, geo, lon, lat)) {
        lat_var = define_variable("lat", NC_DOUBLE, {y_dim, x_dim}, "latitude of the cell centre", "degrees_north");
        text_attribute(lat_var, "standard_name", "latitude");
        lon_var = define_variable("lon", NC_DOUBLE, {y_dim, x_dim}, "longitude of the cell centre", "degrees_east");
        text_attribute(lon_var, "standard_name", "longitude");
    }
}

// The time of the steps and its bounds: a step dated D holds the time from D
// to the next step's date.
void NetcdfResults::File::define_time(int time_dim, int nv_dim) {
    time_var = define_variable("time", NC_DOUBLE, {time_dim}, "date and hour of the step", nullptr);
    time_attributes(time_var, "date and hour of the step (its start)");
    text_attribute(time_var, "axis", "T");
    text_attribute(time_var, "bounds", "time_bnds");
    const size_t series_chunk = kBlockSteps;
    check(calls().nc_def_var_chunking(ncid, time_var, NC_CHUNKED, &series_chunk), "time");
    time_bounds_var = define_variable("time_bnds", NC_DOUBLE, {time_dim, nv_dim}, "start and end of the step", nullptr);
    const size_t bounds_chunk[2] = {kBlockSteps, 2};
    check(calls().nc_def_var_chunking(ncid, time_bounds_var, NC_CHUNKED, bounds_chunk), "time_bnds");
}

void NetcdfResults::File::define() {
    silence_hdf5_error_stack();
    const bool with_crs = !crs_wkt.empty();
    text_attribute(NC_GLOBAL, "Conventions", "CF-1.8");
    text_attribute(NC_GLOBAL, "title", "Results of a gridrun run: outlet hydrograph, basin water balance and maps");
    text_attribute(NC_GLOBAL, "source", source);
    text_attribute(NC_GLOBAL, "history", "written by " + source);

    int time_dim = -1, nv_dim = -1, x_dim = -1, y_dim = -1;
    check(calls().nc_def_dim(ncid, "time", NC_UNLIMITED, &time_dim), "time");
    check(calls().nc_def_dim(ncid, "nv", 2, &nv_dim), "nv");
    check(calls().nc_def_dim(ncid, "y", static_cast<size_t>(run.n_rows), &y_dim), "y");
    check(calls().nc_def_dim(ncid, "x", static_cast<size_t>(run.n_cols), &x_dim), "x");

    define_time(time_dim, nv_dim);
    const size_t series_chunk = kBlockSteps;

    // q_tot.txt's columns, then balance.txt's that are not already there
    // (the basin rain and temperature are the same in both files).
    for (const SeriesColumn& c : q_tot_columns(run.with_temperature)) {
        q_tot_to_column.push_back(static_cast<int>(columns.size()));
        columns.push_back(c);
    }
    for (const SeriesColumn& c : balance_columns(run.with_temperature)) {
        int found = -1;
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (std::strcmp(columns[i].name, c.name) == 0) found = static_cast<int>(i);
        if (found < 0) {
            found = static_cast<int>(columns.size());
            columns.push_back(c);
        }
        balance_to_column.push_back(found);
    }
    for (const SeriesColumn& c : columns) {
        const int var = define_variable(c.name, NC_FLOAT, {time_dim}, c.long_name, c.units);
        check(calls().nc_def_var_chunking(ncid, var, NC_CHUNKED, &series_chunk), c.name);
        if (const SeriesMeaning* m = meaning_of(c.name)) {
            if (m->standard_name) text_attribute(var, "standard_name", m->standard_name);
            text_attribute(var, "cell_methods", m->cell_methods);
        }
        column_var.push_back(var);
    }
    column_block.assign(columns.size(), {});
    for (auto& b : column_block) b.reserve(kBlockSteps);

    const std::size_t n_reported = run.reported_subbasins.size();
    int subbasin_var = -1;
    if (run.run_mode == 2 && n_reported > 0) {
        int sub_dim = -1;
        check(calls().nc_def_dim(ncid, "subbasin", n_reported, &sub_dim), "subbasin");
        subbasin_var = define_variable("subbasin", NC_INT, {sub_dim}, "number of the reported subbasin", nullptr);
        q_sub_var = define_variable("q_sub", NC_FLOAT, {time_dim, sub_dim},
                                    "total flow at the outlet of the reported subbasin (surface flow, interflow and "
                                    "groundwater flow of its cells)",
                                    "m3 s-1");
        text_attribute(q_sub_var, "standard_name", "water_volume_transport_in_river_channel");
        text_attribute(q_sub_var, "cell_methods", "time: mean");
        const size_t chunk[2] = {kBlockSteps, n_reported};
        check(calls().nc_def_var_chunking(ncid, q_sub_var, NC_CHUNKED, chunk), "q_sub");
        q_sub_block.reserve(kBlockSteps * n_reported);
    }

    const int x_var = define_variable("x", NC_DOUBLE, {x_dim}, "x coordinate of the cell centre", "m");
    text_attribute(x_var, "standard_name", "projection_x_coordinate");
    text_attribute(x_var, "axis", "X");
    const int y_var = define_variable("y", NC_DOUBLE, {y_dim}, "y coordinate of the cell centre", "m");
    text_attribute(y_var, "standard_name", "projection_y_coordinate");
    text_attribute(y_var, "axis", "Y");

    if (with_crs) define_crs(y_dim, x_dim);

    struct Bounds {
        int var, bounds_var;
    };
    std::array<Bounds, kSnapshotKinds> period_vars{};
    const size_t map_chunk[3] = {1, std::min<size_t>(static_cast<size_t>(run.n_rows), 1024),
                                 std::min<size_t>(static_cast<size_t>(run.n_cols), 1024)};
    for (int k = 0; k < kSnapshotKinds; ++k) {
        const std::size_t n_periods = run.map_periods[k].size();
        if (n_periods == 0) continue;
        const MapKind& kind = kMapKinds[static_cast<std::size_t>(k)];
        const std::string period_name = std::string(kind.name) + "_time";
        const std::string bounds_name = period_name + "_bounds";
        int period_dim = -1;
        check(calls().nc_def_dim(ncid, period_name.c_str(), n_periods, &period_dim), period_name);
        period_vars[k].var = define_variable(period_name.c_str(), NC_DOUBLE, {period_dim}, "", nullptr);
        time_attributes(period_vars[k].var,
                        ("last date-hour of the period of the " + std::string(kind.name) + " map").c_str());
        text_attribute(period_vars[k].var, "bounds", bounds_name);
        period_vars[k].bounds_var = define_variable(
            bounds_name.c_str(), NC_DOUBLE, {period_dim, nv_dim},
            ("start of the first and end of the last step of the period of the " + std::string(kind.name) + " map")
                .c_str(),
            nullptr);
        // Bounds take their units and calendar from the period's time.
        const int var = define_variable(kind.name, NC_FLOAT, {period_dim, y_dim, x_dim}, kind.long_name, kind.units);
        check(calls().nc_def_var_fill(ncid, var, 0, &kFill), kind.name);
        check(calls().nc_def_var_chunking(ncid, var, NC_CHUNKED, map_chunk), kind.name);
        check(calls().nc_def_var_deflate(ncid, var, 1, 1, 1), kind.name);
        // A cell's value stands for the cell's area, gathered over the period.
        text_attribute(var, "cell_methods", "area: mean " + period_name + ": " + kind.method);
        if (kind.standard_name) text_attribute(var, "standard_name", kind.standard_name);
        if (with_crs) text_attribute(var, "grid_mapping", "crs");
        if (lat_var >= 0) text_attribute(var, "coordinates", "lat lon");
        map_var[k] = var;
    }
    check(calls().nc_enddef(ncid), "definitions");

    std::vector<double> coords(static_cast<std::size_t>(run.n_cols));
    for (int32_t c = 0; c < run.n_cols; ++c) coords[static_cast<std::size_t>(c)] = geo.x_centre(c);
    check(calls().nc_put_var_double(ncid, x_var, coords.data()), "x");
    coords.assign(static_cast<std::size_t>(run.n_rows), 0.0);
    for (int32_t r = 0; r < run.n_rows; ++r) coords[static_cast<std::size_t>(r)] = geo.y_centre(r);
    check(calls().nc_put_var_double(ncid, y_var, coords.data()), "y");
    if (subbasin_var >= 0) check(calls().nc_put_var_int(ncid, subbasin_var, run.reported_subbasins.data()), "subbasin");
    if (crs_var >= 0) {
        const int zero = 0;
        check(calls().nc_put_var_int(ncid, crs_var, &zero), "crs");
    }
    if (lat_var >= 0) {
        check(calls().nc_put_var_double(ncid, lat_var, lat.data()), "lat");
        check(calls().nc_put_var_double(ncid, lon_var, lon.data()), "lon");
        lat = std::vector<double>(), lon = std::vector<double>();
    }
    for (int k = 0; k < kSnapshotKinds; ++k) {
        const auto& periods = run.map_periods[k];
        if (periods.empty()) continue;
        std::vector<double> end(periods.size()), bounds(2 * periods.size());
        for (std::size_t j = 0; j < periods.size(); ++j) {
            bounds[2 * j] = static_cast<double>(hours_of_code(periods[j].start_code) - reference_hours);
            end[j] = static_cast<double>(hours_of_code(periods[j].end_code) - reference_hours);
            // The period ends where its last step ends.
            bounds[2 * j + 1] = end[j] + static_cast<double>(run.time_step_hours);
        }
        check(calls().nc_put_var_double(ncid, period_vars[k].var, end.data()), "map periods");
        check(calls().nc_put_var_double(ncid, period_vars[k].bounds_var, bounds.data()), "map periods");
    }
    defined = true;
}

void NetcdfResults::File::flush() {
    if (block_count == 0) return;
    silence_hdf5_error_stack();
    const size_t start[2] = {block_first, 0};
    const size_t count[2] = {block_count, run.reported_subbasins.size()};
    check(calls().nc_put_vara_double(ncid, time_var, start, count, time_block.data()), "time");
    const size_t bounds_count[2] = {block_count, 2};
    check(calls().nc_put_vara_double(ncid, time_bounds_var, start, bounds_count, time_bounds_block.data()),
          "time_bnds");
    for (std::size_t i = 0; i < columns.size(); ++i)
        check(calls().nc_put_vara_float(ncid, column_var[i], start, count, column_block[i].data()), columns[i].name);
    if (q_sub_var >= 0) check(calls().nc_put_vara_float(ncid, q_sub_var, start, count, q_sub_block.data()), "q_sub");
    block_first += block_count;
    block_count = 0;
    time_block.clear();
    time_bounds_block.clear();
    for (auto& b : column_block) b.clear();
    q_sub_block.clear();
}

NetcdfResults::NetcdfResults(std::string path, ResultSet& files, GridGeoreference georeference, std::string crs_wkt,
                             std::string source)
    : file_(std::make_unique<File>()) {
    // Absolute, so that the result set's journal names it wherever a later
    // run that completes an interrupted set is started.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    file_->path = ec ? std::move(path) : absolute.string();
    file_->files = &files;
    file_->geo = georeference;
    file_->crs_wkt = std::move(crs_wkt);
    file_->source = std::move(source);
}

NetcdfResults::~NetcdfResults() {
    // A file still open here belongs to a run that failed: its temporary file
    // goes with the set. It is left to the library unclosed: closing writes
    // again, and after a failed write (a full disk) the library's closing of
    // the file can crash.
}

void NetcdfResults::begin(const RunInfo& run) {
    File& f = *file_;
    f.run = run;
    // The set's temporary file, rewritten by the library as a NetCDF-4 file.
    f.result = &f.files->create(f.path);
    before_first_file();
    const int status = calls().nc_create(f.result->temporary_path().c_str(), NC_NETCDF4 | NC_CLOBBER, &f.ncid);
    silence_hdf5_error_stack();
    if (status != NC_NOERR) {
        f.ncid = -1;
        throw OutputError("cannot create " + f.path + ": " + error_text(status));
    }
}

void NetcdfResults::step(const StepResult& s) {
    File& f = *file_;
    const int64_t hours = hours_of(s.year, s.month, s.day, s.hour);
    if (!f.defined) {
        f.reference_hours = hours;
        f.define();
    }
    f.time_block.push_back(static_cast<double>(hours - f.reference_hours));
    f.time_bounds_block.push_back(f.time_block.back());
    f.time_bounds_block.push_back(f.time_block.back() + static_cast<double>(f.run.time_step_hours));
    const ColumnValues q = q_tot_values(s.q_tot, f.run.with_temperature);
    for (std::size_t i = 0; i < q.count; ++i)
        f.column_block[static_cast<std::size_t>(f.q_tot_to_column[i])].push_back(q.value[i]);
    const ColumnValues b = balance_values(s.balance, f.run.with_temperature);
    for (std::size_t i = 0; i < b.count; ++i) {
        auto& block = f.column_block[static_cast<std::size_t>(f.balance_to_column[i])];
        // A column shared with q_tot.txt is taken from there.
        if (block.size() < f.time_block.size()) block.push_back(b.value[i]);
    }
    if (f.q_sub_var >= 0) {
        const std::size_t n = f.run.reported_subbasins.size();
        for (std::size_t p = 0; p < n; ++p)
            f.q_sub_block.push_back(p < s.reported_flows.size() ? s.reported_flows[p] : kFill);
    }
    if (++f.block_count == kBlockSteps) f.flush();
}

void NetcdfResults::map(const MapResult& m) {
    File& f = *file_;
    if (!f.defined) f.define();
    if (m.kind < 0 || m.kind >= kSnapshotKinds || f.map_var[m.kind] < 0) return;
    silence_hdf5_error_stack();
    const std::vector<int32_t>& subbasin = *f.run.subbasin_id;
    f.map_values.assign(m.values.begin(), m.values.end());
    // The ASCII maps' no-data cells: outside the basin, or no value there.
    for (std::size_t i = 0; i < f.map_values.size(); ++i)
        if (subbasin[i] < 0 || f.map_values[i] < 0.0f) f.map_values[i] = kFill;
    const size_t start[3] = {static_cast<size_t>(m.period - 1), 0, 0};
    const size_t count[3] = {1, static_cast<size_t>(f.run.n_rows), static_cast<size_t>(f.run.n_cols)};
    f.check(calls().nc_put_vara_float(f.ncid, f.map_var[m.kind], start, count, f.map_values.data()),
            kMapKinds[static_cast<std::size_t>(m.kind)].name);
}

void NetcdfResults::end() {
    File& f = *file_;
    if (!f.defined) f.define();
    f.flush();
    silence_hdf5_error_stack();
    const int status = calls().nc_close(f.ncid);
    f.ncid = -1;
    f.check(status, "closing");
    f.result->finish();
}

}  // namespace hydro

#else  // built without the netCDF library

namespace hydro {

bool netcdf_available() { return false; }

struct NetcdfResults::File {};

NetcdfResults::NetcdfResults(std::string, ResultSet&, GridGeoreference, std::string, std::string) {
    throw OutputError(
        "NetCDF output is not available: this gridrun was built without the netCDF library "
        "(install it with: sudo apt-get install -y libnetcdf-dev, then build again)");
}
NetcdfResults::~NetcdfResults() = default;
void NetcdfResults::begin(const RunInfo&) {}
void NetcdfResults::step(const StepResult&) {}
void NetcdfResults::map(const MapResult&) {}
void NetcdfResults::end() {}

}  // namespace hydro

#endif
