// Everything a run holds: its inputs (read once, read-only afterwards), the
// state of the cells and subbasins between two steps, and the map sums.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "catchment.hpp"
#include "control_file.hpp"
#include "responses.hpp"
#include "run_sizes.hpp"
#include "station_series.hpp"

namespace hydro {

struct ModelInputs {
    RunSizes sizes;
    ControlFile control;
    Catchment catchment;            // converted with the control file's time step
    Catchment catchment_as_read;    // the grids as on disk, for the parameter multipliers
    ResponseTable cell_responses;   // uh_cell_h.txt (mode 1) or uh_cell_s.txt (mode 2)
    ResponseTable river_responses;  // uh_river.txt
    StepCalendar calendar;
    StationSeries precipitation, pet, temperature;
    // Where the series' values are not held here but read a tile of steps at
    // a time during each run (their sizes, headers and the calendar are):
    // the files of p, pet and t.
    bool series_streamed = false;
    std::array<std::string, 3> series_files;
    std::vector<float> initial_soil_moisture;  // per grid position, mm
    std::vector<float> initial_saturation;     // moisture.asc as read (degrees of saturation), when read
    GridHeaderTexts map_header;                // header put back into every map
};

// What one simulation reads: the loaded inputs, with the control values, the
// catchment and the initial soil moisture of the run's parameters.
struct RunView {
    const ModelInputs& in;
    const ControlFile& control;
    const Catchment& catchment;
    const std::vector<float>& initial_soil_moisture;
};

// The state of a run between two steps: everything the next step starts
// from. Cells are the valid cells in their order (rows from the top, then
// columns); subbasins from 0.
struct ModelState {
    int32_t run_mode = 0;
    // Stores of each cell, mm.
    std::vector<float> soil_moisture, snow, canopy, depression;
    // Flow already routed from each cell towards its outlet (the basin outlet
    // in run mode 1, its subbasin outlet in run mode 2) that arrives after the
    // last step, m3/s: cell c's arrivals 1, 2, ... steps after the last step
    // are at [tail_offset[c], tail_offset[c + 1]).
    std::vector<std::size_t> tail_offset;
    std::vector<float> surface_tail, interflow_tail;
    // Groundwater store of each subbasin, mm.
    std::vector<float> groundwater;
    // Flow already routed along the river that reaches the basin outlet after
    // the last step, m3/s, one value per later step.
    std::vector<float> outlet_surface_tail, outlet_interflow_tail, outlet_groundwater_tail;
};

// The snapshot sums of the five kinds of map (1 runoff, 2 interflow,
// 3 recharge, 4 moisture, 5 evaporation), one grid per period.
struct SnapshotSums {
    std::size_t grid_size = 0;
    std::array<std::vector<float>, kSnapshotKinds> sum;  // [period * grid_size + position]
    std::vector<int32_t> moisture_step_count;            // per moisture period
};

// The first place where a value that is not a finite number entered the
// sums: the earliest step, and at that step the first cell (or subbasin).
struct FirstNonFinite {
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t step = kNone;
    std::size_t cell = kNone;      // valid-cell number from 0, in the cell loop
    int32_t row = 0, col = 0;      // of that cell, from 1
    std::size_t subbasin = kNone;  // from 0, in the groundwater stores
    bool found() const { return step != kNone; }
    // Keeps the earlier of two reports (by step, then cell).
    void merge(const FirstNonFinite& other) {
        if (other.step < step || (other.step == step && other.cell < cell)) *this = other;
    }
};

inline constexpr int kRunoff = 0, kInterflow = 1, kRecharge = 2, kMoisture = 3, kEvaporation = 4;

}  // namespace hydro
