#include "project_writer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "csv_lines.hpp"
#include "free_format.hpp"
#include "input_error.hpp"
#include "text_output.hpp"

namespace gridprep {

namespace fs = std::filesystem;

std::string plain_decimal(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

ControlSettings default_control(double time_step_hours) {
    ControlSettings c;
    c.time_step_hours = time_step_hours;
    c.groundwater_recession = 1.0 - std::pow(0.98, time_step_hours / 24.0);
    c.runoff_rain_threshold = std::max(2.0, 20.0 * time_step_hours / 24.0);
    return c;
}

namespace {

std::string date_fields(const DateHour& d) {
    return std::to_string(d.year) + " " + std::to_string(d.month) + " " + std::to_string(d.day) + " " +
           std::to_string(d.hour);
}

}  // namespace

std::string control_text(const ControlSettings& c) {
    std::string t;
    t += "Time_step_hours      | " + c.origin + "\n";
    t += plain_decimal(c.time_step_hours, 6) + "                    | hours per time step\n";
    t += "Parameters           | interflow_scale, groundwater_recession (per step), initial_moisture_ratio "
         "(of field capacity; below 0: read moisture.asc), pet_factor, initial_groundwater (mm), "
         "groundwater_scale (mm), melt_base_temperature, degree_day_factor (mm per degree and day, a whole "
         "number; -1: no temperature, no snow), rain_melt_factor, runoff_exponent, runoff_rain_threshold (mm per "
         "step)\n";
    t += plain_decimal(c.interflow_scale, 6) + " " + plain_decimal(c.groundwater_recession, 8) + " " +
         plain_decimal(c.initial_moisture_ratio, 6) + " " + plain_decimal(c.pet_factor, 6) + " " +
         plain_decimal(c.initial_groundwater, 6) + " " + plain_decimal(c.groundwater_scale, 6) + " " +
         plain_decimal(c.melt_base_temperature, 6) + " " + std::to_string(c.degree_day_factor) + " " +
         plain_decimal(c.rain_melt_factor, 6) + " " + plain_decimal(c.runoff_exponent, 6) + " " +
         plain_decimal(c.runoff_rain_threshold, 6) + "   | the eleven parameters, in the order above\n";
    t += "Reported_subbasins " + std::to_string(c.reported_subbasins.size()) +
         "   | subbasins with their own column in q_sub.txt (run mode 2), listed on the next line\n";
    if (!c.reported_subbasins.empty()) {
        std::string list;
        for (int32_t s : c.reported_subbasins) list += (list.empty() ? "" : " ") + std::to_string(s);
        t += list + "\n";
    }
    const char* const blocks[5] = {"Runoff_maps", "Interflow_maps", "Recharge_maps", "Moisture_maps",
                                   "Evaporation_maps"};
    for (const char* b : blocks) {
        t += std::string(b) + "   | map periods: start year month day hour, end year month day hour\n";
        if (c.have_period) {
            t += "1   | number of periods\n";
            t += date_fields(c.period_start) + " " + date_fields(c.period_end) + "   | the whole series\n";
        } else {
            t += "0   | number of periods\n";
        }
    }
    return t;
}

namespace {

std::string header_text(const Geometry& g) {
    std::string t;
    t += "ncols         " + std::to_string(g.n_cols) + "\n";
    t += "nrows         " + std::to_string(g.n_rows) + "\n";
    t += "xllcorner     " + plain_decimal(g.xll, 4) + "\n";
    t += "yllcorner     " + plain_decimal(g.yll, 4) + "\n";
    t += "cellsize      " + plain_decimal(g.cell_size, 0) + "\n";
    t += "NODATA_value  " + std::to_string(kNoData) + "\n";
    return t;
}

template <typename Cell>
std::string grid_text(const Geometry& g, const std::vector<uint8_t>& inside, Cell cell) {
    std::string t = header_text(g);
    t.reserve(t.size() + g.cells() * 8);
    const std::string nodata = std::to_string(kNoData);
    for (int32_t r = 0; r < g.n_rows; ++r) {
        for (int32_t c = 0; c < g.n_cols; ++c) {
            if (c > 0) t += ' ';
            const std::size_t i = g.index(r, c);
            t += inside[i] ? cell(i) : nodata;
        }
        t += '\n';
    }
    return t;
}

}  // namespace

std::string int_grid_text(const Geometry& g, const std::vector<uint8_t>& inside, const std::vector<int32_t>& v) {
    return grid_text(g, inside, [&](std::size_t i) { return std::to_string(v[i]); });
}

std::string real_grid_text(const Geometry& g, const std::vector<uint8_t>& inside, const std::vector<double>& v,
                           int decimals) {
    return grid_text(g, inside, [&](std::size_t i) { return plain_decimal(v[i], decimals); });
}

void write_project(const std::string& root, const ProjectFiles& files) {
    const fs::path base(root);
    const fs::path ascii = base / "arcview" / "ascii", input = base / "model" / "input",
                   output = base / "model" / "output", here = base / "run" / "here";
    for (const fs::path& dir : {ascii, input, output, here}) {
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec || !fs::is_directory(dir)) throw hydro::OutputError("cannot create the folder " + dir.string());
    }
    const ProjectGrids& g = files.grids;
    const Geometry& geo = g.geometry;
    auto grid = [&](const char* name, const std::string& text) { hydro::write_text_file((ascii / name).string(), text); };
    auto real = [&](const char* name, const std::vector<double>& v, int decimals) {
        grid(name, real_grid_text(geo, g.inside, v, decimals));
    };
    grid("watershed.asc", int_grid_text(geo, g.inside, g.subbasin));
    grid("thiessen_p.asc", int_grid_text(geo, g.inside, g.thiessen_p));
    grid("thiessen_e.asc", int_grid_text(geo, g.inside, g.thiessen_e));
    grid("thiessen_t.asc", int_grid_text(geo, g.inside, g.thiessen_t));
    real("runoff_co.asc", g.runoff_coefficient, 6);
    real("fieldcap.asc", g.field_capacity, 6);
    real("porosity.asc", g.porosity, 6);
    real("conductivity.asc", g.conductivity, 6);
    real("poreindex.asc", g.pore_index, 6);
    real("depression.asc", g.depression_capacity, 6);
    real("interc_max.asc", g.interception_max, 6);
    real("interc_min.asc", g.interception_min, 6);
    real("residual.asc", g.residual_moisture, 6);
    real("rootdepth.asc", g.root_depth, 6);
    real("slope.asc", g.slope_percent, 4);
    real("wiltingpoint.asc", g.wilting_point, 6);
    real("elevation.asc", g.elevation, 3);
    // The DEM's coordinate system, for GIS programs and the model's maps; an
    // earlier project's file goes when the DEM has none.
    const fs::path prj = ascii / "watershed.prj";
    if (!files.coordinate_system.empty()) {
        std::string text = files.coordinate_system;
        if (text.back() != '\n') text += '\n';
        hydro::write_text_file(prj.string(), text);
    } else {
        std::error_code ec;
        if (fs::is_symlink(prj, ec) || fs::exists(prj, ec)) fs::remove(prj, ec);
    }

    hydro::write_text_file((input / "input.txt").string(), control_text(files.control));
    for (const auto& [name, contents] : files.series) hydro::write_text_file((input / name).string(), contents);

    auto lines = [](const std::vector<std::string>& v) {
        std::string t;
        for (const std::string& l : v) t += l;
        return t;
    };
    hydro::write_text_file((output / "uh_cell_h.txt").string(), lines(files.uh_cell_h));
    hydro::write_text_file((output / "uh_cell_s.txt").string(), lines(files.uh_cell_s));
    hydro::write_text_file((output / "uh_river.txt").string(), lines(files.uh_river));
}

}  // namespace gridprep
