#include "prep_pipeline.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "accumulation.hpp"
#include "coordinate_system.hpp"
#include "basin_checks.hpp"
#include "catchment_grids.hpp"
#include "cell_classes.hpp"
#include "csv_lines.hpp"
#include "dem_grid.hpp"
#include "flow_direction.hpp"
#include "gridded_forcing.hpp"
#include "free_format.hpp"
#include "grid_cells.hpp"
#include "input_error.hpp"
#include "model_check.hpp"
#include "parameter_tables.hpp"
#include "priority_flood.hpp"
#include "project_folder.hpp"
#include "project_writer.hpp"
#include "response_files.hpp"
#include "series_check.hpp"
#include "subbasins.hpp"
#include "thiessen_grid.hpp"
#include "travel_time.hpp"

#ifndef HYDRO_VERSION
#define HYDRO_VERSION "0.1.0"
#endif

namespace gridprep {

namespace {

using hydro::InputError;

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

// A folder that holds a project is only written over on request.
FolderState folder_to_write(const PrepOptions& o) {
    FolderState folder = inspect_project_folder(o.output);
    if (folder.holds_project && !o.force)
        throw InputError(o.output, 0,
                         "a folder without a project (--force replaces the files an earlier run of gridprep wrote "
                         "there)",
                         "a project (" + folder.evidence + ")");
    ProjectFolder(o.output).check_folders();
    return folder;
}

// The DEM, its depressions filled, and the flow over the filled surface.
struct Terrain {
    Raster dem;
    double cell_size = 0.0;  // whole metres
    double cell_km2 = 0.0;
    std::vector<double> filled;
    FlowDirections fd;
    std::vector<int32_t> acc;

    const Geometry& geometry() const { return dem.geometry; }
    std::string km2_text(int64_t cells) const {
        return plain_decimal(static_cast<double>(cells) * cell_km2, 3) + " km2";
    }
};

Terrain read_terrain(const PrepOptions& o) {
    Terrain t;
    t.dem = read_raster(o.dem, "DEM", true);
    const Geometry& g = t.dem.geometry;
    require_projected_metres(t.dem, o.dem);
    require_plausible_elevations(t.dem, o.dem);
    t.cell_size = std::round(g.cell_size);
    if (t.cell_size < 1.0 || std::fabs(g.cell_size - t.cell_size) > 1e-6 * g.cell_size)
        throw InputError(o.dem, 0, "a cell size of a whole number of metres (a DEM in projected coordinates)",
                         plain_decimal(g.cell_size, 9));
    if (std::none_of(t.dem.has_data.begin(), t.dem.has_data.end(), [](uint8_t d) { return d != 0; }))
        throw InputError(o.dem, 0, "at least one cell with an elevation", "no data in every cell");
    t.cell_km2 = t.cell_size * t.cell_size / 1e6;
    t.filled = fill_depressions(t.dem);
    t.fd = d8_directions(t.dem, t.filled);
    t.acc = flow_accumulation(t.fd);
    return t;
}

// The cell of a map point (--outlet-xy) or of a row and column (--outlet-rc).
std::size_t outlet_cell_given(const PrepOptions& o, const Geometry& g) {
    if (o.outlet_kind == OutletKind::map_xy) {
        // Column and row in double precision first: a point far outside
        // the DEM has no integer column.
        const double c = std::floor((o.outlet_x - g.xll) / g.cell_size);
        const double r = g.n_rows - 1 - std::floor((o.outlet_y - g.yll) / g.cell_size);
        if (!(c >= 0 && c < g.n_cols && r >= 0 && r < g.n_rows))
            throw InputError(o.dem, 0,
                             "an outlet inside the DEM (x " + plain_decimal(g.xll, 3) + " to " +
                                 plain_decimal(g.xll + g.n_cols * g.cell_size, 3) + ", y " + plain_decimal(g.yll, 3) +
                                 " to " + plain_decimal(g.yll + g.n_rows * g.cell_size, 3) + ")",
                             "x " + coordinate_text(o.outlet_x) + ", y " + coordinate_text(o.outlet_y));
        return g.index(static_cast<int32_t>(r), static_cast<int32_t>(c));
    }
    if (!g.inside(o.outlet_row - 1, o.outlet_col - 1))
        throw InputError(
            o.dem, 0,
            "an outlet row from 1 to " + std::to_string(g.n_rows) + " and column from 1 to " + std::to_string(g.n_cols),
            "row " + std::to_string(o.outlet_row) + ", column " + std::to_string(o.outlet_col));
    return g.index(o.outlet_row - 1, o.outlet_col - 1);
}

// The outlet asked for (the cell of largest accumulation by default),
// snapped to the largest stream within --snap cells.
std::size_t chosen_outlet(const PrepOptions& o, const Terrain& t) {
    const Geometry& g = t.geometry();
    std::size_t outlet = 0;
    if (o.outlet_kind == OutletKind::largest) {
        outlet = largest_outlet(t.acc);
    } else {
        outlet = outlet_cell_given(o, g);
        if (o.snap_radius > 0) {
            const CellPosition p = position_of(g, outlet);
            outlet = snap_outlet(t.fd, t.acc, p.row, p.col, o.snap_radius);
        }
    }
    if (!t.dem.has_data[outlet])
        throw InputError(o.dem, 0, "an outlet cell with an elevation (or --snap to reach one)",
                         "no data at " + cell_text(g, outlet));
    return outlet;
}

// An outlet on a flat of the filled surface: which of the water entering
// the flat passes the outlet is decided by the order of the flat search.
// With --outlet-to-spill the outlet moves to the flat's spill cell;
// otherwise the flat is a terrain note.
std::size_t outlet_off_flat(const PrepOptions& o, const Terrain& t, std::size_t outlet, PrepSummary& sum,
                            std::vector<std::string>& terrain_notes) {
    const Geometry& g = t.geometry();
    const OutletFlat flat = flat_at_outlet(t.dem, t.filled, t.fd, t.acc, outlet);
    if (flat.outlet_spills) return outlet;
    const std::string depth = flat.fill_depth > 0 ? " inside a depression filled by " +
                                                        plain_decimal(flat.fill_depth, 2) + " m at the outlet,"
                                                  : std::string();
    if (o.outlet_to_spill) {
        sum.notes.push_back(
            "the outlet at " + cell_text(g, outlet) + " lies on a flat of " + std::to_string(flat.cells) + " cells," +
            depth + " and was moved to the flat's spill cell (" + cell_text(g, flat.spill) + "; --outlet-to-spill)");
        return flat.spill;
    }
    terrain_notes.push_back("the outlet lies on a flat of " + std::to_string(flat.cells) + " cells of the filled DEM," +
                            depth + " so its basin (" + t.km2_text(t.acc[outlet]) +
                            ") depends on how the flat is crossed; at the flat's spill cell (" +
                            cell_text(g, flat.spill) + ") the basin is " + t.km2_text(t.acc[flat.spill]) +
                            " (--outlet-to-spill moves the outlet there)");
    return outlet;
}

void describe_outlet_and_basin(const Terrain& t, std::size_t outlet, const std::vector<uint8_t>& basin,
                               PrepSummary& sum) {
    const CellPosition p = position_of(t.geometry(), outlet);
    sum.outlet_row = p.row + 1;
    sum.outlet_col = p.col + 1;
    sum.outlet_x = t.geometry().x_of(p.col);
    sum.outlet_y = t.geometry().y_of(p.row);
    sum.basin_cells = std::count(basin.begin(), basin.end(), uint8_t{1});
    sum.basin_km2 = static_cast<double>(sum.basin_cells) * t.cell_km2;
}

// Is the basin whole, and is the outlet where the user meant it?
void note_doubtful_basin(const PrepOptions& o, const Terrain& t, const std::vector<uint8_t>& basin, std::size_t outlet,
                         const PrepSummary& sum, std::vector<std::string>& terrain_notes) {
    const Geometry& g = t.geometry();
    const InwardEdge edge = inward_edge_cells(t.dem, t.fd, basin);
    if (edge.cells > 0) terrain_notes.push_back(inward_edge_text(edge));
    if (o.outlet_kind != OutletKind::largest) {
        const NearbyStream near = largest_nearby(t.fd, t.acc, outlet, 3.0);
        if (near.accumulation >= 10 * static_cast<int64_t>(t.acc[outlet]) && near.accumulation > t.acc[outlet] + 10)
            terrain_notes.push_back(
                "the outlet's basin is small (" + std::to_string(sum.basin_cells) + " cells) beside a stream that " +
                "gathers " + std::to_string(near.accumulation) + " cells (" + t.km2_text(near.accumulation) + ") at " +
                cell_text(g, near.cell) + ", " + plain_decimal(near.distance, 1) + " cells away: --snap " +
                std::to_string(static_cast<int32_t>(std::ceil(near.distance - 1e-9))) + " moves the outlet onto it");
        return;
    }
    const CellPosition p = position_of(g, outlet);
    if (p.row == 0 || p.col == 0 || p.row == g.n_rows - 1 || p.col == g.n_cols - 1)
        terrain_notes.push_back("the default outlet (the cell of largest accumulation) lies on the DEM's edge at " +
                                cell_text(g, outlet) +
                                ": the basin leaves the DEM there and may be cut off; --outlet-xy or --outlet-rc "
                                "picks an outlet inside the DEM");
}

// Streams from the threshold (cells, km2, or a share of the basin), the
// subbasins between their junctions, and the small ones merged.
Subbasins streams_and_subbasins(const PrepOptions& o, const Terrain& t, const std::vector<uint8_t>& basin,
                                std::size_t outlet, PrepSummary& sum) {
    if (o.threshold_cells > 0)
        sum.threshold_cells = o.threshold_cells;
    else if (o.threshold_km2 > 0)
        sum.threshold_cells = cells_of_km2(o.threshold_km2, t.cell_km2);
    else
        sum.threshold_cells =
            static_cast<int64_t>(std::ceil(o.default_threshold_share * static_cast<double>(sum.basin_cells)));
    sum.threshold_cells = std::max<int64_t>(1, sum.threshold_cells);
    Subbasins sb = delineate_subbasins(t.fd, t.acc, basin, outlet, sum.threshold_cells);
    if (o.min_subbasin_cells >= 0)
        sum.min_subbasin_cells = o.min_subbasin_cells;
    else if (o.min_subbasin_km2 >= 0)
        sum.min_subbasin_cells = cells_of_km2(o.min_subbasin_km2, t.cell_km2);
    else
        sum.min_subbasin_cells =
            static_cast<int64_t>(std::ceil(o.default_min_subbasin_share * static_cast<double>(sum.threshold_cells)));
    sum.merged_subbasins = merge_small_subbasins(sb, t.fd, sum.min_subbasin_cells);
    sum.subbasins = sb.count;
    return sb;
}

// The forcing of each basin cell: the station zones of each variable, from
// the stations' Thiessen polygons or the cells of gridded forcing.
struct ForcingZones {
    GriddedInputs grid;
    std::vector<int32_t> zone_p, zone_e, zone_t_own;
    bool no_temperature = false;  // snow off; the temperature zones repeat the precipitation's
    const std::vector<int32_t>& zone_t() const { return no_temperature ? zone_p : zone_t_own; }
};

ForcingZones forcing_zones(const PrepOptions& o, const Terrain& t, const std::vector<uint8_t>& basin,
                           PrepSummary& sum) {
    const Geometry& g = t.geometry();
    std::vector<Station> stations;
    if (o.stations.empty()) {
        for (Variable v : {Variable::precipitation, Variable::evapotranspiration, Variable::temperature})
            stations.push_back(Station{v, 1, sum.outlet_x, sum.outlet_y});
    } else {
        stations = read_station_file(o.stations);
        require_stations_near(stations, g, o.stations);
    }
    // Gridded forcing: the forcing cells that hold basin cells are its variable's stations.
    ForcingZones f;
    f.grid = read_gridded_inputs(o, ForcingTarget{&g, t.dem.crs_wkt, &basin, &t.dem.value, o.routing.time_step_hours});
    const auto p_st = f.grid.p ? std::vector<Station>() : stations_of(stations, Variable::precipitation);
    const auto e_st = f.grid.e ? std::vector<Station>() : stations_of(stations, Variable::evapotranspiration);
    // Gridded forcing without temperature and no station file: no temperature, snow off.
    const bool no_t_given = o.stations.empty() && (f.grid.p || f.grid.e) && o.series_t.empty();
    const auto t_st = f.grid.t || no_t_given ? std::vector<Station>() : stations_of(stations, Variable::temperature);
    if (p_st.empty() && !f.grid.p)
        throw InputError(o.stations, 0, "at least one precipitation station (variable p)", "none");
    if (e_st.empty() && !f.grid.e)
        throw InputError(o.stations, 0, "at least one evapotranspiration station (variable e)", "none");
    f.zone_p = f.grid.p ? f.grid.p->zone : thiessen_grid(g, basin, p_st);
    f.zone_e = f.grid.e ? f.grid.e->zone : thiessen_grid(g, basin, e_st);
    f.zone_t_own = f.grid.t ? f.grid.t->zone : t_st.empty() ? std::vector<int32_t>() : thiessen_grid(g, basin, t_st);
    f.no_temperature = t_st.empty() && !f.grid.t;
    sum.stations_p = largest(f.zone_p, basin);
    sum.stations_e = largest(f.zone_e, basin);
    sum.stations_t = f.no_temperature ? 0 : largest(f.zone_t(), basin);
    for (const std::string& n : f.grid.notes) sum.notes.push_back(n);
    sum.forcing = f.grid.summary;
    return f;
}

ControlSettings control_settings(const PrepOptions& o, const ForcingZones& f, const Subbasins& sb, PrepSummary& sum) {
    ControlSettings control = default_control(o.routing.time_step_hours);
    if (f.no_temperature) {
        control.value(hydro::control_parameter("degree_day_factor")) = -1;
        sum.notes.push_back(
            "no temperature stations: snow is off (degree-day factor -1); thiessen_t.asc repeats "
            "the precipitation stations");
    }
    control.reported_subbasins = reported_list(o.report, sb.count);
    control.origin = "made by gridprep " + std::string(HYDRO_VERSION) + " from " + o.dem + ", outlet at row " +
                     std::to_string(sum.outlet_row) + ", column " + std::to_string(sum.outlet_col) +
                     "; title lines hold one word, comments follow the values";
    return control;
}

using SeriesFiles = std::vector<std::pair<std::string, std::string>>;  // (name in the project, contents)

// The station series given, checked against the stations and each other;
// the precipitation series sets the control file's map period.
SeriesFiles station_series(const PrepOptions& o, const ForcingZones& f, ControlSettings& control, PrepSummary& sum) {
    SeriesFiles series;
    SeriesCheck p_check;
    if (!o.series_p.empty()) {
        std::string text = f.grid.p ? f.grid.p->text : load_text_file(o.series_p, "precipitation series");
        p_check = f.grid.p ? f.grid.p->check
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
                f.grid.e},
          Other{o.series_t, "t.txt", "temperature series", sum.stations_t, SeriesKind::temperature, f.grid.t}}) {
        if (s.path.empty()) continue;
        std::string text = s.gridded ? s.gridded->text : load_text_file(s.path, s.what);
        const SeriesCheck c =
            s.gridded ? s.gridded->check : check_series(s.path, text, s.stations, s.kind, o.routing.time_step_hours);
        if (!o.series_p.empty() && (s.gridded || f.grid.p)) require_same_start(o.series_p, p_check, s.path, c);
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
    return series;
}

// The output folder with the files of an earlier project (--force) removed
// and the project's folders made.
ProjectFolder emptied_folder(const PrepOptions& o, const FolderState& folder, PrepSummary& sum) {
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
    return out;
}

void write_inputs(ProjectFolder& out, const ControlSettings& control, SeriesFiles& series) {
    out.write("model/input/input.txt", control_text(control));
    for (auto& [name, contents] : series) {
        out.write("model/input/" + name, contents);
        contents = std::string();
    }
}

void note_long_responses(PrepSummary& sum) {
    const double ordinates = static_cast<double>(sum.basin_cells) * (sum.longest_lag + 1.0);
    if (ordinates > 2e8)
        sum.notes.push_back("the responses are long (" + std::to_string(sum.longest_lag + 1) + " steps for " +
                            std::to_string(sum.basin_cells) +
                            " cells): gridrun needs about 4 bytes per cell and step; a longer time step or a "
                            "smaller basin needs less memory");
}

}  // namespace

PrepSummary make_project(const PrepOptions& o) {
    PrepSummary sum;
    const FolderState folder = folder_to_write(o);

    // Terrain, outlet and basin.
    Terrain t = read_terrain(o);
    std::vector<std::string> terrain_notes;
    const std::size_t outlet = outlet_off_flat(o, t, chosen_outlet(o, t), sum, terrain_notes);
    if (!o.terrain_grids) t.filled = std::vector<double>();
    const std::vector<uint8_t> basin = basin_above(t.fd, outlet);
    describe_outlet_and_basin(t, outlet, basin, sum);
    note_doubtful_basin(o, t, basin, outlet, sum, terrain_notes);
    if (o.strict && !terrain_notes.empty())
        throw InputError(o.dem + ": " + terrain_notes.front() + " (an error with --strict)");
    for (const std::string& n : terrain_notes) sum.notes.push_back(n);
    const Subbasins sb = streams_and_subbasins(o, t, basin, outlet, sum);

    // Soil and land cover, forcing, control file and series.
    const Geometry& g = t.geometry();
    const std::vector<SoilClass> soils =
        o.soil_table.empty() ? std::vector<SoilClass>{default_soil()} : read_soil_table(o.soil_table);
    const std::vector<CoverClass> covers =
        o.cover_table.empty() ? std::vector<CoverClass>{default_cover()} : read_cover_table(o.cover_table);
    const auto soil = classes_of_cells(soils, o.soil_table, o.soil_grid, g, t.dem.crs_wkt, basin, "soil");
    const auto cover = classes_of_cells(covers, o.cover_table, o.cover_grid, g, t.dem.crs_wkt, basin, "land-cover");
    const ForcingZones forcing = forcing_zones(o, t, basin, sum);
    ControlSettings control = control_settings(o, forcing, sb, sum);
    SeriesFiles series = station_series(o, forcing, control, sum);
    sum.starting_snow = starting_snow_text(control);

    // Every input is read and checked: from here on the project is written.
    ProjectFolder out = emptied_folder(o, folder, sum);
    const BasinCells cells{&t.dem,          &basin,          &sb.id,
                           &forcing.zone_p, &forcing.zone_e, &forcing.zone_t(),
                           &soil,           &cover,          o.routing.min_slope * 100.0};
    write_catchment_grids(out, project_window(g, basin, o.crop, t.cell_size), cells);
    if (o.terrain_grids) write_terrain_grids(out, t.dem, t.filled, t.fd, t.acc);
    write_inputs(out, control, series);

    // Responses, for the basin cells in reading order.
    const TravelTimes tt = travel_times(
        t.fd, t.acc, sb,
        [&](std::size_t i, double& slope, double& manning) {
            slope = cells.slope_percent(i), manning = cover[i]->manning_n;
        },
        o.routing);
    sum.longest_lag = write_response_files(out, basin, tt, sb.count);
    note_long_responses(sum);

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
    t << "  start snow  " << s.starting_snow << "\n";
    t << "  responses   longest last lag " << s.longest_lag << " steps of "
      << plain_decimal(o.routing.time_step_hours, 6) << " h\n";
    for (const std::string& n : s.notes) t << "  note: " << n << "\n";
    return t.str();
}

}  // namespace gridprep
