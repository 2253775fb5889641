// A small synthetic project on disk: the grids, the control file, the station
// series and the response files of a basin of a few cells. `tiny_project`
// gives a description that runs as it is; a test changes the description (or
// the files after `write_project`) to make the case it needs.
//
// Layout written under the project root:
//   arcview/ascii/*.asc                          the grids
//   model/input/input.txt, p.txt, pet.txt, t.txt the control file and series
//   model/output/uh_cell_h.txt, uh_cell_s.txt, uh_river.txt
//   run/here/                                    where the programs start
#pragma once

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "control_parameters.hpp"
#include "test_support.hpp"

namespace project_builder {

namespace fs = std::filesystem;

inline constexpr double kNoData = -9999;

// The control file: time step, the eleven parameters, reported subbasins and
// the map periods.
struct Control : hydro::ControlParameters {
    // A test basin's values, in the order of the parameter line: no snow (a negative degree-day factor, no
    // temperature input), full soils at the start, empty groundwater stores.
    Control() {
        const float values[hydro::kControlParameterCount] = {1, 0.01f, 1, 1, 0, 1000, 0, -1, 0, 1, 10};
        for (std::size_t i = 0; i < hydro::kControlParameterCount; ++i)
            this->*hydro::kControlParameters[i].field = values[i];
    }
    double time_step_hours = 24;
    std::vector<int> reported_subbasins;
    // Period lines "y m d h  y m d h" of the maps: runoff, interflow,
    // recharge, moisture, evaporation.
    std::array<std::vector<std::string>, 5> periods;
};

struct StepDate {
    int year, month, day, hour;
};

// `n` dates from `start`, `hours` apart (Gregorian calendar).
inline std::vector<StepDate> dates_from(StepDate start, int n, int hours) {
    auto month_days = [](int y, int m) {
        static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        return m == 2 && leap ? 29 : days[m - 1];
    };
    std::vector<StepDate> out;
    StepDate d = start;
    for (int i = 0; i < n; ++i) {
        out.push_back(d);
        d.hour += hours;
        while (d.hour >= 24) {
            d.hour -= 24;
            if (++d.day > month_days(d.year, d.month)) {
                d.day = 1;
                if (++d.month > 12) d.month = 1, ++d.year;
            }
        }
    }
    return out;
}

// The grid files of a project and what a basin cell holds by default (the
// file's own units: fractions, per hour, percent).
struct GridDefault {
    const char* file;
    double value;
    bool integer;
};
inline constexpr GridDefault kGrids[] = {
    {"runoff_co.asc", 0.5, false},  {"fieldcap.asc", 0.3, false}, {"porosity.asc", 0.45, false},
    {"conductivity.asc", 1, false}, {"poreindex.asc", 3, false},  {"depression.asc", 5, false},
    {"interc_max.asc", 2, false},   {"interc_min.asc", 2, false}, {"residual.asc", 0.05, false},
    {"rootdepth.asc", 1, false},    {"slope.asc", 10, false},     {"wiltingpoint.asc", 0.1, false},
    {"thiessen_p.asc", 1, true},    {"thiessen_e.asc", 1, true},  {"watershed.asc", 1, true},
    {"elevation.asc", 100, false},  {"thiessen_t.asc", 1, true},
};

struct Project {
    int n_rows = 1, n_cols = 1, cell_size = 1000;
    // Every grid by file name, row-major from the top row.
    std::map<std::string, std::vector<double>> grids;
    std::optional<std::vector<double>> initial_moisture;  // moisture.asc (degrees of saturation)
    Control control;
    std::vector<StepDate> dates;
    // Station series, [step][station]: p.txt, pet.txt and (when not empty) t.txt.
    std::vector<std::vector<double>> precipitation, pet, temperature;
    // Response lines "first last ordinates...", one per cell or subbasin.
    std::vector<std::string> uh_cell_h, uh_cell_s, uh_river;

    std::vector<double>& grid(const std::string& file) { return grids.at(file); }
    void set_cell(const std::string& file, int row, int col, double value) {
        grids.at(file).at(static_cast<std::size_t>(row * n_cols + col)) = value;
    }
    // Sets `file` to `value` at every basin cell (positive subbasin number).
    void set_basin_value(const std::string& file, double value) {
        const std::vector<double>& ws = grids.at("watershed.asc");
        std::vector<double>& g = grids.at(file);
        for (std::size_t i = 0; i < g.size(); ++i)
            if (ws[i] > 0) g[i] = value;
    }
};

// A project over the subbasin grid `watershed` (row-major, `n_cols` wide;
// negative: outside the basin) with `n_steps` daily steps from 1 June 2001,
// one station per variable with no rain and no evaporation, and a response
// of one ordinate at lag 0 for every cell and subbasin.
inline Project tiny_project(const std::vector<int>& watershed, int n_cols, int n_steps) {
    Project p;
    p.n_cols = n_cols;
    p.n_rows = static_cast<int>(watershed.size()) / n_cols;
    int n_cells = 0, n_subbasins = 0;
    for (int id : watershed) {
        n_cells += id > 0;
        n_subbasins = std::max(n_subbasins, id);
    }
    for (const GridDefault& g : kGrids) {
        std::vector<double> values(watershed.size(), kNoData);
        for (std::size_t i = 0; i < watershed.size(); ++i)
            if (watershed[i] > 0) values[i] = g.value;
        p.grids[g.file] = values;
    }
    for (std::size_t i = 0; i < watershed.size(); ++i) p.grids["watershed.asc"][i] = watershed[i];
    p.dates = dates_from({2001, 6, 1, 0}, n_steps, 24);
    p.precipitation.assign(static_cast<std::size_t>(n_steps), {0.0});
    p.pet.assign(static_cast<std::size_t>(n_steps), {0.0});
    p.uh_cell_h.assign(static_cast<std::size_t>(n_cells), "0 0 1");
    p.uh_cell_s.assign(static_cast<std::size_t>(n_cells), "0 0 1");
    p.uh_river.assign(static_cast<std::size_t>(n_subbasins), "0 0 1");
    return p;
}

inline std::string number_text(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

inline bool is_integer_grid(const std::string& file) {
    for (const GridDefault& g : kGrids)
        if (file == g.file) return g.integer;
    return false;
}

inline std::string grid_text(const Project& p, const std::vector<double>& values, bool integer) {
    std::string s = "ncols " + std::to_string(p.n_cols) + "\nnrows " + std::to_string(p.n_rows) +
                    "\nxllcorner 500000.0\nyllcorner 4000000.0\ncellsize " + std::to_string(p.cell_size) +
                    "\nNODATA_value -9999\n";
    for (int r = 0; r < p.n_rows; ++r) {
        for (int c = 0; c < p.n_cols; ++c) {
            const double v = values.at(static_cast<std::size_t>(r * p.n_cols + c));
            s += (c ? " " : "") + (integer ? std::to_string(static_cast<long long>(v)) : number_text(v));
        }
        s += '\n';
    }
    return s;
}

inline std::string control_text(const Control& c) {
    std::string s = "Time_step_(hours)\n" + number_text(c.time_step_hours) + "\nPARAMETER_SET\n";
    for (const hydro::ControlParameter& p : hydro::kControlParameters)
        s += (p.position > 1 ? " " : "") + number_text(c.*p.field);
    s += "\nn_output_subbasins " + std::to_string(c.reported_subbasins.size()) + "\n";
    if (!c.reported_subbasins.empty()) {
        for (std::size_t i = 0; i < c.reported_subbasins.size(); ++i)
            s += (i ? " " : "") + std::to_string(c.reported_subbasins[i]);
        s += '\n';
    }
    static const char* const titles[5] = {"Runoff_maps", "Interflow_maps", "Recharge_maps", "Moisture_maps",
                                          "Evaporation_maps"};
    for (int k = 0; k < 5; ++k) {
        s += std::string(titles[k]) + "\n" + std::to_string(c.periods[k].size()) + "\n";
        for (const std::string& line : c.periods[k]) s += line + "\n";
    }
    return s;
}

inline std::string series_text(const std::vector<StepDate>& dates, const std::vector<std::vector<double>>& values) {
    if (dates.size() != values.size()) throw std::logic_error("a series needs one record per date");
    std::string s = "year month day hour";
    for (std::size_t j = 0; j < (values.empty() ? 0 : values[0].size()); ++j) s += " 100";
    s += '\n';
    for (std::size_t t = 0; t < dates.size(); ++t) {
        const StepDate& d = dates[t];
        s += std::to_string(d.year) + " " + std::to_string(d.month) + " " + std::to_string(d.day) + " " +
             std::to_string(d.hour);
        for (double v : values[t]) s += " " + number_text(v);
        s += '\n';
    }
    return s;
}

inline std::string lines_text(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

// Writes the project under `root` and returns the folder to start the
// programs in.
inline fs::path write_project(const Project& p, const fs::path& root) {
    using testing_support::write_file;
    const fs::path grids = root / "arcview" / "ascii", input = root / "model" / "input",
                   output = root / "model" / "output";
    for (const auto& [file, values] : p.grids) write_file(grids / file, grid_text(p, values, is_integer_grid(file)));
    if (p.initial_moisture) write_file(grids / "moisture.asc", grid_text(p, *p.initial_moisture, false));
    write_file(input / "input.txt", control_text(p.control));
    write_file(input / "p.txt", series_text(p.dates, p.precipitation));
    write_file(input / "pet.txt", series_text(p.dates, p.pet));
    if (!p.temperature.empty()) write_file(input / "t.txt", series_text(p.dates, p.temperature));
    write_file(output / "uh_cell_h.txt", lines_text(p.uh_cell_h));
    write_file(output / "uh_cell_s.txt", lines_text(p.uh_cell_s));
    write_file(output / "uh_river.txt", lines_text(p.uh_river));
    return testing_support::run_dir(root);
}

// Runs gridrun in the project's working folder, answering the menu.
inline testing_support::RunResult run_gridrun(const fs::path& root, const std::string& menu_answer) {
    return testing_support::run_program(GRIDRUN_EXE, {}, testing_support::run_dir(root), menu_answer + "\n");
}

// Every file of the output folder but the response files, with its contents.
inline std::map<std::string, std::string> result_files(const fs::path& root) {
    std::map<std::string, std::string> out;
    const fs::path dir = root / "model" / "output";
    for (const std::string& name : testing_support::file_names(dir))
        if (name.rfind("uh_", 0) != 0) out[name] = testing_support::read_file(dir / name);
    return out;
}

// Two subbasins of 3 x 4 cells, 60 daily steps from 20 January: snow until
// step 15, rain on three days of every seven, responses of several lags to
// the outlets and along the river, one cell of higher conductivity.
inline Project snowy_basin() {
    Project p = tiny_project({1, 1, 1, 2, 1, 1, 2, 2, 1, 2, 2, 2}, 4, 60);
    p.dates = dates_from({2003, 1, 20, 0}, 60, 24);
    p.control.degree_day_factor = 2;
    p.control.rain_melt_factor = 0.1f;
    p.control.runoff_exponent = 2;
    p.control.initial_groundwater = 20;
    p.control.reported_subbasins = {2, 1};
    p.temperature.resize(60);
    for (int t = 0; t < 60; ++t) {
        p.precipitation[t] = {t % 7 < 3 ? 4.0 + t % 5 : 0.0};
        p.pet[t] = {0.5 + 0.05 * (t % 10)};
        p.temperature[t] = {t < 15 ? -3.0 + t % 4 : 2.0 + 0.2 * t};
    }
    for (std::size_t c = 0; c < p.uh_cell_h.size(); ++c) {
        p.uh_cell_h[c] = c % 2 ? "0 3 0.4 0.3 0.2 0.1" : "1 2 0.6 0.4";
        p.uh_cell_s[c] = c % 3 ? "0 1 0.7 0.3" : "0 2 0.2 0.5 0.3";
    }
    p.uh_river = {"1 3 0.5 0.3 0.2", "0 1 0.8 0.2"};
    p.set_cell("conductivity.asc", 1, 1, 4.5);
    return p;
}

}  // namespace project_builder
