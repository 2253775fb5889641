#include "thiessen_grid.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

#include "csv_lines.hpp"
#include "free_format.hpp"
#include "input_error.hpp"

namespace gridprep {

namespace {

bool variable_from(std::string name, Variable& v) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "p" || name == "precipitation" || name == "rain")
        v = Variable::precipitation;
    else if (name == "e" || name == "pet" || name == "evapotranspiration")
        v = Variable::evapotranspiration;
    else if (name == "t" || name == "temperature")
        v = Variable::temperature;
    else
        return false;
    return true;
}

const char* variable_name(Variable v) {
    switch (v) {
        case Variable::precipitation:
            return "p";
        case Variable::evapotranspiration:
            return "e";
        default:
            return "t";
    }
}

}  // namespace

std::vector<Station> parse_station_file(const std::string& name, const std::string& contents) {
    std::vector<Station> stations;
    bool first_record = true;
    for (const CsvLine& line : split_csv_lines(contents)) {
        const bool titles = first_record;
        first_record = false;
        int32_t number = 0;
        if (titles && line.fields.size() >= 2 && !hydro::parse_int32(line.fields[1], number)) continue;
        if (line.fields.size() < 4)
            throw hydro::InputError(name, line.number, "four fields: variable, station number, x, y",
                                    std::to_string(line.fields.size()) + " field(s)");
        Station s;
        if (!variable_from(line.fields[0], s.variable))
            throw hydro::InputError(name, line.number, "a variable p, e or t (precipitation, pet, temperature)",
                                    hydro::quote_token(line.fields[0]));
        if (!hydro::parse_int32(line.fields[1], s.number) || s.number < 1)
            throw hydro::InputError(name, line.number, "a station number of 1 or more (its column in the series file)",
                                    hydro::quote_token(line.fields[1]));
        if (!parse_number(line.fields[2], s.x))
            throw hydro::InputError(name, line.number, "the x coordinate of the station",
                                    hydro::quote_token(line.fields[2]));
        if (!parse_number(line.fields[3], s.y))
            throw hydro::InputError(name, line.number, "the y coordinate of the station",
                                    hydro::quote_token(line.fields[3]));
        s.line = line.number;
        for (const Station& o : stations)
            if (o.variable == s.variable && o.number == s.number)
                throw hydro::InputError(
                    name, line.number,
                    std::string("a station number not yet used for variable ") + variable_name(s.variable),
                    "station " + std::to_string(s.number) + " again");
        stations.push_back(s);
    }
    return stations;
}

std::vector<Station> read_station_file(const std::string& path) {
    return parse_station_file(path, load_text_file(path, "station file"));
}

void require_stations_near(const std::vector<Station>& stations, const Geometry& dem, const std::string& path) {
    const double margin = kStationReachCells * dem.cell_size;
    const double x0 = dem.xll - margin, x1 = dem.xll + dem.n_cols * dem.cell_size + margin;
    const double y0 = dem.yll - margin, y1 = dem.yll + dem.n_rows * dem.cell_size + margin;
    auto text = [](double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, std::fabs(v) < 1e12 ? "%.3f" : "%.6g", v);
        std::string t = buf;
        if (t.find('.') != std::string::npos && t.find('e') == std::string::npos) {
            while (t.back() == '0') t.pop_back();
            if (t.back() == '.') t.pop_back();
        }
        return t;
    };
    for (const Station& s : stations)
        if (!(s.x >= x0 && s.x <= x1 && s.y >= y0 && s.y <= y1))
            throw hydro::InputError(path, s.line,
                                    "a station within " + text(kStationReachCells) + " cells of the DEM (x " +
                                        text(x0) + " to " + text(x1) + ", y " + text(y0) + " to " + text(y1) +
                                        "; the same coordinate system as the DEM)",
                                    "x " + text(s.x) + ", y " + text(s.y));
}

std::vector<Station> stations_of(const std::vector<Station>& all, Variable v) {
    std::vector<Station> out;
    for (const Station& s : all)
        if (s.variable == v) out.push_back(s);
    std::sort(out.begin(), out.end(), [](const Station& a, const Station& b) { return a.number < b.number; });
    return out;
}

std::vector<int32_t> thiessen_grid(const Geometry& g, const std::vector<uint8_t>& mask,
                                   const std::vector<Station>& stations) {
    std::vector<Station> sorted = stations;
    std::sort(sorted.begin(), sorted.end(), [](const Station& a, const Station& b) { return a.number < b.number; });
    std::vector<int32_t> zone(g.cells(), 0);
    for (int32_t row = 0; row < g.n_rows; ++row) {
        const double y = g.y_of(row);
        for (int32_t col = 0; col < g.n_cols; ++col) {
            const std::size_t i = g.index(row, col);
            if (!mask[i]) continue;
            const double x = g.x_of(col);
            double best = std::numeric_limits<double>::infinity();
            for (const Station& s : sorted) {
                const double d2 = (x - s.x) * (x - s.x) + (y - s.y) * (y - s.y);
                if (d2 < best) best = d2, zone[i] = s.number;
            }
        }
    }
    return zone;
}

}  // namespace gridprep
