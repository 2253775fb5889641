// The grids of a new project, written through the model's table of grids
// (hydro::kGridTable): the sixteen catchment grids and the temperature
// stations' grid, cut to the basin's bounding box (or the whole DEM), each
// with the DEM's coordinate system beside it; on request the terrain of the
// whole DEM (filled elevations, flow directions, accumulation) for a GIS.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cell_classes.hpp"
#include "dem_grid.hpp"
#include "flow_direction.hpp"
#include "parameter_tables.hpp"
#include "project_folder.hpp"

namespace gridprep {

// What the cells of the basin hold, by DEM cell.
struct BasinCells {
    const Raster* dem = nullptr;
    const std::vector<uint8_t>* basin = nullptr;
    const std::vector<int32_t>* subbasin = nullptr;
    const std::vector<int32_t>* zone_p = nullptr;  // station of each forcing variable
    const std::vector<int32_t>* zone_e = nullptr;
    const std::vector<int32_t>* zone_t = nullptr;
    const CellClasses<SoilClass>* soil = nullptr;
    const CellClasses<CoverClass>* cover = nullptr;
    double least_slope_percent = 0.0;  // flow and the maps see at least this slope

    // Horn's slope of the DEM at the cell, at least the least slope.
    double slope_percent(std::size_t cell) const;
};

// The window of the DEM that the project's grids cover: the basin's
// bounding box, or with crop false the whole DEM.
struct GridWindow {
    Geometry box;
    int32_t first_row = 0, first_col = 0;  // of the DEM
    const Geometry* dem = nullptr;
    // The DEM cell of window cell k.
    std::size_t dem_cell(std::size_t k) const;
};
GridWindow project_window(const Geometry& dem, const std::vector<uint8_t>& basin, bool crop, double cell_size);

// Writes arcview/ascii/NAME.asc (and NAME.prj when the DEM's coordinate
// system is known) for every grid a project needs, in table order.
void write_catchment_grids(ProjectFolder& out, const GridWindow& window, const BasinCells& cells);

// Writes filled_dem.asc, flow_direction.asc (codes 1, 2, 4 ... 128 clockwise
// from east, 0 out of the grid) and flow_accumulation.asc over the whole
// DEM; frees `filled` once written.
void write_terrain_grids(ProjectFolder& out, const Raster& dem, std::vector<double>& filled, const FlowDirections& fd,
                         const std::vector<int32_t>& accumulation);

}  // namespace gridprep
