// The calibrated project: a copy of the project in which input.txt holds the
// best control-file parameters and every parameter grid with a multiplier
// other than 1 holds the multiplied values, so that gridrun (and areamean)
// run it like any other project and reproduce the best run exactly.
#pragma once

#include <string>

#include "model.hpp"

namespace hydro {

// Copies the project root's folders into `output` (which exists and holds
// none of them yet), then writes the parameter set into the copy.
void write_calibrated_project(const Model& model, const Parameters& best, const std::string& output);

}  // namespace hydro
