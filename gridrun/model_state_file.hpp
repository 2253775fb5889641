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
#include "result_set.hpp"
#include "state_file_format.hpp"

namespace hydro {

// A state file is one of the run's results: its temporary file is made in
// its folder when the run starts (so that a place that cannot be written
// stops the run before any result is replaced), and it is renamed with the
// other results under the set's journal.
ResultFile& begin_state_file(ResultSet& results, const std::string& path);
// Writes the state saved after step `last_step` (from 0) of the run into it
// and completes it.
void write_state(ResultFile& file, const Model& model, const ModelState& state, std::size_t last_step);

// A state file of its own (a set of one file), saved after step `last_step`
// (the run's last when not given).
void save_state(const std::string& path, const Model& model, const ModelState& state,
                std::size_t last_step = static_cast<std::size_t>(-1));

// What this project expects of a state file.
StateExpectation state_expectation(const Model& model);

// Reads a state saved for this project: what is not a regular file, a file
// that is not a state file, of another version, damaged, saved for another
// grid, number of cells or subbasins, or run mode, holding values that are
// not finite or beyond their range, or saved after another step than the
// one before this run's first step (unless `any_date`), is refused with
// InputError.
ModelState load_state(const std::string& path, const Model& model, bool any_date = false);

}  // namespace hydro
