// Gridded forcing (a CF NetCDF file of precipitation, potential evaporation
// or temperature on a regular grid) turned into the project's own station
// series: every forcing cell that holds the centre of at least one basin cell
// becomes a station, whose Thiessen polygon is the forcing cell itself.
//
// - Each basin cell's centre is transformed from the DEM's coordinate system
//   into the forcing's and takes the forcing cell that holds it: the cell
//   from its lower to its upper edge, halfway between neighbouring centres.
// - The stations are numbered in the forcing grid's row order from the
//   north-west: northern rows first, western cells first within a row.
// - A model step dated D holds the forcing steps that start from D up to the
//   next model date; the first model step starts with the first forcing step.
//   A forcing time marks the start of its step unless its time bounds say
//   otherwise. Precipitation and PET are summed (mm per model step),
//   temperature averaged (degrees C). Forcing steps after the last whole
//   model step are left out.
// - Each station's series header holds the mean elevation of its basin cells.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dem_grid.hpp"
#include "forcing_units.hpp"
#include "prep_options.hpp"
#include "series_check.hpp"

namespace gridprep {

// The basin on the DEM, where the forcing is needed.
struct ForcingTarget {
    const Geometry* dem = nullptr;
    std::string dem_crs;                          // WKT; empty when unknown
    const std::vector<uint8_t>* basin = nullptr;  // per DEM cell
    const std::vector<double>* elevation = nullptr;
    double time_step_hours = 24.0;
};

struct GriddedSeries {
    std::vector<int32_t> zone;  // per DEM cell: its station, 0 outside the basin
    int32_t stations = 0;
    std::string text;     // the series file (p.txt, pet.txt or t.txt)
    SeriesCheck check;    // records, first and last date
    std::string summary;  // one line for gridprep's summary
    std::vector<std::string> notes;
    int64_t values_read = 0;  // forcing values read from the file
};

// Reads `variable` (or the quantity's variable found by its standard name;
// `option` names the option that picks one) from the NetCDF file at `path`.
// Throws hydro::InputError naming the file for a grid that does not cover
// every basin cell, a missing value at a cell in use (with the cell and
// time), units or a calendar it cannot use, irregular coordinates or times,
// and a forcing step coarser than the model step or not dividing it.
GriddedSeries gridded_series(const std::string& path, const std::string& variable, ForcingQuantity quantity,
                             const std::string& option, const ForcingTarget& target);

// Whether a forcing file is a NetCDF file (by its first bytes), not a text
// series.
bool is_gridded_forcing(const std::string& path);

// The series options of gridprep that name gridded forcing, read; a variable
// option given for a text series is refused.
struct GriddedInputs {
    std::optional<GriddedSeries> p, e, t;
    std::vector<std::string> summary, notes;
};
GriddedInputs read_gridded_inputs(const PrepOptions& options, const ForcingTarget& target);

// Gridded series begin on the date of the precipitation series: records are
// matched by their position.
void require_same_start(const std::string& p_path, const SeriesCheck& p, const std::string& path,
                        const SeriesCheck& other);

}  // namespace gridprep
