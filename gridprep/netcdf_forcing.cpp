#include "netcdf_forcing.hpp"

#include <cstring>

#include "input_error.hpp"

namespace gridprep {

bool looks_like_netcdf(const std::string& start) {
    static const char kHdf5[8] = {'\x89', 'H', 'D', 'F', '\r', '\n', '\x1a', '\n'};
    if (start.size() >= 4 && start.compare(0, 3, "CDF") == 0 && (start[3] == 1 || start[3] == 2 || start[3] == 5))
        return true;
    // The HDF5 signature stands at 0, or after a user block of 512, 1024, 2048, ... bytes.
    for (std::size_t at = 0; at + 8 <= start.size(); at = at == 0 ? 512 : at * 2)
        if (std::memcmp(start.data() + at, kHdf5, 8) == 0) return true;
    return false;
}

const std::vector<std::string>& standard_names_of(ForcingQuantity q) {
    static const std::vector<std::string> p = {"precipitation_flux", "precipitation_amount", "lwe_precipitation_rate",
                                               "lwe_thickness_of_precipitation_amount"};
    static const std::vector<std::string> e = {"water_potential_evaporation_flux",
                                               "water_potential_evaporation_amount"};
    static const std::vector<std::string> t = {"air_temperature"};
    return q == ForcingQuantity::precipitation ? p : q == ForcingQuantity::evapotranspiration ? e : t;
}

}  // namespace gridprep

#ifdef HYDRO_HAVE_NETCDF

#include <netcdf.h>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace gridprep {

namespace {

using hydro::InputError;

enum Role { kTime = 0, kY = 1, kX = 2, kSingle = 3 };

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

struct NetcdfForcing::File {
    std::string path;
    int ncid = -1;
    std::vector<float> floats;  // a block as stored

    [[noreturn]] void refuse(const std::string& expected, const std::string& found) const {
        throw InputError(path, 0, expected, found);
    }
    void check(int status, const std::string& what) const {
        if (status != NC_NOERR) refuse("a readable " + what, std::string("a NetCDF error: ") + nc_strerror(status));
    }
    std::string text_attribute(int var, const char* name) const {
        nc_type type = 0;
        size_t len = 0;
        if (nc_inq_att(ncid, var, name, &type, &len) != NC_NOERR) return std::string();
        if (type == NC_CHAR) {
            std::string s(len, '\0');
            if (len > 0 && nc_get_att_text(ncid, var, name, s.data()) != NC_NOERR) return std::string();
            while (!s.empty() && s.back() == '\0') s.pop_back();
            return s;
        }
        if (type == NC_STRING && len == 1) {
            char* v = nullptr;
            if (nc_get_att_string(ncid, var, name, &v) != NC_NOERR) return std::string();
            std::string s = v ? v : "";
            nc_free_string(1, &v);
            return s;
        }
        return std::string();
    }
    std::vector<double> number_attribute(int var, const char* name) const {
        nc_type type = 0;
        size_t len = 0;
        if (nc_inq_att(ncid, var, name, &type, &len) != NC_NOERR || type == NC_CHAR || type == NC_STRING || len == 0)
            return {};
        std::vector<double> v(len);
        if (nc_get_att_double(ncid, var, name, v.data()) != NC_NOERR) return {};
        return v;
    }
    std::string variable_name(int var) const {
        char name[NC_MAX_NAME + 1] = {};
        nc_inq_varname(ncid, var, name);
        return name;
    }
    // The coordinate variable of a dimension: the variable of its name with it as only dimension.
    int coordinate_of(int dim) const {
        char name[NC_MAX_NAME + 1] = {};
        nc_inq_dimname(ncid, dim, name);
        int var = -1, ndims = 0, first = -1;
        if (nc_inq_varid(ncid, name, &var) != NC_NOERR || nc_inq_varndims(ncid, var, &ndims) != NC_NOERR || ndims != 1)
            return -1;
        nc_inq_vardimid(ncid, var, &first);
        return first == dim ? var : -1;
    }
    std::vector<double> values_of(int var, std::size_t count, const std::string& what) const {
        std::vector<double> v(count);
        if (count > 0) check(nc_get_var_double(ncid, var, v.data()), what);
        return v;
    }
    int find_variable(const std::string& name, ForcingQuantity q, const std::string& option) const;
    Role role_of(int coordinate) const;
    void read_grid_mapping(int var, ForcingVariable& v) const;
    void read_time(int coordinate, std::size_t count, ForcingVariable& v) const;
};

int NetcdfForcing::File::find_variable(const std::string& name, ForcingQuantity q, const std::string& option) const {
    int var = -1;
    if (!name.empty()) {
        if (nc_inq_varid(ncid, name.c_str(), &var) != NC_NOERR)
            refuse("a variable " + hydro::printable(name) + " (" + option + ")", "none of that name");
        return var;
    }
    int n = 0;
    check(nc_inq_nvars(ncid, &n), "list of variables");
    const std::vector<std::string>& wanted = standard_names_of(q);
    std::string seen, matches;
    for (int i = 0; i < n; ++i) {
        int ndims = 0;
        nc_inq_varndims(ncid, i, &ndims);
        if (ndims < 3) continue;
        const std::string sn = text_attribute(i, "standard_name");
        seen += (seen.empty() ? "" : ", ") + variable_name(i) + (sn.empty() ? " (no standard_name)" : " (" + sn + ")");
        if (std::find(wanted.begin(), wanted.end(), sn) == wanted.end()) continue;
        matches += (matches.empty() ? "" : " and ") + variable_name(i);
        if (var >= 0) refuse("one variable of standard_name " + sn + " or " + option + " NAME", "two: " + matches);
        var = i;
    }
    if (var < 0) {
        std::string names;
        for (const std::string& w : wanted) names += (names.empty() ? "" : ", ") + w;
        refuse("a variable of standard_name " + names + " (or " + option + " NAME)",
               seen.empty() ? "no gridded variable" : hydro::printable(seen));
    }
    return var;
}

Role NetcdfForcing::File::role_of(int coordinate) const {
    const std::string sn = lower(text_attribute(coordinate, "standard_name"));
    const std::string units = lower(text_attribute(coordinate, "units"));
    const std::string axis = lower(text_attribute(coordinate, "axis"));
    const std::string name = lower(variable_name(coordinate));
    if (sn == "time" || axis == "t" || units.find(" since ") != std::string::npos) return kTime;
    for (const char* u : {"degrees_north", "degree_north", "degrees_n", "degree_n", "degreesn", "degreen"})
        if (units == u) return kY;
    for (const char* u : {"degrees_east", "degree_east", "degrees_e", "degree_e", "degreese", "degreee"})
        if (units == u) return kX;
    if (sn == "latitude" || sn == "grid_latitude" || sn == "projection_y_coordinate" || axis == "y" || name == "lat" ||
        name == "latitude" || name == "y")
        return kY;
    if (sn == "longitude" || sn == "grid_longitude" || sn == "projection_x_coordinate" || axis == "x" ||
        name == "lon" || name == "longitude" || name == "x")
        return kX;
    return kSingle;
}

void NetcdfForcing::File::read_grid_mapping(int var, ForcingVariable& v) const {
    std::string mapping = text_attribute(var, "grid_mapping");
    // The extended form "crs: x y" names the mapping first.
    mapping = mapping.substr(0, mapping.find_first_of(": "));
    if (mapping.empty()) return;
    int gm = -1;
    if (nc_inq_varid(ncid, mapping.c_str(), &gm) != NC_NOERR)
        refuse("the grid mapping variable " + hydro::printable(mapping) + " that " + v.name + " names", "none");
    v.crs_wkt = text_attribute(gm, "crs_wkt");
    if (v.crs_wkt.empty()) v.crs_wkt = text_attribute(gm, "spatial_ref");
    v.grid_mapping_name = text_attribute(gm, "grid_mapping_name");
    int natts = 0;
    nc_inq_varnatts(ncid, gm, &natts);
    for (int a = 0; a < natts; ++a) {
        char name[NC_MAX_NAME + 1] = {};
        nc_inq_attname(ncid, gm, a, name);
        const std::vector<double> values = number_attribute(gm, name);
        // Parameters of one value; standard parallels may have two.
        for (std::size_t k = 0; k < values.size() && k < 2; ++k)
            v.grid_mapping_parameters.emplace_back(
                values.size() == 1 ? std::string(name) : std::string(name) + "#" + std::to_string(k), values[k]);
    }
}

void NetcdfForcing::File::read_time(int coordinate, std::size_t count, ForcingVariable& v) const {
    const std::string tname = variable_name(coordinate);
    const TimeUnits units =
        time_units_of(path, tname, text_attribute(coordinate, "units"), text_attribute(coordinate, "calendar"));
    v.mixed_calendar = units.mixed;
    const std::vector<double> times = values_of(coordinate, count, "time coordinate " + tname);
    std::vector<double> bounds;
    const std::string bounds_name = text_attribute(coordinate, "bounds");
    int bvar = -1;
    if (!bounds_name.empty() && nc_inq_varid(ncid, bounds_name.c_str(), &bvar) == NC_NOERR) {
        int nd = 0;
        size_t len[2] = {0, 0};
        int dims[NC_MAX_VAR_DIMS];
        nc_inq_varndims(ncid, bvar, &nd);
        if (nd == 2) {
            nc_inq_vardimid(ncid, bvar, dims);
            nc_inq_dimlen(ncid, dims[0], &len[0]);
            nc_inq_dimlen(ncid, dims[1], &len[1]);
        }
        if (nd != 2 || len[0] != count || len[1] != 2)
            refuse("time bounds " + bounds_name + " of two values per time step", "another shape");
        bounds = values_of(bvar, 2 * count, "time bounds " + bounds_name);
    }
    auto instant = [&](double value, std::size_t k) {
        int64_t s = 0;
        if (!std::isfinite(value) || !seconds_of(units, value, s))
            refuse("a time at every step of " + tname, "no usable time at step " + std::to_string(k + 1));
        return s;
    };
    v.step_starts.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        if (bounds.empty()) {
            v.step_starts[k] = instant(times[k], k);
            continue;
        }
        const int64_t a = instant(bounds[2 * k], k), b = instant(bounds[2 * k + 1], k);
        v.step_starts[k] = std::min(a, b);
        v.step_ends.push_back(std::max(a, b));
    }
}

NetcdfForcing::NetcdfForcing(const std::string& path) : file_(std::make_unique<File>()) {
    file_->path = path;
    const int status = nc_open(path.c_str(), NC_NOWRITE, &file_->ncid);
    if (status != NC_NOERR) {
        file_->ncid = -1;
        file_->refuse("a NetCDF file the netCDF library opens", std::string("an error: ") + nc_strerror(status));
    }
}

NetcdfForcing::~NetcdfForcing() {
    if (file_->ncid >= 0) nc_close(file_->ncid);
}

ForcingVariable NetcdfForcing::describe(const std::string& name, ForcingQuantity q, const std::string& option) {
    const File& f = *file_;
    ForcingVariable v;
    const int var = f.find_variable(name, q, option);
    v.name = f.variable_name(var);
    v.file_variable = var;
    v.units = f.text_attribute(var, "units");
    int ndims = 0;
    int dims[NC_MAX_VAR_DIMS];
    f.check(nc_inq_varndims(f.ncid, var, &ndims), v.name);
    f.check(nc_inq_vardimid(f.ncid, var, dims), v.name);
    int found[3] = {-1, -1, -1};
    std::size_t lengths[3] = {0, 0, 0};
    std::string shape;
    for (int d = 0; d < ndims; ++d) {
        char dname[NC_MAX_NAME + 1] = {};
        size_t len = 0;
        nc_inq_dim(f.ncid, dims[d], dname, &len);
        shape += std::string(shape.empty() ? "" : ", ") + dname;
        const int coordinate = f.coordinate_of(dims[d]);
        Role role = coordinate >= 0 ? f.role_of(coordinate) : kSingle;
        if (role != kSingle && found[role] >= 0) role = kSingle;
        if (role == kSingle && len != 1)
            f.refuse(v.name +
                         " of time, latitude and longitude (or y and x with a grid mapping), other dimensions of "
                         "length 1",
                     "the dimensions (" + shape + "...), " + dname + " of length " + std::to_string(len));
        v.dimension_roles.push_back(role);
        if (role == kSingle) continue;
        found[role] = coordinate;
        lengths[role] = len;
    }
    if (found[kTime] < 0 || found[kY] < 0 || found[kX] < 0)
        f.refuse(v.name + " of time, latitude and longitude (or y and x with a grid mapping)",
                 "the dimensions (" + shape + ")");
    if (lengths[kTime] == 0) f.refuse(v.name + " with at least one time step", "none");
    for (Role r : {kY, kX}) {
        ForcingAxis& axis = r == kY ? v.y : v.x;
        axis.name = f.variable_name(found[r]);
        axis.units = f.text_attribute(found[r], "units");
        axis.centres = f.values_of(found[r], lengths[r], "coordinate " + axis.name);
    }
    const std::string yunits = lower(v.y.units), ysn = f.text_attribute(found[kY], "standard_name");
    // Latitudes by their standard name, units in degrees, or, without either, their name.
    const std::string yname = lower(v.y.name), xname = lower(v.x.name);
    v.geographic = ysn == "latitude" || yunits.rfind("degree", 0) == 0 ||
                   (ysn.empty() && yunits.empty() && (yname == "lat" || yname == "latitude") &&
                    (xname == "lon" || xname == "longitude"));
    f.read_grid_mapping(var, v);
    f.read_time(found[kTime], lengths[kTime], v);

    const std::vector<double> scale = f.number_attribute(var, "scale_factor");
    const std::vector<double> offset = f.number_attribute(var, "add_offset");
    if (!scale.empty()) v.scale = scale[0];
    if (!offset.empty()) v.offset = offset[0];
    v.missing = f.number_attribute(var, "_FillValue");
    for (double m : f.number_attribute(var, "missing_value")) v.missing.push_back(m);
    if (v.missing.empty()) {
        // Without _FillValue, cells never written hold the library's default fill.
        nc_type type = 0;
        nc_inq_vartype(f.ncid, var, &type);
        if (type == NC_FLOAT) v.missing.push_back(static_cast<double>(NC_FILL_FLOAT));
        if (type == NC_DOUBLE) v.missing.push_back(NC_FILL_DOUBLE);
    }
    return v;
}

void NetcdfForcing::read(const ForcingVariable& v, std::size_t t0, std::size_t nt, std::size_t y0, std::size_t ny,
                         std::size_t x0, std::size_t nx, std::vector<double>& out) {
    const File& f = *file_;
    const std::size_t n = v.dimension_roles.size();
    std::vector<size_t> start(n, 0), count(n, 1);
    std::vector<ptrdiff_t> stride(n, 1), map(n, 0);
    const ptrdiff_t memory[3] = {static_cast<ptrdiff_t>(ny * nx), static_cast<ptrdiff_t>(nx), 1};
    bool in_order = true;
    int last = -1;
    for (std::size_t d = 0; d < n; ++d) {
        const int role = v.dimension_roles[d];
        if (role == kSingle) continue;
        start[d] = role == kTime ? t0 : role == kY ? y0 : x0;
        count[d] = role == kTime ? nt : role == kY ? ny : nx;
        map[d] = memory[role];
        if (role < last) in_order = false;
        last = role;
    }
    out.resize(nt * ny * nx);
    nc_type type = 0;
    nc_inq_vartype(f.ncid, v.file_variable, &type);
    // Time, y, x in the file's order is read straight (floats as they are stored: faster than the library's
    // conversion); other orders are laid out by the library.
    int status = NC_NOERR;
    if (in_order && type == NC_FLOAT) {
        std::vector<float>& raw = file_->floats;
        raw.resize(out.size());
        status = nc_get_vara_float(f.ncid, v.file_variable, start.data(), count.data(), raw.data());
        for (std::size_t i = 0; i < raw.size(); ++i) out[i] = static_cast<double>(raw[i]);
    } else {
        status = in_order ? nc_get_vara_double(f.ncid, v.file_variable, start.data(), count.data(), out.data())
                          : nc_get_varm_double(f.ncid, v.file_variable, start.data(), count.data(), stride.data(),
                                               map.data(), out.data());
    }
    f.check(status, "variable " + v.name + " at time step " + std::to_string(t0 + 1));
}

bool netcdf_forcing_available() { return true; }

}  // namespace gridprep

#else  // built without the netCDF library

namespace gridprep {

struct NetcdfForcing::File {};

bool netcdf_forcing_available() { return false; }

NetcdfForcing::NetcdfForcing(const std::string& path) {
    throw hydro::InputError(path, 0,
                            "a station series as text (this gridprep is built without the netCDF library: "
                            "sudo apt-get install -y libnetcdf-dev, then build again, reads gridded forcing)",
                            "a NetCDF file");
}
NetcdfForcing::~NetcdfForcing() = default;
ForcingVariable NetcdfForcing::describe(const std::string&, ForcingQuantity, const std::string&) { return {}; }
void NetcdfForcing::read(const ForcingVariable&, std::size_t, std::size_t, std::size_t, std::size_t, std::size_t,
                         std::size_t, std::vector<double>&) {}

}  // namespace gridprep

#endif
