// The state file of a warm start: the state after the last step of a run,
// from which a later run (with the series that follow) goes on exactly.
//
// Layout, every number little-endian whatever the machine:
//   8 bytes   "GRSTATE\n"
//   u32       format version (1)
//   i32 x 5   run mode, grid rows, grid columns, simulated cells, subbasins
//   i32 x 4   date of the last step: year, month, day, hour
//   u32       number of variables, then each variable:
//               u32 name length, the name, u8 kind (0: float32, 1: u64),
//               u64 count, the values
//   u64       FNV-1a checksum of every byte before it
// The variables are those of the state, in the order of one list that
// saving and loading share.
#pragma once

#include <string>

#include "model.hpp"

namespace hydro {

// Writes the state after step `last_step` (the run's last when not given),
// through a temporary file renamed at the end; throws OutputError.
void save_state(const std::string& path, const Model& model, const ModelState& state,
                std::size_t last_step = static_cast<std::size_t>(-1));

// Reads a state saved for this project: a file that is not a state file, of
// another version, damaged, or saved for another grid, number of cells or
// subbasins, or run mode is refused with InputError.
ModelState load_state(const std::string& path, const Model& model);

}  // namespace hydro
