// The places a run writes besides its fixed result names (a NetCDF file, a
// saved state), checked before the run starts: never an input of the
// project, a result of the run, another such place, a result set's journal
// or a temporary file's name, by name or as the same file by another path;
// never a folder, a FIFO or a file of another kind than the one written.
#pragma once

#include <string>
#include <vector>

#include "project_paths.hpp"
#include "result_kinds.hpp"

namespace hydro {

struct Destination {
    std::string option;  // the option that names it (for the message): "--netcdf"
    std::string path;
    FileKind kind;  // what is written there: FileKind::netcdf or FileKind::state
};

// Throws OutputError naming the option and the path of the first
// destination that breaks a rule.
void check_destinations(const std::vector<Destination>& destinations, const ProjectPaths& paths);

}  // namespace hydro
