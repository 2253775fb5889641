#include "model_loading.hpp"

#include <charconv>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ascii_grid.hpp"
#include "cell_loop.hpp"
#include "free_format.hpp"
#include "grid_table.hpp"
#include "input_error.hpp"
#include "side_by_side.hpp"

namespace hydro {

namespace {

// One series file: its size and header, and its values unless `streamed`
// (then each run reads them a tile at a time). The dates of p.txt
// (`calendar` given) are read either way: they set the day of the year (the
// season of the canopy) and the map periods a step belongs to.
void load_series_file(const std::string& path, int32_t n_stations, int32_t n_steps, const char* zone_grid,
                      bool streamed, StationSeries& series, StepCalendar* calendar) {
    FreeFormatReader f(path);
    size_series(f, series, n_stations, n_steps, streamed ? 0 : -1);
    read_series_header(f, series, zone_grid);
    if (streamed && !calendar) return;
    for (int32_t k = 0; k < n_steps; ++k) {
        if (calendar) {
            const RecordDate d = read_record_date(f, k);
            check_record_date(f, d, k);
            calendar->append(d.year, d.month, d.day, d.hour);
        } else {
            skip_record_date(f, k);
        }
        if (!streamed) read_station_values(f, series, k);
    }
}

void load_initial_soil_moisture(const ProjectPaths& paths, ModelInputs& in) {
    const Catchment& g = in.catchment;
    const std::size_t n = g.porosity.size();
    in.map_header = g.header;
    if (in.control.initial_moisture_ratio < 0.0f) {
        // Degrees of saturation; the file's header becomes the maps' header.
        FreeFormatReader f(paths.grid("moisture.asc"));
        keep_grid_header(f, in.map_header);
        in.initial_soil_moisture = read_real_grid_values(f, in.sizes.n_rows, in.sizes.n_cols);
        in.initial_saturation = in.initial_soil_moisture;
        for (std::size_t i = 0; i < n; ++i)
            if (g.porosity[i] > 0.0f) in.initial_soil_moisture[i] = in.initial_soil_moisture[i] * g.porosity[i];
    } else {
        in.initial_soil_moisture.assign(n, 0.0f);
        for (std::size_t i = 0; i < n; ++i)
            if (g.field_capacity[i] > 0.0f)
                in.initial_soil_moisture[i] = in.control.initial_moisture_ratio * g.field_capacity[i];
    }
}

std::string at_cell(const std::string& path, int32_t row, int32_t col) {
    return path + ", row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1);
}

// The shortest text that reads back as the same float.
std::string float_text(float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The grids as read, before anything is converted or indexed by them.
void check_catchment_values(const ProjectPaths& paths, const RunSizes& sz, Catchment& g) {
    for (int32_t r = 0; r < sz.n_rows; ++r) {
        for (int32_t c = 0; c < sz.n_cols; ++c) {
            const std::size_t i = g.index(r, c);
            // The subbasin count was taken from the file in a first pass; a
            // file changed since then must not reach beyond it.
            if (g.subbasin_id[i] > sz.n_subbasins)
                throw InputError(at_cell(paths.grid("watershed.asc"), r, c) +
                                 ": expected a subbasin number of at most " + std::to_string(sz.n_subbasins) +
                                 " (the largest when the grid was first read: was the file changed during the run?), "
                                 "found " +
                                 std::to_string(g.subbasin_id[i]));
            if (!is_valid_cell(g, i)) {
                // A cell of a subbasin that a negative value leaves out of the run.
                if (g.subbasin_id[i] > 0)
                    for (std::size_t k = 0; k < kParameterGridCount; ++k) {
                        const GridDescription& d = kGridTable[k];
                        const float v = (*real_grid(g, k))[i];
                        if (v < 0.0f)
                            throw InputError(at_cell(paths.grid(d.file), r, c) + ": expected a " + d.quantity +
                                             " of 0 or more (" + d.unit_on_disk + ") at a cell of subbasin " +
                                             std::to_string(g.subbasin_id[i]) + ", found " + float_text(v));
                    }
                continue;
            }
            for (std::size_t k = 0; k < kParameterGridCount; ++k) {
                const GridDescription& d = kGridTable[k];
                const float v = (*real_grid(g, k))[i];
                if (v < d.low || v > d.high)
                    throw InputError(at_cell(paths.grid(d.file), r, c) + ": expected a " + d.quantity + " of " +
                                     (d.high == kUnbounded ? std::string("0 or more") : std::string("0 to 1")) + " (" +
                                     d.unit_on_disk + ") at a simulated cell, found " + float_text(v));
            }
            // Where the soil is converted to storages, its contents must be ordered.
            if (g.subbasin_id[i] > 0 && g.root_depth[i] > 0.0f && g.runoff_coefficient[i] > 0.0f) {
                const float res = g.residual_moisture[i], wp = g.wilting_point[i], fc = g.field_capacity[i],
                            por = g.porosity[i];
                const char* broken = !(res < wp)    ? "residual.asc"
                                     : !(wp < fc)   ? "wiltingpoint.asc"
                                     : !(fc <= por) ? "fieldcap.asc"
                                                    : nullptr;
                if (broken)
                    throw InputError(at_cell(paths.grid(broken), r, c) +
                                     ": expected residual content < wilting point < field capacity <= porosity at a "
                                     "simulated cell, found " +
                                     float_text(res) + ", " + float_text(wp) + ", " + float_text(fc) + ", " +
                                     float_text(por) + " (residual.asc, wiltingpoint.asc, fieldcap.asc, porosity.asc)");
            }
        }
    }
}

// Every index the run takes from the data must be valid before the run starts.
void check_model_inputs(const ProjectPaths& paths, const ModelInputs& in) {
    const RunSizes& sz = in.sizes;
    const Catchment& g = in.catchment;
    int64_t valid_cells = 0;
    for (int32_t r = 0; r < sz.n_rows; ++r) {
        for (int32_t c = 0; c < sz.n_cols; ++c) {
            const std::size_t i = g.index(r, c);
            if (!is_valid_cell(g, i)) continue;
            ++valid_cells;
            struct Zone {
                const std::vector<int32_t>* grid;
                const char* file;
                int32_t count;
                const char* series;
            };
            const Zone zones[3] = {{&g.station_zone_p, "thiessen_p.asc", sz.n_stations_p, "p.txt"},
                                   {&g.station_zone_e, "thiessen_e.asc", sz.n_stations_e, "pet.txt"},
                                   {&g.station_zone_t, "thiessen_t.asc", sz.n_stations_t, "t.txt"}};
            for (int z = 0; z < (sz.temperature_used ? 3 : 2); ++z) {
                const int32_t st = (*zones[z].grid)[i];
                if (st < 1 || st > zones[z].count)
                    throw InputError(at_cell(paths.grid(zones[z].file), r, c) +
                                     ": expected a station number from 1 to " + std::to_string(zones[z].count) +
                                     " (the stations of " + zones[z].series + ") at a simulated cell, found " +
                                     std::to_string(st));
            }
            const int32_t sb = g.subbasin_id[i];
            if (sb < 1 || sb > sz.n_subbasins)
                throw InputError(at_cell(paths.grid("watershed.asc"), r, c) +
                                 ": expected a subbasin number from 1 to " + std::to_string(sz.n_subbasins) +
                                 " at a simulated cell, found " + std::to_string(sb));
            if (valid_cells > sz.n_cells)
                throw InputError(at_cell(paths.grid("watershed.asc"), r, c) + ": simulated cell " +
                                 std::to_string(valid_cells) + " has no response line: expected at most " +
                                 std::to_string(sz.n_cells) + " simulated cells (the lines of " +
                                 paths.output("uh_cell_h.txt") + "), found more");
        }
    }
    for (int32_t s = 0; s < sz.n_subbasins; ++s)
        if (g.subbasin_cell_count[static_cast<std::size_t>(s)] == 0)
            throw InputError(paths.grid("watershed.asc") + ": expected every subbasin from 1 to " +
                             std::to_string(sz.n_subbasins) +
                             " to own a cell with positive runoff coefficient and root depth, found none in subbasin " +
                             std::to_string(s + 1));
    if (in.control.groundwater_scale == 0.0f)
        throw InputError(paths.input("input.txt") +
                         ": expected a groundwater scale (value 6 of the parameter line) "
                         "other than 0 (it divides the groundwater evaporation), found 0");
}

// The control file and the catchment grids, checked and converted.
void load_control_and_catchment(const ProjectPaths& paths, const RunSizes& sizes, ModelInputs& in) {
    in.control = read_control_file(paths.input("input.txt"), sizes.n_subbasins);
    in.sizes.n_reported_subbasins = static_cast<int32_t>(in.control.reported_subbasins.size());
    // Whether temperature is used decided what the first pass sized.
    if (in.control.temperature_used() != sizes.temperature_used)
        throw InputError(paths.input("input.txt") +
                         ": expected the degree-day factor (value 8 of the parameter line) "
                         "to keep its sign during the run (was the file changed?), found " +
                         float_text(in.control.degree_day_factor));
    in.catchment_as_read = read_catchment_grids(paths, in.sizes);
    check_catchment_values(paths, in.sizes, in.catchment_as_read);
    in.catchment = in.catchment_as_read;
    convert_catchment(in.catchment, in.sizes, in.control.time_step_hours);
}

}  // namespace

ModelInputs load_model_inputs(const ProjectPaths& paths, const RunSizes& sizes, bool stream_series) {
    ModelInputs in;
    in.sizes = sizes;
    in.precipitation.quantity = SeriesQuantity::Precipitation;
    in.pet.quantity = SeriesQuantity::Evapotranspiration;
    in.temperature.quantity = SeriesQuantity::Temperature;
    in.series_streamed = stream_series;
    in.series_files = {paths.input("p.txt"), paths.input("pet.txt"),
                       sizes.temperature_used ? paths.input("t.txt") : ""};
    // In the order of the messages: the first that fails is the one reported.
    std::vector<std::function<void()>> parts = {
        [&] { load_control_and_catchment(paths, sizes, in); },
        [&] {
            in.cell_responses = ResponseTable::read(
                paths.output(sizes.run_mode == 1 ? "uh_cell_h.txt" : "uh_cell_s.txt"), sizes.n_cells, sizes.uh_length);
        },
        [&] {
            in.river_responses = ResponseTable::read(paths.output("uh_river.txt"), sizes.n_subbasins, sizes.uh_length);
        },
        [&] {
            load_series_file(in.series_files[0], sizes.n_stations_p, sizes.n_steps, "thiessen_p.asc", stream_series,
                             in.precipitation, &in.calendar);
        },
        [&] {
            load_series_file(in.series_files[1], sizes.n_stations_e, sizes.n_steps, "thiessen_e.asc", stream_series,
                             in.pet, nullptr);
        }};
    if (sizes.temperature_used)
        parts.push_back([&] {
            load_series_file(in.series_files[2], sizes.n_stations_t, sizes.n_steps, "thiessen_t.asc", stream_series,
                             in.temperature, nullptr);
        });
    run_side_by_side(parts);
    load_initial_soil_moisture(paths, in);
    check_model_inputs(paths, in);
    return in;
}

}  // namespace hydro
