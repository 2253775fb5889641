// The model run: loads the control file, the catchment grids, the responses,
// the station series and the initial state, checks that every index the run
// will use is valid, simulates every cell and step, routes to the outlets and
// writes the result series and the maps. No result file is created before
// every input has been read and checked.
#pragma once

#include <cstdio>

#include "model_state.hpp"
#include "project_paths.hpp"

namespace hydro {

// Reads and checks every input of the run; throws InputError.
ModelInputs load_model_inputs(const ProjectPaths& paths, const RunSizes& sizes);

// Runs the model and writes its files; `progress` gets one line per cell.
void run_full_model(const ProjectPaths& paths, const RunSizes& sizes, std::FILE* progress);

}  // namespace hydro
