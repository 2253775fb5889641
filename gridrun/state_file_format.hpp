// The bytes of a state file (see model_state_file.hpp for its layout),
// apart from any project: encoding a state, and reading one back against
// what the project in hand expects of it.
#pragma once

#include <cstdint>
#include <string>

#include "model_state.hpp"

namespace hydro {

// What a project expects of a state file: its shape, and the most routed
// flow it can hold (its responses' lengths).
struct StateExpectation {
    int32_t run_mode = 0, rows = 0, cols = 0, cells = 0, subbasins = 0;
    uint64_t max_cell_tail_values = 0;  // over all cells
    uint64_t max_outlet_tail = 0;       // per outlet series
};

struct StateDate {
    int32_t year = 0, month = 0, day = 0, hour = 0;
};

struct SavedState {
    ModelState state;
    StateDate last_step;  // the date of the step the state was saved after
};

// Water depths (mm) and routed flows (m3/s) a state may hold: beyond these
// no basin holds water; a few tenths below zero arise from rounding.
inline constexpr float kStateDepthLow = -1.0f, kStateDepthHigh = 1.0e6f;
inline constexpr float kGroundwaterLow = -1.0e6f;
inline constexpr float kStateFlowLimit = 1.0e8f;

std::string encode_state(const ModelState& state, int32_t rows, int32_t cols, const StateDate& last_step);

// The largest file a state of this expectation can take, in bytes.
uint64_t largest_state_size(const StateExpectation& expect);

// Reads the bytes of a state file named `path` (for the messages): a file
// that is not a state file, of another version, damaged, saved for another
// shape or run mode, or holding values that are not finite or beyond their
// range is refused with InputError, before anything is allocated for it.
SavedState parse_state(const std::string& path, const std::string& data, const StateExpectation& expect);
// The same checks on the first bytes of a file (its signature, version, shape
// and run mode) only.
void check_state_header(const std::string& path, const std::string& head, const StateExpectation& expect);

}  // namespace hydro
