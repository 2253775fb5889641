// Every array size of a run, learned before any model data is read: from the
// subbasin grid's header, the menu answer and the dimension scan.
#pragma once

#include <array>
#include <cstdint>

#include "control_file.hpp"

namespace hydro {

struct RunSizes {
    int32_t n_rows = 0;
    int32_t n_cols = 0;
    int32_t cell_size = 0;
    int32_t run_mode = 0;
    int32_t n_subbasins = 0;
    int32_t n_cells = 0;
    int32_t n_stations_p = 0;
    int32_t n_stations_e = 0;
    int32_t n_stations_t = 0;
    int32_t n_steps = 0;
    int32_t uh_length = 0;
    int32_t n_reported_subbasins = 0;
    std::array<int32_t, kSnapshotKinds> period_slots{};
    int32_t max_period_slots = 0;
    bool temperature_used = false;  // degree-day factor of the control file >= 0
};

}  // namespace hydro
