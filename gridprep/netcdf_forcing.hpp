// Gridded forcing in a CF NetCDF file, read through the netCDF library when
// gridprep is built with it (an optional dependency: without it a NetCDF
// file is refused with the apt line that adds it). A variable of time and
// two horizontal coordinates (latitude and longitude, or projected y and x
// with a grid mapping), in any order, with any further dimensions of length 1
// (a height of 2 m, an ensemble member). The file is read in blocks of time
// steps over the window of cells that is needed, never whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "forcing_units.hpp"

namespace gridprep {

// Whether the first bytes of a file are those of a NetCDF file (classic,
// 64-bit offset, CDF-5 or NetCDF-4/HDF5).
bool looks_like_netcdf(const std::string& start);

// Whether this build reads NetCDF files.
bool netcdf_forcing_available();

// The standard names by which a quantity is found when no variable is named.
const std::vector<std::string>& standard_names_of(ForcingQuantity q);

// A horizontal coordinate of the grid: the cell centres, in file order.
struct ForcingAxis {
    std::string name;
    std::vector<double> centres;
    std::string units;
};

// What the file says about one variable.
struct ForcingVariable {
    std::string name, units;
    ForcingAxis x, y;         // longitude and latitude, or projected x and y
    bool geographic = false;  // latitude and longitude
    // The grid mapping: its WKT (crs_wkt or spatial_ref), or its CF name and
    // numeric parameters; all empty when the variable names none.
    std::string crs_wkt, grid_mapping_name;
    std::vector<std::pair<std::string, double>> grid_mapping_parameters;
    // The start of every forcing step (seconds since 1970-01-01 00:00): the
    // lower time bound where the time has bounds, else the time itself.
    std::vector<int64_t> step_starts;
    std::vector<int64_t> step_ends;  // from the bounds; empty without them
    bool mixed_calendar = true;
    // Packed values (scale_factor, add_offset) and the raw values that mean
    // no data (_FillValue, missing_value, the library's default fill).
    double scale = 1.0, offset = 0.0;
    std::vector<double> missing;
    // Where the variable is in the file: its id and the role of each of its
    // dimensions (0 time, 1 y, 2 x, 3 a dimension of length 1).
    int file_variable = -1;
    std::vector<int> dimension_roles;
};

class NetcdfForcing {
  public:
    explicit NetcdfForcing(const std::string& path);
    ~NetcdfForcing();
    NetcdfForcing(const NetcdfForcing&) = delete;
    NetcdfForcing& operator=(const NetcdfForcing&) = delete;

    // The variable `name`, or, when empty, the one variable whose
    // standard_name is one of the quantity's; `option` names the option that
    // picks one (for messages). Throws hydro::InputError naming the file.
    ForcingVariable describe(const std::string& name, ForcingQuantity q, const std::string& option);

    // Raw (packed) values of `v` for steps t0..t0+nt-1, rows y0..y0+ny-1 and
    // columns x0..x0+nx-1 of the file's order, into out[(t * ny + y) * nx + x].
    void read(const ForcingVariable& v, std::size_t t0, std::size_t nt, std::size_t y0, std::size_t ny, std::size_t x0,
              std::size_t nx, std::vector<double>& out);

  private:
    struct File;
    std::unique_ptr<File> file_;
};

}  // namespace gridprep
