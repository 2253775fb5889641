// The dimension scan: counts in the input files every size the model needs
// (subbasins, stations, steps, cells, response length, reported subbasins,
// snapshot periods) before anything is allocated.
#pragma once

#include "project_paths.hpp"
#include "run_sizes.hpp"

namespace hydro {

// Fills the counted sizes of `sizes`; n_rows and n_cols must be set.
void scan_dimensions(const ProjectPaths& paths, RunSizes& sizes);

}  // namespace hydro
