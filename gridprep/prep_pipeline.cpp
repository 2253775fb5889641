#include "prep_pipeline.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "accumulation.hpp"
#include "coordinate_system.hpp"
#include "basin_checks.hpp"
#include "csv_lines.hpp"
#include "dem_grid.hpp"
#include "flow_direction.hpp"
#include "gridded_forcing.hpp"
#include "free_format.hpp"
#include "input_error.hpp"
#include "model_check.hpp"
#include "parameter_tables.hpp"
#include "priority_flood.hpp"
#include "project_folder.hpp"
#include "project_writer.hpp"
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
struct CellClasses {
    const std::vector<Class>* table = nullptr;
    bool single = true;
    std::vector<uint32_t> index;  // per cell, when not single
    const Class* operator[](std::size_t i) const { return &(*table)[single ? 0 : index[i]]; }
};

template <typename Class>
CellClasses<Class> classes_of_cells(const std::vector<Class>& table, const std::string& table_path,
                                    const std::string& grid_path, const Geometry& dem, const std::string& dem_crs,
                                    const std::vector<uint8_t>& basin, const char* what) {
    CellClasses<Class> of;
    of.table = &table;
    if (grid_path.empty()) {
        if (table.size() != 1)
            throw InputError(
                table_path, 0,
                std::string("a single ") + what + " class (or a " + what + " class map given with the table)",
                std::to_string(table.size()) + " classes");
        return of;
    }
    const Raster map = read_raster(grid_path, std::string(what) + " class map");
    require_same_geometry(dem, map.geometry, grid_path);
    require_same_coordinate_system(dem_crs, map, grid_path);
    of.single = false;
    of.index.assign(dem.cells(), 0);
    for (std::size_t i = 0; i < of.index.size(); ++i) {
        if (!basin[i]) continue;
        if (!map.has_data[i])
            throw InputError(grid_path, 0,
                             std::string("a ") + what + " class at " + rc_text(i, dem) + " (a basin cell)", "no data");
        const double v = map.value[i];
        const auto found = std::find_if(table.begin(), table.end(), [&](const Class& c) { return c.id == v; });
        if (found == table.end())
            throw InputError(grid_path, 0,
                             std::string("a ") + what + " class of " + table_path + " at " + rc_text(i, dem),
                             plain_decimal(v, 6));
        of.index[i] = static_cast<uint32_t>(found - table.begin());
    }
    return of;
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
                             std::to_string(subbasins) + " separated by commas (or all, none), found \"" + item + "\"");
        list.push_back(s);
    }
    return list;
}

// A map coordinate for a message: plain decimals, or exponent form when huge.
std::string coordinate_text(double v) {
    if (std::fabs(v) < 1e12) return plain_decimal(v, 3);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

int32_t largest(const std::vector<int32_t>& zone, const std::vector<uint8_t>& basin) {
    int32_t m = 0;
    for (std::size_t i = 0; i < zone.size(); ++i)
        if (basin[i]) m = std::max(m, zone[i]);
    return m;
}

}  // namespace

namespace {

// The terrain notes: said in the summary, errors with --strict.
std::string inward_edge_text(const InwardEdge& e) {
    std::string where;
    auto add = [&](const InwardEdge::Stretch& s, const char* side, const char* along) {
        if (s.cells == 0) return;
        where += std::string(where.empty() ? "" : "; ") + std::to_string(s.cells) + " on the " + side + ", " + along +
                 " " + std::to_string(s.from + 1) + (s.to > s.from ? " to " + std::to_string(s.to + 1) : std::string());
    };
    add(e.north, "northern border", "columns");
    add(e.south, "southern border", "columns");
    add(e.west, "western border", "rows");
    add(e.east, "eastern border", "rows");
    if (e.nodata_rows.cells > 0)
        where += std::string(where.empty() ? "" : "; ") + std::to_string(e.nodata_rows.cells) +
                 " beside cells without data, rows " + std::to_string(e.nodata_rows.from + 1) + " to " +
                 std::to_string(e.nodata_rows.to + 1) + ", columns " + std::to_string(e.nodata_cols.from + 1) + " to " +
                 std::to_string(e.nodata_cols.to + 1);
    return "the basin may be cut off by the DEM's edge: " + std::to_string(e.cells) +
           " basin cells on the edge drain into the basin instead of out of the grid (" + where +
           "), so land beyond the DEM may drain into the basin too; a DEM reaching beyond the divide, or an outlet "
           "further upstream, gives a complete basin";
}

// Cells of an area; more than any DEM holds are capped (a single subbasin).
int64_t cells_of_km2(double km2, double cell_km2) {
    return static_cast<int64_t>(std::min(std::ceil(km2 / cell_km2 - 1e-9), 1e15));
}

}  // namespace

PrepSummary make_project(const PrepOptions& o) {
    PrepSummary sum;

    // A folder that holds a project is only written over on request.
    const FolderState folder = inspect_project_folder(o.output);
    if (folder.holds_project && !o.force)
        throw InputError(o.output, 0,
                         "a folder without a project (--force replaces the files an earlier run of gridprep wrote "
                         "there)",
                         "a project (" + folder.evidence + ")");
    ProjectFolder(o.output).check_folders();

    // Terrain.
    const Raster dem = read_raster(o.dem, "DEM", true);
    const Geometry& g = dem.geometry;
    require_projected_metres(dem, o.dem);
    require_plausible_elevations(dem, o.dem);
    const double whole_size = std::round(g.cell_size);
    if (whole_size < 1.0 || std::fabs(g.cell_size - whole_size) > 1e-6 * g.cell_size)
        throw InputError(o.dem, 0, "a cell size of a whole number of metres (a DEM in projected coordinates)",
                         plain_decimal(g.cell_size, 9));
    if (std::none_of(dem.has_data.begin(), dem.has_data.end(), [](uint8_t d) { return d != 0; }))
        throw InputError(o.dem, 0, "at least one cell with an elevation", "no data in every cell");

    std::vector<double> filled = fill_depressions(dem);
    const FlowDirections fd = d8_directions(dem, filled);
    const std::vector<int32_t> acc = flow_accumulation(fd);

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
    const double cell_km2 = whole_size * whole_size / 1e6;
    auto km2_text = [&](int64_t cells) { return plain_decimal(static_cast<double>(cells) * cell_km2, 3) + " km2"; };

    // An outlet on a flat of the filled surface: which of the water entering
    // the flat passes the outlet is decided by the order of the flat search.
    std::vector<std::string> terrain_notes;
    const OutletFlat flat = flat_at_outlet(dem, filled, fd, acc, outlet);
    if (!flat.outlet_spills) {
        const std::string depth = flat.fill_depth > 0 ? " inside a depression filled by " +
                                                            plain_decimal(flat.fill_depth, 2) + " m at the outlet,"
                                                      : std::string();
        if (o.outlet_to_spill) {
            sum.notes.push_back(
                "the outlet at " + rc_text(outlet, g) + " lies on a flat of " + std::to_string(flat.cells) + " cells," +
                depth + " and was moved to the flat's spill cell (" + rc_text(flat.spill, g) + "; --outlet-to-spill)");
            outlet = flat.spill;
        } else {
            terrain_notes.push_back("the outlet lies on a flat of " + std::to_string(flat.cells) +
                                    " cells of the filled DEM," + depth + " so its basin (" + km2_text(acc[outlet]) +
                                    ") depends on how the flat is crossed; at the flat's spill cell (" +
                                    rc_text(flat.spill, g) + ") the basin is " + km2_text(acc[flat.spill]) +
                                    " (--outlet-to-spill moves the outlet there)");
        }
    }
    if (!o.terrain_grids) filled = std::vector<double>();

    const std::vector<uint8_t> basin = basin_above(fd, outlet);
    sum.outlet_row = static_cast<int32_t>(outlet / static_cast<std::size_t>(g.n_cols)) + 1;
    sum.outlet_col = static_cast<int32_t>(outlet % static_cast<std::size_t>(g.n_cols)) + 1;
    sum.outlet_x = g.x_of(sum.outlet_col - 1);
    sum.outlet_y = g.y_of(sum.outlet_row - 1);
    sum.basin_cells = std::count(basin.begin(), basin.end(), uint8_t{1});
    sum.basin_km2 = static_cast<double>(sum.basin_cells) * cell_km2;

    // Is the basin whole, and is the outlet where the user meant it?
    const InwardEdge edge = inward_edge_cells(dem, fd, basin);
    if (edge.cells > 0) terrain_notes.push_back(inward_edge_text(edge));
    if (o.outlet_kind != OutletKind::largest) {
        const NearbyStream near = largest_nearby(fd, acc, outlet, 3.0);
        if (near.accumulation >= 10 * static_cast<int64_t>(acc[outlet]) && near.accumulation > acc[outlet] + 10)
            terrain_notes.push_back(
                "the outlet's basin is small (" + std::to_string(sum.basin_cells) +
                " cells) beside a "
                "stream that gathers " +
                std::to_string(near.accumulation) + " cells (" + km2_text(near.accumulation) + ") at " +
                rc_text(near.cell, g) + ", " + plain_decimal(near.distance, 1) + " cells away: --snap " +
                std::to_string(static_cast<int32_t>(std::ceil(near.distance - 1e-9))) + " moves the outlet onto it");
    } else {
        const int32_t r = sum.outlet_row - 1, c = sum.outlet_col - 1;
        if (r == 0 || c == 0 || r == g.n_rows - 1 || c == g.n_cols - 1)
            terrain_notes.push_back("the default outlet (the cell of largest accumulation) lies on the DEM's edge at " +
                                    rc_text(outlet, g) +
                                    ": the basin leaves the DEM there and may be cut off; --outlet-xy or --outlet-rc "
                                    "picks an outlet inside the DEM");
    }
    if (o.strict && !terrain_notes.empty())
        throw InputError(o.dem + ": " + terrain_notes.front() + " (an error with --strict)");
    for (const std::string& n : terrain_notes) sum.notes.push_back(n);

    // Streams and subbasins.
    if (o.threshold_cells > 0)
        sum.threshold_cells = o.threshold_cells;
    else if (o.threshold_km2 > 0)
        sum.threshold_cells = cells_of_km2(o.threshold_km2, cell_km2);
    else
        sum.threshold_cells =
            static_cast<int64_t>(std::ceil(o.default_threshold_share * static_cast<double>(sum.basin_cells)));
    sum.threshold_cells = std::max<int64_t>(1, sum.threshold_cells);
    Subbasins sb = delineate_subbasins(fd, acc, basin, outlet, sum.threshold_cells);
    if (o.min_subbasin_cells >= 0)
        sum.min_subbasin_cells = o.min_subbasin_cells;
    else if (o.min_subbasin_km2 >= 0)
        sum.min_subbasin_cells = cells_of_km2(o.min_subbasin_km2, cell_km2);
    else
        sum.min_subbasin_cells =
            static_cast<int64_t>(std::ceil(o.default_min_subbasin_share * static_cast<double>(sum.threshold_cells)));
    sum.merged_subbasins = merge_small_subbasins(sb, fd, sum.min_subbasin_cells);
    sum.subbasins = sb.count;

    // Soil and land cover.
    const std::vector<SoilClass> soils =
        o.soil_table.empty() ? std::vector<SoilClass>{default_soil()} : read_soil_table(o.soil_table);
    const std::vector<CoverClass> covers =
        o.cover_table.empty() ? std::vector<CoverClass>{default_cover()} : read_cover_table(o.cover_table);
    const auto soil = classes_of_cells(soils, o.soil_table, o.soil_grid, g, dem.crs_wkt, basin, "soil");
    const auto cover = classes_of_cells(covers, o.cover_table, o.cover_grid, g, dem.crs_wkt, basin, "land-cover");

    // Stations.
    std::vector<Station> stations;
    if (o.stations.empty()) {
        for (Variable v : {Variable::precipitation, Variable::evapotranspiration, Variable::temperature})
            stations.push_back(Station{v, 1, sum.outlet_x, sum.outlet_y});
    } else {
        stations = read_station_file(o.stations);
        require_stations_near(stations, g, o.stations);
    }
    // Gridded forcing: the forcing cells that hold basin cells are its variable's stations.
    const GriddedInputs grid =
        read_gridded_inputs(o, ForcingTarget{&g, dem.crs_wkt, &basin, &dem.value, o.routing.time_step_hours});
    const auto p_st = grid.p ? std::vector<Station>() : stations_of(stations, Variable::precipitation);
    const auto e_st = grid.e ? std::vector<Station>() : stations_of(stations, Variable::evapotranspiration);
    // Gridded forcing without temperature and no station file: no temperature, snow off.
    const bool no_t_given = o.stations.empty() && (grid.p || grid.e) && o.series_t.empty();
    const auto t_st = grid.t || no_t_given ? std::vector<Station>() : stations_of(stations, Variable::temperature);
    if (p_st.empty() && !grid.p)
        throw InputError(o.stations, 0, "at least one precipitation station (variable p)", "none");
    if (e_st.empty() && !grid.e)
        throw InputError(o.stations, 0, "at least one evapotranspiration station (variable e)", "none");
    const std::vector<int32_t> zone_p = grid.p ? grid.p->zone : thiessen_grid(g, basin, p_st);
    const std::vector<int32_t> zone_e = grid.e ? grid.e->zone : thiessen_grid(g, basin, e_st);
    const std::vector<int32_t> zone_t_own = grid.t         ? grid.t->zone
                                            : t_st.empty() ? std::vector<int32_t>()
                                                           : thiessen_grid(g, basin, t_st);
    const bool no_temperature = t_st.empty() && !grid.t;
    const std::vector<int32_t>& zone_t = no_temperature ? zone_p : zone_t_own;
    sum.stations_p = largest(zone_p, basin);
    sum.stations_e = largest(zone_e, basin);
    sum.stations_t = no_temperature ? 0 : largest(zone_t, basin);
    for (const std::string& n : grid.notes) sum.notes.push_back(n);
    sum.forcing = grid.summary;

    // Control file.
    ControlSettings control = default_control(o.routing.time_step_hours);
    if (no_temperature) {
        control.value(hydro::control_parameter("degree_day_factor")) = -1;
        sum.notes.push_back(
            "no temperature stations: snow is off (degree-day factor -1); thiessen_t.asc repeats "
            "the precipitation stations");
    }
    control.reported_subbasins = reported_list(o.report, sb.count);
    control.origin = "made by gridprep " + std::string(HYDRO_VERSION) + " from " + o.dem + ", outlet at row " +
                     std::to_string(sum.outlet_row) + ", column " + std::to_string(sum.outlet_col) +
                     "; title lines hold one word, comments follow the values";

    // Station series.
    std::vector<std::pair<std::string, std::string>> series;  // (name in the project, contents)
    SeriesCheck p_check;
    if (!o.series_p.empty()) {
        std::string text = grid.p ? grid.p->text : load_text_file(o.series_p, "precipitation series");
        p_check = grid.p ? grid.p->check
                         : check_series(o.series_p, text, sum.stations_p, SeriesKind::precipitation,
                                        o.routing.time_step_hours);
        for (const std::string& n : p_check.notes) sum.notes.push_back(n);
        series.emplace_back("p.txt", std::move(text));
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
        const std::optional<GriddedSeries>& gridded;
    };
    for (const Other& s :
         {Other{o.series_e, "pet.txt", "evapotranspiration series", sum.stations_e, SeriesKind::evapotranspiration,
                grid.e},
          Other{o.series_t, "t.txt", "temperature series", sum.stations_t, SeriesKind::temperature, grid.t}}) {
        if (s.path.empty()) continue;
        std::string text = s.gridded ? s.gridded->text : load_text_file(s.path, s.what);
        const SeriesCheck c =
            s.gridded ? s.gridded->check : check_series(s.path, text, s.stations, s.kind, o.routing.time_step_hours);
        if (!o.series_p.empty() && (s.gridded || grid.p)) require_same_start(o.series_p, p_check, s.path, c);
        for (const std::string& n : c.notes) sum.notes.push_back(n);
        if (!o.series_p.empty() && c.records < p_check.records && (s.stations > 0))
            throw InputError(s.path, 0,
                             "at least " + std::to_string(p_check.records) + " records (as many as " + o.series_p + ")",
                             std::to_string(c.records));
        series.emplace_back(s.name, std::move(text));
    }
    if (o.series_p.empty() || o.series_e.empty() || (sum.stations_t > 0 && o.series_t.empty()))
        sum.notes.push_back("put the station series into model/input: p.txt (" + std::to_string(sum.stations_p) +
                            " station columns), pet.txt (" + std::to_string(sum.stations_e) + ")" +
                            (sum.stations_t > 0 ? ", t.txt (" + std::to_string(sum.stations_t) + ")" : std::string()) +
                            ", and the map periods into input.txt");

    // Every input is read and checked: from here on the project is written.
    ProjectFolder out(o.output);
    if (folder.holds_project) {
        const int64_t removed = out.remove_listed(folder);
        if (!folder.has_manifest)
            sum.notes.push_back(o.output + " held a project without gridprep's list of files (" + kManifestName +
                                "): its files were rewritten where this run writes the same names, others stay");
        else
            sum.notes.push_back("the " + std::to_string(removed) + " files of the earlier project in " + o.output +
                                " were removed first (--force)");
    }
    out.create_folders();

    // The grids, cut to the basin's bounding box.
    int32_t r0 = g.n_rows, r1 = -1, c0 = g.n_cols, c1 = -1;
    for (int32_t r = 0; r < g.n_rows; ++r)
        for (int32_t c = 0; c < g.n_cols; ++c)
            if (basin[g.index(r, c)])
                r0 = std::min(r0, r), r1 = std::max(r1, r), c0 = std::min(c0, c), c1 = std::max(c1, c);
    if (!o.crop) r0 = 0, r1 = g.n_rows - 1, c0 = 0, c1 = g.n_cols - 1;
    Geometry box;
    box.n_rows = r1 - r0 + 1;
    box.n_cols = c1 - c0 + 1;
    box.cell_size = whole_size;
    box.xll = g.xll + c0 * g.cell_size;
    box.yll = g.yll + (g.n_rows - 1 - r1) * g.cell_size;
    // The DEM cell of box cell k.
    auto cell_of = [&](std::size_t k) {
        return g.index(r0 + static_cast<int32_t>(k / static_cast<std::size_t>(box.n_cols)),
                       c0 + static_cast<int32_t>(k % static_cast<std::size_t>(box.n_cols)));
    };
    auto in_basin = [&](std::size_t k) { return basin[cell_of(k)] != 0; };
    const std::string ascii = "arcview/ascii/";
    // Every grid with the DEM's coordinate system beside it (NAME.prj), for GIS programs.
    const std::string prj = dem.crs_wkt.empty() || dem.crs_wkt.back() == '\n' ? dem.crs_wkt : dem.crs_wkt + "\n";
    auto write_grid = [&](const std::string& name, const std::string& text) {
        out.write(ascii + name, text);
        if (!prj.empty()) out.write(ascii + name.substr(0, name.rfind('.')) + ".prj", prj);
    };
    auto int_grid = [&](const char* name, const std::vector<int32_t>& v) {
        write_grid(name, grid_text_of(box, in_basin,
                                      [&](std::size_t k, char* buf) { return whole_chars(buf, v[cell_of(k)]); }));
    };
    auto real_grid = [&](const char* name, int decimals, auto&& value) {
        DecimalCells text(decimals);
        write_grid(name,
                   grid_text_of(box, in_basin, [&](std::size_t k, char* buf) { return text(value(cell_of(k)), buf); }));
    };
    int_grid("watershed.asc", sb.id);
    int_grid("thiessen_p.asc", zone_p);
    int_grid("thiessen_e.asc", zone_e);
    int_grid("thiessen_t.asc", zone_t);
    real_grid("runoff_co.asc", 6, [&](std::size_t i) { return cover[i]->runoff_coefficient; });
    real_grid("fieldcap.asc", 6, [&](std::size_t i) { return soil[i]->field_capacity; });
    real_grid("porosity.asc", 6, [&](std::size_t i) { return soil[i]->porosity; });
    real_grid("conductivity.asc", 6, [&](std::size_t i) { return soil[i]->conductivity; });
    real_grid("poreindex.asc", 6, [&](std::size_t i) { return soil[i]->pore_index; });
    real_grid("depression.asc", 6, [&](std::size_t i) { return cover[i]->depression_capacity; });
    real_grid("interc_max.asc", 6, [&](std::size_t i) { return cover[i]->interception_max; });
    real_grid("interc_min.asc", 6, [&](std::size_t i) { return cover[i]->interception_min; });
    real_grid("residual.asc", 6, [&](std::size_t i) { return soil[i]->residual_moisture; });
    real_grid("rootdepth.asc", 6, [&](std::size_t i) { return cover[i]->root_depth; });
    // Slope: flow and the maps see at least the least slope.
    const double least_slope = o.routing.min_slope * 100.0;
    auto slope_at = [&](std::size_t i) {
        return std::max(horn_slope_percent_at(dem, static_cast<int32_t>(i / static_cast<std::size_t>(g.n_cols)),
                                              static_cast<int32_t>(i % static_cast<std::size_t>(g.n_cols))),
                        least_slope);
    };
    real_grid("slope.asc", 4, slope_at);
    real_grid("wiltingpoint.asc", 6, [&](std::size_t i) { return soil[i]->wilting_point; });
    real_grid("elevation.asc", 3, [&](std::size_t i) { return dem.value[i]; });

    // On request, the terrain of the whole DEM for checking in a GIS.
    if (o.terrain_grids) {
        auto with_data = [&](std::size_t i) { return dem.has_data[i] != 0; };
        DecimalCells level(3);
        write_grid("filled_dem.asc",
                   grid_text_of(g, with_data, [&](std::size_t i, char* buf) { return level(filled[i], buf); }));
        filled = std::vector<double>();
        write_grid("flow_direction.asc", grid_text_of(g, with_data, [&](std::size_t i, char* buf) {
                       const int8_t k = fd.code[i];
                       return whole_chars(buf, k >= 0 && k < 8 ? (1 << k) : 0);
                   }));
        write_grid("flow_accumulation.asc",
                   grid_text_of(g, with_data, [&](std::size_t i, char* buf) { return whole_chars(buf, acc[i]); }));
    }

    out.write("model/input/input.txt", control_text(control));
    for (auto& [name, contents] : series) {
        out.write("model/input/" + name, contents);
        contents = std::string();
    }

    // Responses, for the basin cells in reading order, written as they are made.
    const TravelTimes tt = travel_times(
        fd, acc, sb,
        [&](std::size_t i, double& slope, double& manning) { slope = slope_at(i), manning = cover[i]->manning_n; },
        o.routing);
    // Both cell files in one pass. A cell's response to its subbasin outlet
    // may not reach past the longest response to the basin outlet, known
    // only at the end; it rarely does (its path is part of the other), so
    // the cell-to-subbasin file is written as if it did not, and written
    // again with the responses cut only when one does. Where the two travel
    // times are the same numbers (the subbasin of the basin outlet), so are
    // the responses.
    int32_t uh_length = 0, longest_s = 0;
    auto same = [](const TravelTime& a, const TravelTime& b) { return a.mean == b.mean && a.variance == b.variance; };
    {
        ProjectFolder::File h = out.open("model/output/uh_cell_h.txt");
        ProjectFolder::File s = out.open("model/output/uh_cell_s.txt");
        for (std::size_t i = 0; i < g.cells(); ++i) {
            if (!basin[i]) continue;
            const TravelTime& to_outlet = tt.to_basin_outlet_of(i);
            const TravelTime& to_subbasin = tt.to_subbasin_outlet_of(i);
            const Response r = cell_response(to_outlet);
            uh_length = std::max(uh_length, r.last());
            const std::string line = format_response(r);
            h.write(line);
            if (same(to_outlet, to_subbasin)) {
                longest_s = std::max(longest_s, r.last());
                s.write(line);
            } else {
                const Response rs = cell_response(to_subbasin);
                longest_s = std::max(longest_s, rs.last());
                s.write(format_response(rs));
            }
        }
        h.close();
        s.close();
    }
    if (longest_s > uh_length) {
        ProjectFolder::File s = out.open("model/output/uh_cell_s.txt");
        for (std::size_t i = 0; i < g.cells(); ++i) {
            if (!basin[i]) continue;
            Response r = cell_response(tt.to_subbasin_outlet_of(i));
            limit_last_lag(r, uh_length);
            s.write(format_response(r));
        }
        s.close();
    }
    {
        ProjectFolder::File river = out.open("model/output/uh_river.txt");
        for (int32_t s = 1; s <= sb.count; ++s) {
            Response r = river_response(tt.river[static_cast<std::size_t>(s - 1)]);
            limit_last_lag(r, uh_length);
            river.write(format_response(r));
        }
        river.close();
    }
    sum.longest_lag = uh_length;

    const double ordinates = static_cast<double>(sum.basin_cells) * (uh_length + 1.0);
    if (ordinates > 2e8)
        sum.notes.push_back("the responses are long (" + std::to_string(uh_length + 1) + " steps for " +
                            std::to_string(sum.basin_cells) +
                            " cells): gridrun needs about 4 bytes per cell and step; a longer time step or a "
                            "smaller basin needs less memory");

    // With every series in place the model reads the project as it will.
    if (!o.series_p.empty() && !o.series_e.empty() && (sum.stations_t == 0 || !o.series_t.empty()))
        check_project_with_model(o.output);
    return sum;
}

std::string summary_text(const PrepOptions& o, const PrepSummary& s) {
    std::ostringstream t;
    t << "gridprep: project written to " << o.output << "\n";
    t << "  outlet      row " << s.outlet_row << ", column " << s.outlet_col << " of the DEM (x "
      << plain_decimal(s.outlet_x, 3) << ", y " << plain_decimal(s.outlet_y, 3) << ")\n";
    t << "  basin       " << s.basin_cells << " cells, " << plain_decimal(s.basin_km2, 3) << " km2\n";
    t << "  subbasins   " << s.subbasins << " (stream threshold " << s.threshold_cells << " cells";
    if (s.merged_subbasins > 0)
        t << "; " << s.merged_subbasins << " of fewer than " << s.min_subbasin_cells
          << " cells merged into a neighbour, see --min-subbasin";
    t << ")\n";
    t << "  stations    p " << s.stations_p << ", e " << s.stations_e << ", t " << s.stations_t << "\n";
    for (const std::string& f : s.forcing) t << "  forcing     " << f << "\n";
    t << "  responses   longest last lag " << s.longest_lag << " steps of "
      << plain_decimal(o.routing.time_step_hours, 6) << " h\n";
    for (const std::string& n : s.notes) t << "  note: " << n << "\n";
    return t.str();
}

}  // namespace gridprep
