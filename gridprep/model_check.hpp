// A written project read back with the model's own readers, as gridrun will
// read it in either run mode: a project the model would refuse is never
// reported as made.
#pragma once

#include <string>

namespace gridprep {

// Runs the model's dimension scan and input loading on the project at
// `root` in run modes 1 and 2. Throws hydro::InputError carrying the model's
// message when it refuses the project.
void check_project_with_model(const std::string& root);

}  // namespace gridprep
