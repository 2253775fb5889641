// Streaming convolution of a cell's runoff with its unit response. A depth of
// d mm generated at step t arrives at step t + k + 1 for each lag k with
//   ((((d / 1000) x uh(k)) x area) / dt) / 3600   m3/s   (area m2, dt hours);
// arrivals after the last step are dropped.
#pragma once

#include <cstdint>

namespace hydro {

// `series` is indexed by step from 0; `t` is the step (from 0) that generated `depth`.
inline void route_into_series(float depth, const float* ordinates, int32_t first, int32_t last, int32_t t,
                              int32_t n_steps, float cell_area, float time_step_hours, float* series) {
    // In 64 bits: a lag near the 32-bit limit arrives after the run, not before it.
    for (int64_t k = first; k <= last; ++k) {
        const int64_t i = static_cast<int64_t>(t) + k + 1;
        if (i >= n_steps) break;
        series[i] = ((((depth / 1000.0f) * ordinates[k - first]) * cell_area) / time_step_hours) / 3600.0f + series[i];
    }
}

}  // namespace hydro
