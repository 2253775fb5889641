// Writes a project: the grids, the control file, the response files and
// the station series, in the folder layout the model and its preprocessor
// read from (ROOT/arcview/ascii, ROOT/model/input, ROOT/model/output, and
// the working folder ROOT/run/here).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "control_parameters.hpp"
#include "dem_grid.hpp"

namespace gridprep {

// The no-data value of every written grid.
inline constexpr int32_t kNoData = -9999;

// A date and hour of a series record.
struct DateHour {
    int32_t year = 0, month = 0, day = 0, hour = 0;
};

// The values of a new project (daily steps).
constexpr std::array<double, hydro::kControlParameterCount> new_project_parameters() {
    std::array<double, hydro::kControlParameterCount> v{};
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = hydro::kControlParameters[i].new_project;
    return v;
}

// The run's scalar parameters (the fourth record of the control file) and
// the rest of the control file.
struct ControlSettings {
    double time_step_hours = 24.0;
    // The eleven parameters in the order of the parameter line (hydro::kControlParameters).
    std::array<double, hydro::kControlParameterCount> parameters = new_project_parameters();
    double& value(const hydro::ControlParameter& p) { return parameters[static_cast<std::size_t>(p.position - 1)]; }
    std::vector<int32_t> reported_subbasins;
    // One map period per kind over the whole series, when the series is known.
    bool have_period = false;
    DateHour period_start, period_end;
    std::string origin;  // one line saying what the project was made from
};

// Sound defaults for a time step: the groundwater store loses 2 % a day,
//     recession per step = 1 - 0.98^(hours / 24),
// and the rain from which the runoff exponent is 1 is 20 mm a day,
// scaled to the step and kept at 2 mm or more.
ControlSettings default_control(double time_step_hours);

// The snow pack every cell starts with, by the month of the run's first
// step (the first date of the series): "35 mm on every cell (the first step
// is in January)"; without series, the model's rule by month.
std::string starting_snow_text(const ControlSettings& c);

// The control file, commented: every comment stands after the values a
// read takes from its line, or on a title line.
std::string control_text(const ControlSettings& c);

// ESRI ASCII header of a grid as the model reads it.
std::string grid_header_text(const Geometry& g);

// The text of a grid whose cell k is inside(k) and then written by
// cell(k, buf) into buf (room for 400 characters; returns the length);
// cells outside hold kNoData.
template <typename Inside, typename Cell>
std::string grid_text_of(const Geometry& g, Inside&& inside, Cell&& cell) {
    std::string t = grid_header_text(g);
    t.reserve(t.size() + g.cells() * 8);
    static constexpr char kNoDataText[] = "-9999";
    char buf[400];
    for (int32_t r = 0; r < g.n_rows; ++r) {
        for (int32_t c = 0; c < g.n_cols; ++c) {
            if (c > 0) t += ' ';
            const std::size_t k = g.index(r, c);
            if (inside(k))
                t.append(buf, cell(k, buf));
            else
                t.append(kNoDataText, sizeof kNoDataText - 1);
        }
        t += '\n';
    }
    return t;
}

// Writes a real number as plain_decimal does; a value equal to the one
// before reuses its text (parameter grids repeat a few values).
class DecimalCells {
  public:
    explicit DecimalCells(int decimals) : decimals_(decimals) {}
    std::size_t operator()(double v, char* buf);

  private:
    int decimals_;
    bool have_ = false;
    double last_ = 0.0;
    char text_[400];
    std::size_t length_ = 0;
};

// A whole number into buf; returns the length.
std::size_t whole_chars(char* buf, int64_t v);

// An integer or real grid as ESRI ASCII text; cells outside the basin hold
// kNoData. Reals are written in plain decimals (at most `decimals` places,
// trailing zeros dropped).
std::string int_grid_text(const Geometry& g, const std::vector<uint8_t>& inside, const std::vector<int32_t>& v);
std::string real_grid_text(const Geometry& g, const std::vector<uint8_t>& inside, const std::vector<double>& v,
                           int decimals);

// A number in plain decimal notation with at most `decimals` places.
std::string plain_decimal(double v, int decimals);
// The same into buf (room for 400 characters); returns the length.
std::size_t plain_decimal_chars(char* buf, double v, int decimals);

}  // namespace gridprep
