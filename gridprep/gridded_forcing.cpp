#include "gridded_forcing.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "gdal_raster.hpp"
#include "grid_cells.hpp"
#include "input_error.hpp"
#include "input_file.hpp"
#include "netcdf_forcing.hpp"

namespace gridprep {

namespace {

using hydro::InputError;

std::string number_text(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

// A forcing value for a message: six digits, as a float carries them.
std::string value_text(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A regular coordinate: centre k = first + k x step (step < 0: decreasing).
struct RegularAxis {
    double first = 0, step = 0;
    int64_t n = 0;
    // The cell whose lower edge is at or below p and upper edge above it; -1 outside.
    int64_t cell_of(double p) const {
        const double lowest = step > 0 ? first : first + static_cast<double>(n - 1) * step;
        const double k = std::floor((p - lowest) / std::fabs(step) + 0.5);
        if (!(k >= 0 && k < static_cast<double>(n))) return -1;
        const int64_t ascending = static_cast<int64_t>(k);
        return step > 0 ? ascending : n - 1 - ascending;
    }
    double low_edge() const {
        return std::min(first, first + static_cast<double>(n - 1) * step) - 0.5 * std::fabs(step);
    }
    double high_edge() const {
        return std::max(first, first + static_cast<double>(n - 1) * step) + 0.5 * std::fabs(step);
    }
};

RegularAxis regular_axis(const std::string& path, const ForcingAxis& a, double metres) {
    RegularAxis r;
    r.n = static_cast<int64_t>(a.centres.size());
    if (r.n < 2) throw InputError(path, 0, "a coordinate " + a.name + " of at least two cells", std::to_string(r.n));
    r.first = a.centres[0] * metres;
    r.step = (a.centres[static_cast<std::size_t>(r.n - 1)] - a.centres[0]) * metres / static_cast<double>(r.n - 1);
    for (int64_t k = 0; k < r.n; ++k) {
        const double c = a.centres[static_cast<std::size_t>(k)] * metres;
        if (!std::isfinite(c) || !(r.step != 0) ||
            std::fabs(c - (r.first + static_cast<double>(k) * r.step)) > 1e-3 * std::fabs(r.step))
            throw InputError(path, 0, "a regular coordinate " + a.name + " (cells of one size, in order)",
                             "centre " + number_text(a.centres[static_cast<std::size_t>(k)]) + " at position " +
                                 std::to_string(k + 1));
    }
    return r;
}

// Metres of a projected coordinate's unit.
double metres_of(const std::string& path, const ForcingAxis& a) {
    const std::string u = lower(a.units);
    if (u.empty() || u == "m" || u == "metre" || u == "meter" || u == "metres" || u == "meters") return 1.0;
    if (u == "km" || u == "kilometre" || u == "kilometer" || u == "kilometres" || u == "kilometers") return 1000.0;
    throw InputError(path, 0, "a projected coordinate " + a.name + " in m or km",
                     "units \"" + hydro::printable(a.units) + "\"");
}

// A CF grid mapping as a PROJ string (its parameters, the ellipsoid of
// semi_major_axis with inverse_flattening or semi_minor_axis, else WGS 84).
std::string proj_of_grid_mapping(const ForcingVariable& v) {
    std::map<std::string, double> p(v.grid_mapping_parameters.begin(), v.grid_mapping_parameters.end());
    auto has = [&](const char* k) { return p.count(k) > 0; };
    auto put = [&](const char* proj, const char* cf) {
        return has(cf) ? std::string(" +") + proj + "=" + number_text(p[cf]) : std::string();
    };
    std::string s;
    const std::string& name = v.grid_mapping_name;
    const std::string parallels = has("standard_parallel")
                                      ? put("lat_1", "standard_parallel")
                                      : put("lat_1", "standard_parallel#0") + put("lat_2", "standard_parallel#1");
    const std::string origin =
        put("lat_0", "latitude_of_projection_origin") + put("x_0", "false_easting") + put("y_0", "false_northing");
    if (name == "latitude_longitude")
        s = "+proj=longlat";
    else if (name == "transverse_mercator")
        s = "+proj=tmerc" + origin + put("lon_0", "longitude_of_central_meridian") +
            put("k_0", "scale_factor_at_central_meridian");
    else if (name == "lambert_conformal_conic" || name == "albers_conical_equal_area")
        s = std::string(name[0] == 'l' ? "+proj=lcc" : "+proj=aea") + parallels + origin +
            put("lon_0", "longitude_of_central_meridian");
    else if (name == "lambert_azimuthal_equal_area")
        s = "+proj=laea" + origin + put("lon_0", "longitude_of_projection_origin");
    else if (name == "polar_stereographic")
        s = "+proj=stere" + origin + put("lon_0", "straight_vertical_longitude_from_pole") +
            put("lat_ts", "standard_parallel") + put("k_0", "scale_factor_at_projection_origin");
    else if (name == "mercator")
        s = "+proj=merc" + put("lon_0", "longitude_of_projection_origin") + put("lat_ts", "standard_parallel") +
            put("k_0", "scale_factor_at_projection_origin") + put("x_0", "false_easting") +
            put("y_0", "false_northing");
    else
        return std::string();
    if (has("earth_radius"))
        s += put("R", "earth_radius");
    else if (has("semi_major_axis"))
        s += put("a", "semi_major_axis") +
             (has("inverse_flattening") ? put("rf", "inverse_flattening") : put("b", "semi_minor_axis"));
    else
        s += " +datum=WGS84";
    return s + " +no_defs";
}

// The forcing's coordinate system as GDAL reads it; empty: the DEM's own.
std::string forcing_crs(const std::string& path, const ForcingVariable& v, std::vector<std::string>& notes) {
    if (!v.crs_wkt.empty()) return v.crs_wkt;
    if (!v.grid_mapping_name.empty()) {
        const std::string proj = proj_of_grid_mapping(v);
        if (proj.empty())
            throw InputError(path, 0,
                             "a grid mapping with crs_wkt, or one of latitude_longitude, transverse_mercator, "
                             "lambert_conformal_conic, albers_conical_equal_area, lambert_azimuthal_equal_area, "
                             "polar_stereographic, mercator",
                             "grid_mapping_name " + hydro::printable(v.grid_mapping_name));
        return proj;
    }
    if (v.geographic) return "EPSG:4326";
    notes.push_back(path + ": " + v.name +
                    " names no grid mapping: its x and y are taken to be in the DEM's coordinate system");
    return std::string();
}

// The forcing cell (row-major in the file's order) of every basin cell, -1
// elsewhere, and the grid's axes.
struct Placement {
    std::vector<int64_t> cell;
    RegularAxis ax, ay;
};

Placement forcing_cells(const std::string& path, const ForcingVariable& v, const ForcingTarget& t,
                        std::vector<std::string>& notes) {
    const double metres_x = v.geographic ? 1.0 : metres_of(path, v.x),
                 metres_y = v.geographic ? 1.0 : metres_of(path, v.y);
    const RegularAxis ax = regular_axis(path, v.x, metres_x), ay = regular_axis(path, v.y, metres_y);
    const Geometry& g = *t.dem;
    std::vector<double> xs, ys;
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < g.cells(); ++i)
        if ((*t.basin)[i]) {
            const CellPosition p = position_of(g, i);
            xs.push_back(g.x_of(p.col));
            ys.push_back(g.y_of(p.row));
            at.push_back(i);
        }
    const std::string to = forcing_crs(path, v, notes);
    bool same = to.empty() || to == t.dem_crs;
    if (!same && !t.dem_crs.empty()) {
        bool known = false;
        same = gdal_same_crs(t.dem_crs, to, known);
    }
    if (!same) {
        if (t.dem_crs.empty())
            throw InputError(path, 0,
                             "a DEM whose coordinate system is known (a .prj beside it) to place the forcing grid",
                             "a DEM without one");
        std::string problem;
        if (!gdal_transform_points(t.dem_crs, to, xs, ys, problem))
            throw InputError(path, 0, "the basin's cell centres placed on the forcing grid", problem);
    }
    Placement place{std::vector<int64_t>(g.cells(), -1), ax, ay};
    std::vector<int64_t>& cell = place.cell;
    for (std::size_t k = 0; k < at.size(); ++k) {
        double x = xs[k];
        if (v.geographic) {  // longitudes of the grid's own range (0 to 360 or -180 to 180)
            while (x < ax.low_edge()) x += 360.0;
            while (x >= ax.low_edge() + 360.0) x -= 360.0;
        }
        const int64_t ix = ax.cell_of(x), iy = ay.cell_of(ys[k]);
        if (ix < 0 || iy < 0) {
            const std::size_t i = at[k];
            const char* xn = v.geographic ? "longitude " : "x ";
            const char* yn = v.geographic ? "latitude " : "y ";
            throw InputError(path, 0,
                             "a forcing grid that covers every basin cell (" + std::string(xn) +
                                 number_text(ax.low_edge()) + " to " + number_text(ax.high_edge()) + ", " + yn +
                                 number_text(ay.low_edge()) + " to " + number_text(ay.high_edge()) + ")",
                             "the basin cell at " + cell_text(g, i) + " at " + xn + number_text(x) + ", " + yn +
                                 number_text(ys[k]) + " outside it");
        }
        cell[at[k]] = iy * ax.n + ix;
    }
    return place;
}

// The forcing steps: regular, dividing the model step.
struct ForcingSteps {
    int64_t first = 0, seconds = 0, per_model_step = 0, records = 0, left_out = 0;
};

ForcingSteps forcing_steps(const std::string& path, const ForcingVariable& v, double step_hours) {
    ForcingSteps s;
    const std::vector<int64_t>& start = v.step_starts;
    s.first = start[0];
    s.seconds = start.size() > 1 ? start[1] - start[0] : v.step_ends.empty() ? 0 : v.step_ends[0] - start[0];
    if (s.seconds <= 0)
        throw InputError(path, 0, "times of " + v.name + " increasing by one forcing step (or time bounds)",
                         start.size() > 1 ? "the times " + instant_text(start[0]) + " and " + instant_text(start[1])
                                          : "one time without bounds");
    for (std::size_t k = 0; k < start.size(); ++k) {
        const bool gap = k + 1 < start.size() && start[k + 1] - start[k] != s.seconds;
        if (gap || (!v.step_ends.empty() && v.step_ends[k] - start[k] != s.seconds))
            throw InputError(
                path, 0,
                "forcing steps of " + v.name + " one after the other, " + std::to_string(s.seconds) + " s long",
                gap ? "a step from " + instant_text(start[k]) + " to " + instant_text(start[k + 1])
                    : "time bounds " + instant_text(start[k]) + " to " + instant_text(v.step_ends[k]));
    }
    const int64_t model = std::llround(step_hours * 3600.0);
    if (s.seconds > model)
        throw InputError(path, 0,
                         "forcing steps of " + v.name + " no longer than the model step (" + number_text(step_hours) +
                             " h, --time-step)",
                         "steps of " + number_text(static_cast<double>(s.seconds) / 3600.0) + " h");
    if (model % s.seconds != 0)
        throw InputError(
            path, 0, "forcing steps of " + v.name + " that divide the model step (" + number_text(step_hours) + " h)",
            "steps of " + number_text(static_cast<double>(s.seconds) / 3600.0) + " h");
    s.per_model_step = model / s.seconds;
    s.records = static_cast<int64_t>(start.size()) / s.per_model_step;
    s.left_out = static_cast<int64_t>(start.size()) % s.per_model_step;
    DateHour d;
    if (!date_hour_of(s.first, v.mixed_calendar, d))
        throw InputError(
            path, 0, "a first forcing step of " + v.name + " that starts on a whole hour (in the Gregorian calendar)",
            instant_text(s.first));
    if (s.records == 0)
        throw InputError(path, 0,
                         "forcing of " + v.name + " for at least one model step (" + number_text(step_hours) + " h)",
                         std::to_string(start.size()) + " forcing steps");
    return s;
}

// A float as the shortest decimal that reads back as the same float.
std::size_t float_chars(char* buf, float v) {
    return static_cast<std::size_t>(std::to_chars(buf, buf + 64, v, std::chars_format::fixed).ptr - buf);
}

// The forcing cells in use, numbered from the north-west; fills zone and returns, per station, its cell.
std::vector<int64_t> number_stations(const Placement& p, std::vector<int32_t>& zone) {
    std::vector<int64_t> used;
    for (int64_t c : p.cell)
        if (c >= 0) used.push_back(c);
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    auto north_west_key = [&](int64_t c) {
        const int64_t iy = c / p.ax.n, ix = c % p.ax.n;
        const int64_t row = p.ay.step > 0 ? p.ay.n - 1 - iy : iy, col = p.ax.step > 0 ? ix : p.ax.n - 1 - ix;
        return row * p.ax.n + col;
    };
    std::sort(used.begin(), used.end(), [&](int64_t a, int64_t b) { return north_west_key(a) < north_west_key(b); });
    std::map<int64_t, int32_t> number;
    for (std::size_t s = 0; s < used.size(); ++s) number[used[s]] = static_cast<int32_t>(s + 1);
    zone.assign(p.cell.size(), 0);
    for (std::size_t i = 0; i < p.cell.size(); ++i)
        if (p.cell[i] >= 0) zone[i] = number[p.cell[i]];
    return used;
}

// The header: four labels and the mean elevation of each station's basin cells.
std::string series_header(const std::vector<int32_t>& zone, std::size_t stations,
                          const std::vector<double>& elevation) {
    std::vector<double> sum(stations, 0.0);
    std::vector<int64_t> count(stations, 0);
    for (std::size_t i = 0; i < zone.size(); ++i)
        if (zone[i] > 0)
            sum[static_cast<std::size_t>(zone[i] - 1)] += elevation[i], ++count[static_cast<std::size_t>(zone[i] - 1)];
    std::string t = "year month day hour";
    for (std::size_t s = 0; s < stations; ++s) t += " " + plain_decimal(sum[s] / static_cast<double>(count[s]), 1);
    return t + "\n";
}

// What a forcing value must not be, for the message that refuses it.
[[noreturn]] void refuse_value(const std::string& path, const ForcingVariable& v, const Placement& p, int64_t cell,
                               int64_t start, const std::string& expected, const std::string& found) {
    const int64_t iy = cell / p.ax.n, ix = cell % p.ax.n;
    const double x = p.ax.first + static_cast<double>(ix) * p.ax.step,
                 y = p.ay.first + static_cast<double>(iy) * p.ay.step;
    throw InputError(path, 0, expected,
                     found + " at " + (v.geographic ? "latitude " : "y ") + number_text(y) +
                         (v.geographic ? ", longitude " : ", x ") + number_text(x) + " (" + v.y.name + " " +
                         std::to_string(iy + 1) + ", " + v.x.name + " " + std::to_string(ix + 1) + ") on " +
                         instant_text(start));
}

}  // namespace

bool is_gridded_forcing(const std::string& path) {
    return looks_like_netcdf(read_file_start(path, "forcing file", 4096));
}

}  // namespace gridprep

namespace gridprep {

namespace {

// Streams the forcing in blocks of steps over the window of cells in use and
// writes one record per model step: sums of precipitation and PET in mm, mean
// temperatures in degrees C.
void aggregate(NetcdfForcing& file, const std::string& path, const ForcingVariable& v, const Placement& p,
               const std::vector<int64_t>& station_cell, const ForcingSteps& steps, ForcingQuantity q,
               const UnitConversion& conv, GriddedSeries& out) {
    int64_t y0 = p.ay.n, y1 = -1, x0 = p.ax.n, x1 = -1;
    for (int64_t c : station_cell)
        y0 = std::min(y0, c / p.ax.n), y1 = std::max(y1, c / p.ax.n), x0 = std::min(x0, c % p.ax.n),
        x1 = std::max(x1, c % p.ax.n);
    const std::size_t wy = static_cast<std::size_t>(y1 - y0 + 1), wx = static_cast<std::size_t>(x1 - x0 + 1);
    std::vector<std::size_t> offset;
    for (int64_t c : station_cell)
        offset.push_back(static_cast<std::size_t>(c / p.ax.n - y0) * wx + static_cast<std::size_t>(c % p.ax.n - x0));
    const std::size_t n = station_cell.size();
    const std::size_t block = std::max<std::size_t>(1, (std::size_t{1} << 20) / (wy * wx));
    const std::size_t total = static_cast<std::size_t>(steps.records * steps.per_model_step);
    const bool temperature = q == ForcingQuantity::temperature;
    const double mm = conv.factor * (conv.per_second ? static_cast<double>(steps.seconds) : 1.0);
    std::vector<double> sum(n, 0.0), values;
    out.text.reserve(out.text.size() + static_cast<std::size_t>(steps.records) * (20 + n * 10));
    int64_t in_step = 0, record = 0, negatives = 0;
    char buf[96];
    for (std::size_t t0 = 0; t0 < total; t0 += block) {
        const std::size_t nt = std::min(block, total - t0);
        file.read(v, t0, nt, static_cast<std::size_t>(y0), wy, static_cast<std::size_t>(x0), wx, values);
        out.values_read += static_cast<int64_t>(nt * wy * wx);
        for (std::size_t k = 0; k < nt; ++k) {
            const double* slab = values.data() + k * wy * wx;
            const int64_t start = v.step_starts[t0 + k];
            for (std::size_t s = 0; s < n; ++s) {
                const double raw = slab[offset[s]];
                bool missing = std::isnan(raw);
                for (double m : v.missing) missing = missing || raw == m;
                if (missing)
                    refuse_value(path, v, p, station_cell[s], start,
                                 "a value of " + v.name + " at every forcing cell that serves the basin",
                                 "the missing value " + value_text(raw));
                const double value = raw * v.scale + v.offset;
                if (temperature) {
                    const double c = value * conv.factor + conv.offset;
                    if (!(c >= -90.0 && c <= 60.0))
                        refuse_value(path, v, p, station_cell[s], start,
                                     "temperatures of " + v.name + " from -90 to 60 degrees C (units \"" +
                                         hydro::printable(v.units) + "\")",
                                     value_text(c) + " degrees C");
                    sum[s] += c;
                    continue;
                }
                double depth = value * mm;
                if (depth < 0) {
                    // Packing and numerical schemes leave traces below 0: taken as 0.
                    if (depth < -0.001 || !std::isfinite(depth))
                        refuse_value(path, v, p, station_cell[s], start, "an amount of 0 or more of " + v.name,
                                     value_text(depth) + " mm");
                    depth = 0, ++negatives;
                }
                sum[s] += depth;
            }
            if (++in_step < steps.per_model_step) continue;
            DateHour d;
            date_hour_of(steps.first + record * steps.seconds * steps.per_model_step, v.mixed_calendar, d);
            if (d.year < 1 || d.year > 2147)
                throw InputError(path, 0, "forcing dates from the year 1 to 2147", std::to_string(d.year));
            if (record == 0) out.check.first = d;
            out.check.last = d;
            const int len = std::snprintf(buf, sizeof buf, "%d %d %d %d", d.year, d.month, d.day, d.hour);
            out.text.append(buf, static_cast<std::size_t>(len));
            for (std::size_t s = 0; s < n; ++s) {
                const double mean = temperature ? sum[s] / static_cast<double>(steps.per_model_step) : sum[s];
                buf[0] = ' ';
                out.text.append(buf, 1 + float_chars(buf + 1, static_cast<float>(mean)));
                sum[s] = 0.0;
            }
            out.text += '\n';
            in_step = 0, ++record;
        }
    }
    out.check.records = record;
    if (negatives > 0)
        out.notes.push_back(path + ": " + std::to_string(negatives) + " values of " + v.name +
                            " slightly below 0 (at most 0.001 mm) were taken as 0");
}

std::string hours_text(int64_t seconds) {
    const double h = static_cast<double>(seconds) / 3600.0;
    return number_text(h) + " h";
}

}  // namespace

GriddedSeries gridded_series(const std::string& path, const std::string& variable, ForcingQuantity quantity,
                             const std::string& option, const ForcingTarget& target) {
    GriddedSeries out;
    require_plain_file(path, "forcing file");
    NetcdfForcing file(path);
    const ForcingVariable v = file.describe(variable, quantity, option);
    const UnitConversion conv = unit_conversion(path, v.name, quantity, v.units);
    const Placement place = forcing_cells(path, v, target, out.notes);
    const std::vector<int64_t> station_cell = number_stations(place, out.zone);
    out.stations = static_cast<int32_t>(station_cell.size());
    const ForcingSteps steps = forcing_steps(path, v, target.time_step_hours);
    out.text = series_header(out.zone, station_cell.size(), *target.elevation);
    aggregate(file, path, v, place, station_cell, steps, quantity, conv, out);
    if (steps.left_out > 0)
        out.notes.push_back(path + ": the last " + std::to_string(steps.left_out) +
                            " forcing steps make no whole model step and were left out");
    const std::string name = std::filesystem::path(path).filename().string();
    out.summary =
        std::to_string(out.stations) + " forcing cells of " + v.name + " in " + name +
        " as stations; forcing steps of " + hours_text(steps.seconds) +
        (steps.per_model_step == 1 ? " taken as model steps"
                                   : ", " + std::to_string(steps.per_model_step) +
                                         (quantity == ForcingQuantity::temperature ? " averaged" : " summed") +
                                         " into each step of " + hours_text(steps.seconds * steps.per_model_step));
    return out;
}

}  // namespace gridprep

namespace gridprep {

GriddedInputs read_gridded_inputs(const PrepOptions& o, const ForcingTarget& target) {
    GriddedInputs in;
    struct Input {
        const std::string& path;
        const std::string& variable;
        ForcingQuantity quantity;
        const char* option;
        const char* letter;
        std::optional<GriddedSeries>& out;
    };
    for (const Input& i :
         {Input{o.series_p, o.variable_p, ForcingQuantity::precipitation, "--precipitation-variable", "p", in.p},
          Input{o.series_e, o.variable_e, ForcingQuantity::evapotranspiration, "--pet-variable", "e", in.e},
          Input{o.series_t, o.variable_t, ForcingQuantity::temperature, "--temperature-variable", "t", in.t}}) {
        if (i.path.empty()) {
            if (!i.variable.empty())
                throw InputError(std::string(i.option) + " " + hydro::printable(i.variable) +
                                 ": expected a NetCDF forcing file to take it from, found none");
            continue;
        }
        if (!is_gridded_forcing(i.path)) {
            if (!i.variable.empty())
                throw InputError(i.path, 0, std::string("a NetCDF file (") + i.option + " names a variable of one)",
                                 "a text series");
            continue;
        }
        i.out = gridded_series(i.path, i.variable, i.quantity, i.option, target);
        in.summary.push_back(std::string(i.letter) + ": " + i.out->summary);
        // A file of several variables says the same of each once.
        for (const std::string& n : i.out->notes)
            if (std::find(in.notes.begin(), in.notes.end(), n) == in.notes.end()) in.notes.push_back(n);
    }
    return in;
}

void require_same_start(const std::string& p_path, const SeriesCheck& p, const std::string& path,
                        const SeriesCheck& other) {
    auto text = [](const DateHour& d) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:00", d.year, d.month, d.day, d.hour);
        return std::string(buf);
    };
    const DateHour& a = p.first;
    const DateHour& b = other.first;
    if (a.year != b.year || a.month != b.month || a.day != b.day || a.hour != b.hour)
        throw InputError(path, 0, "forcing that begins on the date of " + p_path + " (" + text(a) + ")", text(b));
}

}  // namespace gridprep
