// The control file input.txt: the run's scalar parameters, the subbasins whose
// outflow is reported, and five lists of date-hour periods for the maps
// (1 runoff, 2 interflow, 3 recharge, 4 moisture, 5 evaporation).
//
// It is read three ways, which agree on one layout: the dimension scan (sizes
// only), the model (every value) and the areal averaging (the sign of the
// degree-day factor only).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "control_parameters.hpp"

namespace hydro {

inline constexpr int kSnapshotKinds = 5;

// A date-hour period, both ends included, coded like date_code.
struct SnapshotPeriod {
    int32_t start_code = 0;
    int32_t end_code = 0;
    bool contains(int32_t code) const { return start_code <= code && code <= end_code; }
};

// The eleven parameters (control_parameters.hpp) and the rest of the file.
struct ControlFile : ControlParameters {
    float time_step_hours = 0;
    std::vector<int32_t> reported_subbasins;
    std::array<std::vector<SnapshotPeriod>, kSnapshotKinds> periods;

    bool temperature_used() const { return degree_day_factor >= 0.0f; }
};

// What the dimension scan learns from the control file.
struct ControlFileSizes {
    int32_t degree_day_factor = 0;  // read as a whole number
    int32_t n_reported_subbasins = 0;
    std::array<int32_t, kSnapshotKinds> n_periods{};
};

// The model's reading: every value. A reported-subbasin list longer than
// `n_subbasins` is refused.
ControlFile read_control_file(const std::string& path, int32_t n_subbasins);

// The dimension scan's reading.
ControlFileSizes scan_control_file(const std::string& path);

// The areal averaging's reading: records 1 to 4, the degree-day factor as a
// whole number.
int32_t read_degree_day_factor(const std::string& path);

}  // namespace hydro
