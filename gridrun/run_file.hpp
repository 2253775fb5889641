// The run file: one run described by name in a TOML file, an optional layer
// over the project (whose input.txt and folders stay as they are):
//
//   project = "../basins/east"   # relative to this file
//   mode = 2
//   threads = 2
//   [parameters]                 # parameter and <grid>_multiplier names
//   interflow_scale = 0.6
//   [output]
//   text = true                  # the fixed-width files (default true)
//   csv = true
//   netcdf = "east.nc"
//   [state]
//   initial = "end-2019.state"
//   save = "end-2020.state"
//   save_at = ["2020-06-30T23:00"]
//
// Every path is relative to the run file's folder. A key the file may not
// hold is refused, naming the nearest key it may hold.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace hydro {

struct RunFile {
    std::string path;     // of the run file itself
    std::string project;  // "" when not given
    int32_t mode = 0;     // 0: not given
    int threads = 0;      // 0: not given
    // By name, in the order of their names; the values read straight as 32-bit reals.
    std::vector<std::pair<std::string, float>> parameters;
    bool text = true, csv = false;
    std::string netcdf;
    std::string initial_state, save_state;
    std::vector<std::string> save_at;  // dates as written
};

// Whether this build reads run files (it needs the toml++ library).
bool run_files_available();

// Reads and checks a run file; throws InputError naming the file and line.
RunFile read_run_file(const std::string& path);

// The key of `known` nearest to `key` by edit distance ("" when none is near).
std::string nearest_key(const std::string& key, const std::vector<std::string>& known);

}  // namespace hydro
