// Loading a run's inputs: the control file, the catchment grids, the
// responses, the station series and the initial soil moisture, with every
// index the run will use checked before the run starts.
#pragma once

#include "model_state.hpp"
#include "project_paths.hpp"

namespace hydro {

// Reads and checks every input of the run; throws InputError.
ModelInputs load_model_inputs(const ProjectPaths& paths, const RunSizes& sizes);

}  // namespace hydro
