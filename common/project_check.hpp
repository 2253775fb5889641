// The first slips of a new user: a program started in the wrong folder, a
// project root that does not exist, an input file whose name differs from
// the expected one only in case or by an added extension. Each is reported
// with what to do instead of as a missing grid.
#pragma once

#include <string>

#include "project_paths.hpp"

namespace hydro {

// Throws InputError when `paths.root` is not a project root (a folder holding
// arcview/ and model/). `option` names how the user gave the root ("--project"),
// or is empty when the programs took the default: two levels above the
// working folder.
void check_project_root(const ProjectPaths& paths, const std::string& option);

// For an input file that does not exist: a hint naming a file of the same
// folder whose name differs only in case or by an added extension
// ("Watershed.ASC", "watershed.asc.txt"), or "" when there is none.
std::string similar_file_hint(const std::string& path);

}  // namespace hydro
