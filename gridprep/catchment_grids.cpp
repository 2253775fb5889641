#include "catchment_grids.hpp"

#include <algorithm>
#include <stdexcept>

#include "grid_cells.hpp"
#include "grid_table.hpp"
#include "project_writer.hpp"
#include "slope.hpp"

namespace gridprep {

namespace {

using hydro::grid_index;

// The class property each parameter grid holds (one of soil or cover).
struct ClassProperty {
    std::size_t grid;
    double SoilClass::*soil;
    double CoverClass::*cover;
};
constexpr ClassProperty kClassProperties[] = {
    {grid_index("runoff_co"), nullptr, &CoverClass::runoff_coefficient},
    {grid_index("fieldcap"), &SoilClass::field_capacity, nullptr},
    {grid_index("porosity"), &SoilClass::porosity, nullptr},
    {grid_index("conductivity"), &SoilClass::conductivity, nullptr},
    {grid_index("poreindex"), &SoilClass::pore_index, nullptr},
    {grid_index("depression"), nullptr, &CoverClass::depression_capacity},
    {grid_index("interc_max"), nullptr, &CoverClass::interception_max},
    {grid_index("interc_min"), nullptr, &CoverClass::interception_min},
    {grid_index("residual"), &SoilClass::residual_moisture, nullptr},
    {grid_index("rootdepth"), nullptr, &CoverClass::root_depth},
    {grid_index("wiltingpoint"), &SoilClass::wilting_point, nullptr},
};

// Decimals written: slopes to 4 places, elevations to the millimetre.
int decimals_of(std::size_t grid) {
    if (grid == grid_index("slope")) return 4;
    if (grid == grid_index("elevation")) return 3;
    return 6;
}

const std::vector<int32_t>& whole_values(std::size_t grid, const BasinCells& cells) {
    if (grid == grid_index("watershed")) return *cells.subbasin;
    if (grid == grid_index("thiessen_p")) return *cells.zone_p;
    if (grid == grid_index("thiessen_e")) return *cells.zone_e;
    if (grid == grid_index("thiessen_t")) return *cells.zone_t;
    throw std::logic_error(std::string("gridprep has no whole numbers for ") + hydro::kGridTable[grid].file);
}

// Every grid with the DEM's coordinate system beside it (NAME.prj), for GIS programs.
class GridFiles {
  public:
    GridFiles(ProjectFolder& out, const std::string& crs_wkt)
        : out_(out), prj_(crs_wkt.empty() || crs_wkt.back() == '\n' ? crs_wkt : crs_wkt + "\n") {}
    void write(const std::string& name, const std::string& text) {
        out_.write(kFolder + name, text);
        if (!prj_.empty()) out_.write(kFolder + name.substr(0, name.rfind('.')) + ".prj", prj_);
    }

  private:
    static inline const std::string kFolder = "arcview/ascii/";
    ProjectFolder& out_;
    std::string prj_;
};

}  // namespace

double BasinCells::slope_percent(std::size_t cell) const {
    const CellPosition p = position_of(dem->geometry, cell);
    return std::max(horn_slope_percent_at(*dem, p.row, p.col), least_slope_percent);
}

std::size_t GridWindow::dem_cell(std::size_t k) const {
    const CellPosition p = position_of(box, k);
    return dem->index(first_row + p.row, first_col + p.col);
}

GridWindow project_window(const Geometry& g, const std::vector<uint8_t>& basin, bool crop, double cell_size) {
    int32_t r0 = g.n_rows, r1 = -1, c0 = g.n_cols, c1 = -1;
    for (int32_t r = 0; r < g.n_rows; ++r)
        for (int32_t c = 0; c < g.n_cols; ++c)
            if (basin[g.index(r, c)])
                r0 = std::min(r0, r), r1 = std::max(r1, r), c0 = std::min(c0, c), c1 = std::max(c1, c);
    if (!crop) r0 = 0, r1 = g.n_rows - 1, c0 = 0, c1 = g.n_cols - 1;
    GridWindow w;
    w.dem = &g;
    w.first_row = r0;
    w.first_col = c0;
    w.box.n_rows = r1 - r0 + 1;
    w.box.n_cols = c1 - c0 + 1;
    w.box.cell_size = cell_size;
    w.box.xll = g.xll + c0 * g.cell_size;
    w.box.yll = g.yll + (g.n_rows - 1 - r1) * g.cell_size;
    return w;
}

void write_catchment_grids(ProjectFolder& out, const GridWindow& window, const BasinCells& cells) {
    GridFiles files(out, cells.dem->crs_wkt);
    auto in_basin = [&](std::size_t k) { return (*cells.basin)[window.dem_cell(k)] != 0; };
    auto write_reals = [&](const char* name, int decimals, auto&& value) {
        DecimalCells text(decimals);
        files.write(name, grid_text_of(window.box, in_basin,
                                       [&](std::size_t k, char* buf) { return text(value(window.dem_cell(k)), buf); }));
    };
    for (std::size_t grid = 0; grid <= hydro::kTemperatureZoneGrid; ++grid) {
        const hydro::GridDescription& d = hydro::kGridTable[grid];
        const int decimals = decimals_of(grid);
        if (d.integer) {
            const std::vector<int32_t>& v = whole_values(grid, cells);
            files.write(d.file, grid_text_of(window.box, in_basin, [&](std::size_t k, char* buf) {
                            return whole_chars(buf, v[window.dem_cell(k)]);
                        }));
        } else if (grid == grid_index("slope")) {
            write_reals(d.file, decimals, [&](std::size_t i) { return cells.slope_percent(i); });
        } else if (grid == grid_index("elevation")) {
            write_reals(d.file, decimals, [&](std::size_t i) { return cells.dem->value[i]; });
        } else {
            const auto p = std::find_if(std::begin(kClassProperties), std::end(kClassProperties),
                                        [&](const ClassProperty& c) { return c.grid == grid; });
            if (p == std::end(kClassProperties))
                throw std::logic_error(std::string("gridprep has no values for ") + d.file);
            if (p->soil)
                write_reals(d.file, decimals, [&](std::size_t i) { return (*cells.soil)[i]->*(p->soil); });
            else
                write_reals(d.file, decimals, [&](std::size_t i) { return (*cells.cover)[i]->*(p->cover); });
        }
    }
}

void write_terrain_grids(ProjectFolder& out, const Raster& dem, std::vector<double>& filled, const FlowDirections& fd,
                         const std::vector<int32_t>& accumulation) {
    GridFiles files(out, dem.crs_wkt);
    const Geometry& g = dem.geometry;
    auto with_data = [&](std::size_t i) { return dem.has_data[i] != 0; };
    DecimalCells level(3);
    files.write("filled_dem.asc",
                grid_text_of(g, with_data, [&](std::size_t i, char* buf) { return level(filled[i], buf); }));
    filled = std::vector<double>();
    files.write("flow_direction.asc", grid_text_of(g, with_data, [&](std::size_t i, char* buf) {
                    const int8_t k = fd.code[i];
                    return whole_chars(buf, k >= 0 && k < 8 ? (1 << k) : 0);
                }));
    files.write("flow_accumulation.asc", grid_text_of(g, with_data, [&](std::size_t i, char* buf) {
                    return whole_chars(buf, accumulation[i]);
                }));
}

}  // namespace gridprep
