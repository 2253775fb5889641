#include "prep_pipeline.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "accumulation.hpp"
#include "coordinate_system.hpp"
#include "csv_lines.hpp"
#include "dem_grid.hpp"
#include "flow_direction.hpp"
#include "free_format.hpp"
#include "gdal_raster.hpp"
#include "input_error.hpp"
#include "parameter_tables.hpp"
#include "priority_flood.hpp"
#include "response_functions.hpp"
#include "series_check.hpp"
#include "slope.hpp"
#include "subbasins.hpp"
#include "thiessen_grid.hpp"
#include "travel_time.hpp"

#ifndef HYDRO_VERSION
#define HYDRO_VERSION "0.1.0"
#endif

namespace gridprep {

namespace {

using hydro::InputError;

std::string rc_text(std::size_t i, const Geometry& g) {
    return "row " + std::to_string(i / static_cast<std::size_t>(g.n_cols) + 1) + ", column " +
           std::to_string(i % static_cast<std::size_t>(g.n_cols) + 1);
}

// The class of every basin cell: from a class map, or the single class of
// the table (or the default) everywhere.
template <typename Class>
std::vector<const Class*> classes_of_cells(const std::vector<Class>& table, const std::string& table_path,
                                           const std::string& grid_path, const Geometry& dem,
                                           const std::string& dem_crs,
                                           const std::vector<uint8_t>& basin, const char* what) {
    std::vector<const Class*> of(dem.cells(), nullptr);
    if (grid_path.empty()) {
        if (table.size() != 1)
            throw InputError(table_path, 0, std::string("a single ") + what + " class (or a " + what +
                                                " class map given with the table)",
                             std::to_string(table.size()) + " classes");
        for (std::size_t i = 0; i < of.size(); ++i)
            if (basin[i]) of[i] = &table.front();
        return of;
    }
    const Raster map = read_raster(grid_path, std::string(what) + " class map");
    require_same_geometry(dem, map.geometry, grid_path);
    require_same_coordinate_system(dem_crs, map, grid_path);
    for (std::size_t i = 0; i < of.size(); ++i) {
        if (!basin[i]) continue;
        if (!map.has_data[i])
            throw InputError(grid_path, 0, std::string("a ") + what + " class at " + rc_text(i, dem) + " (a basin cell)",
                             "no data");
        const double v = map.value[i];
        const auto found = std::find_if(table.begin(), table.end(), [&](const Class& c) { return c.id == v; });
        if (found == table.end())
            throw InputError(grid_path, 0,
                             std::string("a ") + what + " class of " + table_path + " at " + rc_text(i, dem),
                             plain_decimal(v, 6));
        of[i] = &*found;
    }
    return of;
}

// A map coordinate for a message: plain decimals, or exponent form when huge.
std::string coordinate_text(double v) {
    if (std::fabs(v) < 1e12) return plain_decimal(v, 3);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::vector<int32_t> reported_list(const std::string& report, int32_t subbasins) {
    std::vector<int32_t> list;
    if (report == "none") return list;
    if (report == "all") {
        for (int32_t s = 1; s <= subbasins; ++s) list.push_back(s);
        return list;
    }
    std::string item;
    std::istringstream in(report);
    while (std::getline(in, item, ',')) {
        int32_t s = 0;
        if (!hydro::parse_int32(item, s) || s < 1 || s > subbasins)
            throw InputError("--report " + report + ": expected subbasin numbers from 1 to " +
                             std::to_string(subbasins) + " separated by commas (or all, none), found \"" + item +
                             "\"");
        list.push_back(s);
    }
    return list;
}

int32_t largest(const std::vector<int32_t>& zone, const std::vector<uint8_t>& basin) {
    int32_t m = 0;
    for (std::size_t i = 0; i < zone.size(); ++i)
        if (basin[i]) m = std::max(m, zone[i]);
    return m;
}

}  // namespace

PreparedProject prepare_project(const PrepOptions& o) {
    PreparedProject out;
    PrepSummary& sum = out.summary;

    // Terrain.
    const Raster dem = read_raster(o.dem, "DEM", true);
    const Geometry& g = dem.geometry;
    require_projected_metres(dem, o.dem);
    const double whole_size = std::round(g.cell_size);
    if (whole_size < 1.0 || std::fabs(g.cell_size - whole_size) > 1e-6 * g.cell_size)
        throw InputError(o.dem, 0, "a cell size of a whole number of metres (a DEM in projected coordinates)",
                         plain_decimal(g.cell_size, 9));
    if (std::none_of(dem.has_data.begin(), dem.has_data.end(), [](uint8_t d) { return d != 0; }))
        throw InputError(o.dem, 0, "at least one cell with an elevation", "no data in every cell");

    const std::vector<double> filled = fill_depressions(dem);
    const FlowDirections fd = d8_directions(dem, filled);
    const std::vector<int64_t> acc = flow_accumulation(fd);

    // Outlet.
    std::size_t outlet = 0;
    if (o.outlet_kind == OutletKind::largest) {
        outlet = largest_outlet(acc);
    } else {
        int32_t row = 0, col = 0;
        if (o.outlet_kind == OutletKind::map_xy) {
            // Column and row in double precision first: a point far outside
            // the DEM has no integer column.
            const double c = std::floor((o.outlet_x - g.xll) / g.cell_size);
            const double r = g.n_rows - 1 - std::floor((o.outlet_y - g.yll) / g.cell_size);
            const bool inside = c >= 0 && c < g.n_cols && r >= 0 && r < g.n_rows;
            if (inside) col = static_cast<int32_t>(c), row = static_cast<int32_t>(r);
            if (!inside)
                throw InputError(o.dem, 0,
                                 "an outlet inside the DEM (x " + plain_decimal(g.xll, 3) + " to " +
                                     plain_decimal(g.xll + g.n_cols * g.cell_size, 3) + ", y " +
                                     plain_decimal(g.yll, 3) + " to " +
                                     plain_decimal(g.yll + g.n_rows * g.cell_size, 3) + ")",
                                 "x " + coordinate_text(o.outlet_x) + ", y " + coordinate_text(o.outlet_y));
        } else {
            row = o.outlet_row - 1;
            col = o.outlet_col - 1;
            if (!g.inside(row, col))
                throw InputError(o.dem, 0,
                                 "an outlet row from 1 to " + std::to_string(g.n_rows) + " and column from 1 to " +
                                     std::to_string(g.n_cols),
                                 "row " + std::to_string(o.outlet_row) + ", column " + std::to_string(o.outlet_col));
        }
        outlet = o.snap_radius > 0 ? snap_outlet(fd, acc, row, col, o.snap_radius) : g.index(row, col);
    }
    if (!dem.has_data[outlet])
        throw InputError(o.dem, 0, "an outlet cell with an elevation (or --snap to reach one)",
                         "no data at " + rc_text(outlet, g));
    const std::vector<uint8_t> basin = basin_above(fd, outlet);
    sum.outlet_row = static_cast<int32_t>(outlet / static_cast<std::size_t>(g.n_cols)) + 1;
    sum.outlet_col = static_cast<int32_t>(outlet % static_cast<std::size_t>(g.n_cols)) + 1;
    sum.outlet_x = g.x_of(sum.outlet_col - 1);
    sum.outlet_y = g.y_of(sum.outlet_row - 1);
    sum.basin_cells = std::count(basin.begin(), basin.end(), uint8_t{1});
    const double cell_km2 = whole_size * whole_size / 1e6;
    sum.basin_km2 = static_cast<double>(sum.basin_cells) * cell_km2;

    // Streams and subbasins.
    if (o.threshold_cells > 0) sum.threshold_cells = o.threshold_cells;
    else if (o.threshold_km2 > 0)
        // More cells than the basin holds give a single subbasin already.
        sum.threshold_cells = static_cast<int64_t>(
            std::min(std::ceil(o.threshold_km2 / cell_km2 - 1e-9), static_cast<double>(sum.basin_cells) + 1.0));
    else sum.threshold_cells = static_cast<int64_t>(std::ceil(o.default_threshold_share * static_cast<double>(sum.basin_cells)));
    sum.threshold_cells = std::max<int64_t>(1, sum.threshold_cells);
    const Subbasins sb = delineate_subbasins(fd, acc, basin, outlet, sum.threshold_cells);
    sum.subbasins = sb.count;

    // Soil and land cover.
    const std::vector<SoilClass> soils = o.soil_table.empty() ? std::vector<SoilClass>{default_soil()}
                                                              : read_soil_table(o.soil_table);
    const std::vector<CoverClass> covers = o.cover_table.empty() ? std::vector<CoverClass>{default_cover()}
                                                                 : read_cover_table(o.cover_table);
    const auto soil = classes_of_cells(soils, o.soil_table, o.soil_grid, g, dem.crs_wkt, basin, "soil");
    const auto cover = classes_of_cells(covers, o.cover_table, o.cover_grid, g, dem.crs_wkt, basin, "land-cover");

    // Slope; flow and the maps see at least the least slope.
    std::vector<double> slope = horn_slope_percent(dem);
    for (double& s : slope) s = std::max(s, o.routing.min_slope * 100.0);
    std::vector<double> manning(g.cells(), 0.0);
    for (std::size_t i = 0; i < g.cells(); ++i)
        if (basin[i]) manning[i] = cover[i]->manning_n;

    // Responses, for the basin cells in reading order.
    const TravelTimes tt = travel_times(fd, acc, sb, slope, manning, o.routing);
    std::vector<Response> to_outlet, to_subbasin;
    int32_t uh_length = 0;
    for (std::size_t i = 0; i < g.cells(); ++i) {
        if (!basin[i]) continue;
        to_outlet.push_back(cell_response(tt.to_basin_outlet[i]));
        uh_length = std::max(uh_length, to_outlet.back().last());
        to_subbasin.push_back(cell_response(tt.to_subbasin_outlet[i]));
    }
    for (std::size_t k = 0; k < to_outlet.size(); ++k) {
        limit_last_lag(to_subbasin[k], uh_length);
        out.files.uh_cell_h.push_back(format_response(to_outlet[k]));
        out.files.uh_cell_s.push_back(format_response(to_subbasin[k]));
    }
    for (int32_t s = 1; s <= sb.count; ++s) {
        Response r = river_response(tt.river[static_cast<std::size_t>(s - 1)]);
        limit_last_lag(r, uh_length);
        out.files.uh_river.push_back(format_response(r));
    }
    sum.longest_lag = uh_length;

    // Stations.
    std::vector<Station> stations;
    if (o.stations.empty()) {
        for (Variable v : {Variable::precipitation, Variable::evapotranspiration, Variable::temperature})
            stations.push_back(Station{v, 1, sum.outlet_x, sum.outlet_y});
    } else {
        stations = read_station_file(o.stations);
        require_stations_near(stations, g, o.stations);
    }
    const auto p_st = stations_of(stations, Variable::precipitation);
    const auto e_st = stations_of(stations, Variable::evapotranspiration);
    const auto t_st = stations_of(stations, Variable::temperature);
    if (p_st.empty()) throw InputError(o.stations, 0, "at least one precipitation station (variable p)", "none");
    if (e_st.empty())
        throw InputError(o.stations, 0, "at least one evapotranspiration station (variable e)", "none");
    const std::vector<int32_t> zone_p = thiessen_grid(g, basin, p_st);
    const std::vector<int32_t> zone_e = thiessen_grid(g, basin, e_st);
    const std::vector<int32_t> zone_t = t_st.empty() ? zone_p : thiessen_grid(g, basin, t_st);
    sum.stations_p = largest(zone_p, basin);
    sum.stations_e = largest(zone_e, basin);
    sum.stations_t = t_st.empty() ? 0 : largest(zone_t, basin);

    // Control file.
    ControlSettings& control = out.files.control;
    control = default_control(o.routing.time_step_hours);
    if (t_st.empty()) {
        control.degree_day_factor = -1;
        sum.notes.push_back("no temperature stations: snow is off (degree-day factor -1); thiessen_t.asc repeats "
                            "the precipitation stations");
    }
    control.reported_subbasins = reported_list(o.report, sb.count);
    control.origin = "made by gridprep " + std::string(HYDRO_VERSION) + " from " + o.dem + ", outlet at row " +
                     std::to_string(sum.outlet_row) + ", column " + std::to_string(sum.outlet_col) +
                     "; title lines hold one word, comments follow the values";

    // Station series.
    SeriesCheck p_check;
    if (!o.series_p.empty()) {
        const std::string text = load_text_file(o.series_p, "precipitation series");
        p_check = check_series(o.series_p, text, sum.stations_p, SeriesKind::precipitation, o.routing.time_step_hours);
        for (const std::string& n : p_check.notes) sum.notes.push_back(n);
        out.files.series.push_back({"p.txt", text});
        control.have_period = true;
        control.period_start = p_check.first;
        control.period_end = p_check.last;
    }
    struct Other {
        const std::string& path;
        const char* name;
        const char* what;
        int32_t stations;
        SeriesKind kind;
    };
    for (const Other& s : {Other{o.series_e, "pet.txt", "evapotranspiration series", sum.stations_e,
                                 SeriesKind::evapotranspiration},
                           Other{o.series_t, "t.txt", "temperature series", sum.stations_t, SeriesKind::temperature}}) {
        if (s.path.empty()) continue;
        const std::string text = load_text_file(s.path, s.what);
        const SeriesCheck c = check_series(s.path, text, s.stations, s.kind, o.routing.time_step_hours);
        for (const std::string& n : c.notes) sum.notes.push_back(n);
        if (!o.series_p.empty() && c.records < p_check.records && (s.stations > 0))
            throw InputError(s.path, 0, "at least " + std::to_string(p_check.records) + " records (as many as " +
                                            o.series_p + ")",
                             std::to_string(c.records));
        out.files.series.push_back({s.name, text});
    }
    if (o.series_p.empty() || o.series_e.empty() || (sum.stations_t > 0 && o.series_t.empty()))
        sum.notes.push_back("put the station series into model/input: p.txt (" + std::to_string(sum.stations_p) +
                            " station columns), pet.txt (" + std::to_string(sum.stations_e) + ")" +
                            (sum.stations_t > 0 ? ", t.txt (" + std::to_string(sum.stations_t) + ")" : std::string()) +
                            ", and the map periods into input.txt");

    // The grids, cut to the basin's bounding box.
    int32_t r0 = g.n_rows, r1 = -1, c0 = g.n_cols, c1 = -1;
    for (int32_t r = 0; r < g.n_rows; ++r)
        for (int32_t c = 0; c < g.n_cols; ++c)
            if (basin[g.index(r, c)]) r0 = std::min(r0, r), r1 = std::max(r1, r), c0 = std::min(c0, c), c1 = std::max(c1, c);
    if (!o.crop) r0 = 0, r1 = g.n_rows - 1, c0 = 0, c1 = g.n_cols - 1;
    out.files.coordinate_system = dem.crs_wkt;
    ProjectGrids& pg = out.files.grids;
    Geometry& box = pg.geometry;
    box.n_rows = r1 - r0 + 1;
    box.n_cols = c1 - c0 + 1;
    box.cell_size = whole_size;
    box.xll = g.xll + c0 * g.cell_size;
    box.yll = g.yll + (g.n_rows - 1 - r1) * g.cell_size;
    const std::size_t n = box.cells();
    pg.inside.assign(n, 0);
    for (auto* v : {&pg.subbasin, &pg.thiessen_p, &pg.thiessen_e, &pg.thiessen_t}) v->assign(n, 0);
    for (auto* v : {&pg.runoff_coefficient, &pg.field_capacity, &pg.porosity, &pg.conductivity, &pg.pore_index,
                    &pg.depression_capacity, &pg.interception_max, &pg.interception_min, &pg.residual_moisture,
                    &pg.root_depth, &pg.slope_percent, &pg.wilting_point, &pg.elevation})
        v->assign(n, 0.0);
    for (int32_t r = r0; r <= r1; ++r)
        for (int32_t c = c0; c <= c1; ++c) {
            const std::size_t i = g.index(r, c);
            if (!basin[i]) continue;
            const std::size_t k = box.index(r - r0, c - c0);
            const SoilClass& s = *soil[i];
            const CoverClass& v = *cover[i];
            pg.inside[k] = 1;
            pg.subbasin[k] = sb.id[i];
            pg.thiessen_p[k] = zone_p[i];
            pg.thiessen_e[k] = zone_e[i];
            pg.thiessen_t[k] = zone_t[i];
            pg.runoff_coefficient[k] = v.runoff_coefficient;
            pg.field_capacity[k] = s.field_capacity;
            pg.porosity[k] = s.porosity;
            pg.conductivity[k] = s.conductivity;
            pg.pore_index[k] = s.pore_index;
            pg.depression_capacity[k] = v.depression_capacity;
            pg.interception_max[k] = v.interception_max;
            pg.interception_min[k] = v.interception_min;
            pg.residual_moisture[k] = s.residual_moisture;
            pg.root_depth[k] = v.root_depth;
            pg.slope_percent[k] = slope[i];
            pg.wilting_point[k] = s.wilting_point;
            pg.elevation[k] = dem.value[i];
        }

    const double ordinates = static_cast<double>(sum.basin_cells) * (uh_length + 1.0);
    if (ordinates > 2e8)
        sum.notes.push_back("the responses are long (" + std::to_string(uh_length + 1) + " steps for " +
                            std::to_string(sum.basin_cells) +
                            " cells): gridrun needs about 4 bytes per cell and step; a longer time step or a "
                            "smaller basin needs less memory");
    return out;
}

PrepSummary make_project(const PrepOptions& options) {
    const PreparedProject p = prepare_project(options);
    write_project(options.output, p.files);
    return p.summary;
}

std::string summary_text(const PrepOptions& o, const PrepSummary& s) {
    std::ostringstream t;
    t << "gridprep: project written to " << o.output << "\n";
    t << "  outlet      row " << s.outlet_row << ", column " << s.outlet_col << " of the DEM (x "
      << plain_decimal(s.outlet_x, 3) << ", y " << plain_decimal(s.outlet_y, 3) << ")\n";
    t << "  basin       " << s.basin_cells << " cells, " << plain_decimal(s.basin_km2, 3) << " km2\n";
    t << "  subbasins   " << s.subbasins << " (stream threshold " << s.threshold_cells << " cells)\n";
    t << "  stations    p " << s.stations_p << ", e " << s.stations_e << ", t " << s.stations_t << "\n";
    t << "  responses   longest last lag " << s.longest_lag << " steps of " << plain_decimal(o.routing.time_step_hours, 6)
      << " h\n";
    for (const std::string& n : s.notes) t << "  note: " << n << "\n";
    return t.str();
}

}  // namespace gridprep
