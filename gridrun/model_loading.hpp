// Loading a run's inputs: the control file, the catchment grids, the
// responses, the station series and the initial soil moisture, with every
// index the run will use checked before the run starts.
#pragma once

#include "model_state.hpp"
#include "project_paths.hpp"

namespace hydro {

// Reads and checks every input of the run; throws InputError. With
// `stream_series` the station series' values are left in their files and
// read a tile of steps at a time by each run (faults in them are then found
// during the run).
ModelInputs load_model_inputs(const ProjectPaths& paths, const RunSizes& sizes, bool stream_series = false);

}  // namespace hydro
