// The model run: loads the control file, the catchment grids, the responses,
// the station series and the initial state, checks that every index the run
// will use is valid, simulates every cell and step, routes to the outlets and
// writes the result series and the maps. No result file is created before
// every input has been read and checked.
#pragma once

#include <cstdio>
#include <string>

#include "model_loading.hpp"
#include "model_state.hpp"
#include "project_paths.hpp"

namespace hydro {

// Wall-clock seconds of the phases of a run.
struct PhaseTimes {
    double input = 0, cell_loop = 0, second_pass = 0, output = 0;
};

struct RunOptions {
    int threads = 1;
    std::FILE* progress = nullptr;  // one line per cell, or nullptr
    bool flush_progress = false;
    PhaseTimes* times = nullptr;    // filled when given
};

// Where a result series first held a value that is not a finite number.
struct NonFiniteReport {
    bool found = false;
    std::string where;
};

// Runs the model and writes its files. Returns where a non-finite value first
// entered the results, if one did (the files are written all the same).
NonFiniteReport run_full_model(const ProjectPaths& paths, const RunSizes& sizes, const RunOptions& options);

}  // namespace hydro
