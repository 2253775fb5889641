// The soil or land-cover class of every basin cell: from a class map that
// lies on the DEM's cells, or the single class of a table everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dem_grid.hpp"
#include "parameter_tables.hpp"

namespace gridprep {

template <typename Class>
struct CellClasses {
    const std::vector<Class>* table = nullptr;
    bool single = true;
    std::vector<uint32_t> index;  // per cell, when not single
    const Class* operator[](std::size_t i) const { return &(*table)[single ? 0 : index[i]]; }
};

// The classes of the basin cells. Without a class map (grid_path empty) the
// table must hold a single class; with one, every basin cell must have a
// class of the table. `what` names the classes in messages ("soil").
// Throws hydro::InputError.
template <typename Class>
CellClasses<Class> classes_of_cells(const std::vector<Class>& table, const std::string& table_path,
                                    const std::string& grid_path, const Geometry& dem, const std::string& dem_crs,
                                    const std::vector<uint8_t>& basin, const char* what);

}  // namespace gridprep
