// One calibration from start to end: load the project once, search the
// parameter space, write the trace as it grows, then the calibrated project,
// the report and the pictures into the output folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "batch_evaluation.hpp"
#include "model_objective.hpp"

namespace hydro {

struct CalibrationSettings {
    std::string project, observed, parameters, output;
    ObjectiveKind objective = ObjectiveKind::kge;
    bool sce = false;  // SCE-UA instead of DDS
    std::size_t evaluations = 500;
    uint64_t seed = 1;
    int threads = 1;
    std::size_t warmup = 0;
    int32_t mode = 2;
};

// Throws InputError for bad inputs and OutputError when the output cannot be
// written. `progress` (may be null) gets the progress line.
void run_calibration(const CalibrationSettings& settings, BatchEvaluation& evaluation, std::FILE* progress);

}  // namespace hydro
