// Writes a project: the grids, the control file, the response files and
// the station series, in the folder layout the model and its preprocessor
// read from (ROOT/arcview/ascii, ROOT/model/input, ROOT/model/output, and
// the working folder ROOT/run/here).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dem_grid.hpp"

namespace gridprep {

// The no-data value of every written grid.
inline constexpr int32_t kNoData = -9999;

// A date and hour of a series record.
struct DateHour {
    int32_t year = 0, month = 0, day = 0, hour = 0;
};

// The run's scalar parameters (the fourth record of the control file) and
// the rest of the control file.
struct ControlSettings {
    double time_step_hours = 24.0;
    double interflow_scale = 1.0;
    double groundwater_recession = 0.02;
    double initial_moisture_ratio = 0.8;
    double pet_factor = 1.0;
    double initial_groundwater = 50.0;
    double groundwater_scale = 1000.0;
    double melt_base_temperature = 0.0;
    int32_t degree_day_factor = 3;
    double rain_melt_factor = 0.0125;
    double runoff_exponent = 2.0;
    double runoff_rain_threshold = 20.0;
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
