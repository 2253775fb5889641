#include "project_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>
#include <cstdio>

#include "cell_loop.hpp"
#include "csv_lines.hpp"
#include "free_format.hpp"
#include "input_error.hpp"

namespace gridprep {

std::string plain_decimal(double v, int decimals) {
    char buf[400];
    std::size_t len = plain_decimal_chars(buf, v, decimals);
    return std::string(buf, len);
}

std::size_t plain_decimal_chars(char* buf, double v, int decimals) {
    // Fixed notation rounded exactly as printf's "%.*f" does.
    const auto res = std::to_chars(buf, buf + 380, v, std::chars_format::fixed, decimals);
    std::size_t len = res.ec == std::errc() ? static_cast<std::size_t>(res.ptr - buf)
                                            : static_cast<std::size_t>(std::snprintf(buf, 380, "%.6g", v));
    if (decimals > 0 && std::memchr(buf, '.', len)) {
        while (buf[len - 1] == '0') --len;
        if (buf[len - 1] == '.') --len;
    }
    if (len == 2 && buf[0] == '-' && buf[1] == '0') buf[0] = '0', len = 1;
    return len;
}

ControlSettings default_control(double time_step_hours) {
    ControlSettings c;
    c.time_step_hours = time_step_hours;
    c.value(hydro::control_parameter("groundwater_recession")) = 1.0 - std::pow(0.98, time_step_hours / 24.0);
    c.value(hydro::control_parameter("runoff_rain_threshold")) = std::max(2.0, 20.0 * time_step_hours / 24.0);
    return c;
}

namespace {

std::string date_fields(const DateHour& d) {
    return std::to_string(d.year) + " " + std::to_string(d.month) + " " + std::to_string(d.day) + " " +
           std::to_string(d.hour);
}

constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};

std::string snow_mm_text(int32_t month) { return plain_decimal(hydro::initial_snow_storage(month), 3) + " mm"; }

}  // namespace

std::string starting_snow_text(const ControlSettings& c) {
    const int32_t month = c.period_start.month;
    if (c.have_period && month >= 1 && month <= 12) {
        const std::string when = " (the first step is in " + std::string(kMonthNames[month - 1]) + ")";
        return hydro::initial_snow_storage(month) > 0.0f ? snow_mm_text(month) + " on every cell" + when
                                                         : "none" + when;
    }
    std::string rule;
    for (int32_t m = 1; m <= 12; ++m)
        if (hydro::initial_snow_storage(m) > 0.0f)
            rule += std::string(kMonthNames[m - 1]) + " " + snow_mm_text(m) + ", ";
    return "by the month of the first step: " + rule + "none in other months";
}

std::string control_text(const ControlSettings& c) {
    std::string t;
    t += "Time_step_hours      | " + c.origin + "\n";
    t += plain_decimal(c.time_step_hours, 6) +
         "                    | hours per time step; snow at the start: " + starting_snow_text(c) + "\n";
    std::string names, values;
    for (const hydro::ControlParameter& p : hydro::kControlParameters) {
        const double v = c.parameters[static_cast<std::size_t>(p.position - 1)];
        names += (names.empty() ? "" : ", ") + std::string(p.name) +
                 (p.note.empty() ? "" : " (" + std::string(p.note) + ")");
        values += (values.empty() ? "" : " ") +
                  (p.whole_number ? std::to_string(static_cast<int64_t>(v)) : plain_decimal(v, p.decimals));
    }
    t += "Parameters           | " + names + "\n";
    t += values + "   | the eleven parameters, in the order above\n";
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

std::string grid_header_text(const Geometry& g) {
    std::string t;
    t += "ncols         " + std::to_string(g.n_cols) + "\n";
    t += "nrows         " + std::to_string(g.n_rows) + "\n";
    t += "xllcorner     " + plain_decimal(g.xll, 4) + "\n";
    t += "yllcorner     " + plain_decimal(g.yll, 4) + "\n";
    t += "cellsize      " + plain_decimal(g.cell_size, 0) + "\n";
    t += "NODATA_value  " + std::to_string(kNoData) + "\n";
    return t;
}

std::size_t DecimalCells::operator()(double v, char* buf) {
    if (!have_ || !(v == last_)) {
        length_ = plain_decimal_chars(text_, v, decimals_);
        last_ = v;
        have_ = true;
    }
    std::memcpy(buf, text_, length_);
    return length_;
}

std::size_t whole_chars(char* buf, int64_t v) {
    return static_cast<std::size_t>(std::to_chars(buf, buf + 24, v).ptr - buf);
}

std::string int_grid_text(const Geometry& g, const std::vector<uint8_t>& inside, const std::vector<int32_t>& v) {
    return grid_text_of(
        g, [&](std::size_t k) { return inside[k] != 0; },
        [&](std::size_t k, char* buf) { return whole_chars(buf, v[k]); });
}

std::string real_grid_text(const Geometry& g, const std::vector<uint8_t>& inside, const std::vector<double>& v,
                           int decimals) {
    DecimalCells text(decimals);
    return grid_text_of(
        g, [&](std::size_t k) { return inside[k] != 0; }, [&](std::size_t k, char* buf) { return text(v[k], buf); });
}

}  // namespace gridprep
