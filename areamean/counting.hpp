// The counting pass of the areal averaging: the number of subbasins and of
// stations of each variable, taken over the basin cells only (positive
// subbasin number), and the number of records of p.txt (at most 1,000,000).
#pragma once

#include <cstdint>

#include "project_paths.hpp"

namespace hydro {

struct AreaMeanSizes {
    int32_t n_rows = 0, n_cols = 0;
    int32_t n_subbasins = 0, n_stations_p = 0, n_stations_e = 0, n_stations_t = 0, n_steps = 0;
};

inline constexpr int32_t kMaxAreaMeanSteps = 1000000;

void count_subbasins_and_stations(const ProjectPaths& paths, AreaMeanSizes& sizes);

}  // namespace hydro
