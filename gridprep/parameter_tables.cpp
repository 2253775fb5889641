#include "parameter_tables.hpp"

#include <cstdio>
#include <cstdlib>

#include "csv_lines.hpp"
#include "free_format.hpp"
#include "input_error.hpp"

namespace gridprep {

namespace {

using hydro::InputError;

struct Problem {
    std::string expected;
    std::string found;
};

std::string num(double v) {
    std::string s = std::to_string(v);
    while (s.size() > 1 && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

// The grids carry six decimals: a value is checked as the model will read it
// (0.1000001 and 0.1 are both 0.1 there).
double as_written(double v) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return std::strtod(buf, nullptr);
}

// Upper bounds beyond any soil or surface, which keep every value a short
// number in the grids.
constexpr double kMaxConductivity = 1e5;  // mm/h, coarse gravel is about 1e4
constexpr double kMaxPoreIndex = 1000.0;
constexpr double kMaxRootDepth = 100.0;  // m
constexpr double kMaxStorage = 1000.0;   // mm, interception and depressions
constexpr double kMaxManning = 1.0;

struct Column {
    const char* name;
    double* target;
};

// Reads the class tables: titles line optional, then "class, v1 .. v6".
template <typename Row, typename Bind, typename Check>
std::vector<Row> parse_table(const std::string& name, const std::string& contents, const char* layout, Bind bind,
                             Check check) {
    std::vector<Row> rows;
    bool first = true;
    for (const CsvLine& line : split_csv_lines(contents)) {
        Row row;
        const bool may_be_titles = first;
        first = false;
        if (line.fields.empty()) continue;
        if (!hydro::parse_int32(line.fields[0], row.id)) {
            if (may_be_titles) continue;
            throw InputError(name, line.number, "a class number (a whole number)", hydro::quote_token(line.fields[0]));
        }
        std::vector<Column> columns = bind(row);
        if (line.fields.size() < columns.size() + 1)
            throw InputError(name, line.number, std::to_string(columns.size() + 1) + " fields: " + layout,
                             std::to_string(line.fields.size()) + " field(s)");
        for (std::size_t k = 0; k < columns.size(); ++k) {
            if (!parse_number(line.fields[k + 1], *columns[k].target))
                throw InputError(name, line.number, std::string("a number for ") + columns[k].name,
                                 hydro::quote_token(line.fields[k + 1]));
            *columns[k].target = as_written(*columns[k].target);
        }
        for (const Row& other : rows)
            if (other.id == row.id)
                throw InputError(name, line.number, "a class number not used before",
                                 "class " + std::to_string(row.id) + " again");
        if (const Problem problem = check(row); !problem.expected.empty())
            throw InputError(name, line.number, problem.expected, problem.found);
        rows.push_back(row);
    }
    if (rows.empty()) throw InputError(name, 0, std::string("at least one class line: ") + layout, "none");
    return rows;
}

Problem check_soil(const SoilClass& s) {
    if (!(0.0 <= s.residual_moisture && s.residual_moisture < s.wilting_point && s.wilting_point < s.field_capacity &&
          s.field_capacity < s.porosity && s.porosity <= 1.0))
        return {"fractions with 0 <= residual moisture < wilting point < field capacity < porosity <= 1",
                "residual " + num(s.residual_moisture) + ", wilting point " + num(s.wilting_point) +
                    ", field capacity " + num(s.field_capacity) + ", porosity " + num(s.porosity)};
    if (!(s.conductivity > 0.0 && s.conductivity <= kMaxConductivity))
        return {"a conductivity above 0 and at most " + num(kMaxConductivity) + " (mm/h)", num(s.conductivity)};
    if (!(s.pore_index > 0.0 && s.pore_index <= kMaxPoreIndex))
        return {"a pore index above 0 and at most " + num(kMaxPoreIndex), num(s.pore_index)};
    return {};
}

Problem check_cover(const CoverClass& c) {
    if (!(c.runoff_coefficient > 0.0 && c.runoff_coefficient <= 1.0))
        return {"a runoff coefficient above 0 and at most 1", num(c.runoff_coefficient)};
    if (!(c.root_depth > 0.0 && c.root_depth <= kMaxRootDepth))
        return {"a root depth above 0 and at most " + num(kMaxRootDepth) + " (m)", num(c.root_depth)};
    if (!(0.0 <= c.interception_min && c.interception_min <= c.interception_max && c.interception_max <= kMaxStorage))
        return {"interception capacities with 0 <= minimum <= maximum <= " + num(kMaxStorage) + " (mm)",
                "minimum " + num(c.interception_min) + ", maximum " + num(c.interception_max)};
    if (!(c.depression_capacity > 0.0 && c.depression_capacity <= kMaxStorage))
        return {"a depression capacity above 0 (mm; the model makes no surface runoff without one) and at most " +
                    num(kMaxStorage),
                num(c.depression_capacity)};
    if (!(c.manning_n > 0.0 && c.manning_n <= kMaxManning))
        return {"a Manning coefficient above 0 and at most " + num(kMaxManning), num(c.manning_n)};
    return {};
}

}  // namespace

SoilClass default_soil() {
    SoilClass s;
    s.id = 1;
    s.field_capacity = 0.27;
    s.porosity = 0.463;
    s.conductivity = 13.2;
    s.pore_index = 10.9;
    s.residual_moisture = 0.027;
    s.wilting_point = 0.117;
    return s;
}

CoverClass default_cover() {
    CoverClass c;
    c.id = 1;
    c.runoff_coefficient = 0.35;
    c.root_depth = 0.5;
    c.interception_max = 1.0;
    c.interception_min = 0.2;
    c.depression_capacity = 2.0;
    c.manning_n = 0.2;
    return c;
}

std::vector<SoilClass> parse_soil_table(const std::string& name, const std::string& contents) {
    return parse_table<SoilClass>(
        name, contents,
        "class, field_capacity, porosity, conductivity (mm/h), pore_index, residual_moisture, wilting_point",
        [](SoilClass& s) {
            return std::vector<Column>{
                {"the field capacity", &s.field_capacity},       {"the porosity", &s.porosity},
                {"the conductivity", &s.conductivity},           {"the pore index", &s.pore_index},
                {"the residual moisture", &s.residual_moisture}, {"the wilting point", &s.wilting_point}};
        },
        check_soil);
}

std::vector<CoverClass> parse_cover_table(const std::string& name, const std::string& contents) {
    return parse_table<CoverClass>(
        name, contents,
        "class, runoff_coefficient, root_depth (m), interception_max (mm), interception_min (mm), "
        "depression_capacity (mm), manning_n",
        [](CoverClass& c) {
            return std::vector<Column>{
                {"the runoff coefficient", &c.runoff_coefficient},   {"the root depth", &c.root_depth},
                {"the maximum interception", &c.interception_max},   {"the minimum interception", &c.interception_min},
                {"the depression capacity", &c.depression_capacity}, {"Manning's n", &c.manning_n}};
        },
        check_cover);
}

std::vector<SoilClass> read_soil_table(const std::string& path) {
    return parse_soil_table(path, load_text_file(path, "soil table"));
}

std::vector<CoverClass> read_cover_table(const std::string& path) {
    return parse_cover_table(path, load_text_file(path, "land-cover table"));
}

}  // namespace gridprep
