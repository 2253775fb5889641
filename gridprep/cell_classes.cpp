#include "cell_classes.hpp"

#include <algorithm>

#include "coordinate_system.hpp"
#include "grid_cells.hpp"
#include "input_error.hpp"
#include "project_writer.hpp"

namespace gridprep {

using hydro::InputError;

template <typename Class>
CellClasses<Class> classes_of_cells(const std::vector<Class>& table, const std::string& table_path,
                                    const std::string& grid_path, const Geometry& dem, const std::string& dem_crs,
                                    const std::vector<uint8_t>& basin, const char* what) {
    CellClasses<Class> of;
    of.table = &table;
    if (grid_path.empty()) {
        if (table.size() != 1)
            throw InputError(
                table_path, 0,
                std::string("a single ") + what + " class (or a " + what + " class map given with the table)",
                std::to_string(table.size()) + " classes");
        return of;
    }
    const Raster map = read_raster(grid_path, std::string(what) + " class map");
    require_same_geometry(dem, map.geometry, grid_path);
    require_same_coordinate_system(dem_crs, map, grid_path);
    of.single = false;
    of.index.assign(dem.cells(), 0);
    for (std::size_t i = 0; i < of.index.size(); ++i) {
        if (!basin[i]) continue;
        if (!map.has_data[i])
            throw InputError(grid_path, 0,
                             std::string("a ") + what + " class at " + cell_text(dem, i) + " (a basin cell)",
                             "no data");
        const double v = map.value[i];
        const auto found = std::find_if(table.begin(), table.end(), [&](const Class& c) { return c.id == v; });
        if (found == table.end())
            throw InputError(grid_path, 0,
                             std::string("a ") + what + " class of " + table_path + " at " + cell_text(dem, i),
                             plain_decimal(v, 6));
        of.index[i] = static_cast<uint32_t>(found - table.begin());
    }
    return of;
}

template CellClasses<SoilClass> classes_of_cells(const std::vector<SoilClass>&, const std::string&, const std::string&,
                                                 const Geometry&, const std::string&, const std::vector<uint8_t>&,
                                                 const char*);
template CellClasses<CoverClass> classes_of_cells(const std::vector<CoverClass>&, const std::string&,
                                                  const std::string&, const Geometry&, const std::string&,
                                                  const std::vector<uint8_t>&, const char*);

}  // namespace gridprep
