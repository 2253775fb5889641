// Streaming convolution of a cell's runoff with its unit response. A depth of
// d mm generated at step t arrives at step t + k + 1 for each lag k with
//   ((((d / 1000) x uh(k)) x area) / dt) / 3600   m3/s   (area m2, dt hours)
// added to what already arrives then; arrivals after the last step are dropped.
#ifndef HYDRO_GRIDRUN_CELL_ROUTING_HPP
#define HYDRO_GRIDRUN_CELL_ROUTING_HPP

#include <cstdint>

#include "lanes.hpp"

namespace hydro {}  // namespace hydro

#endif  // HYDRO_GRIDRUN_CELL_ROUTING_HPP

// The process, compiled once per instruction set where the kernels are
// (see lanes.hpp).
#if !defined(HYDRO_CELL_ROUTING_PROCESS) && (defined(HYDRO_LANES) || !defined(HYDRO_PROCESSES_PER_INSTRUCTION_SET))
#define HYDRO_CELL_ROUTING_PROCESS

HYDRO_PROCESSES_BEGIN

// What `metres` (the depth / 1000) brings with ordinate `uh`, added to `arriving`.
template <class T>
HYDRO_LANES_INLINE T arriving_flow(T metres, T uh, float cell_area, float time_step_hours, T arriving) {
    return (((metres * uh) * cell_area) / time_step_hours) / 3600.0f + arriving;
}

// N cells side by side: `next` holds the arrivals of steps t + 1, t + 2, ...
// (one row of N lanes per step); `uh` and `lag_used` one row per lag from 0,
// `lag_used` set where the lane's response has that lag within its reach.
template <class T>
HYDRO_LANES_INLINE void route_lanes(T depth, const float* uh, const float* lag_used, int32_t n_lags, float cell_area,
                                    float time_step_hours, float* next) {
    using M = mask_of<T>;
    constexpr int n = lanes_of<T>;
    const M routes = depth > 0.0f;
    if (!any(routes)) return;
    const T metres = depth / 1000.0f;
    for (int32_t k = 0; k < n_lags; ++k) {
        const T s = load<T>(next + k * n);
        const T v = arriving_flow(metres, load<T>(uh + k * n), cell_area, time_step_hours, s);
        store(next + k * n, pick(routes & load<M>(lag_used + k * n), v, s));
    }
}

// One cell: `series` is indexed by step from 0; `t` is the step (from 0) that
// generated `depth`; `ordinates` are the response's lags first..last.
inline void route_into_series(float depth, const float* ordinates, int32_t first, int32_t last, int32_t t,
                              int32_t n_steps, float cell_area, float time_step_hours, float* series) {
    const float metres = depth / 1000.0f;
    // In 64 bits: a lag near the 32-bit limit arrives after the run, not before it.
    for (int64_t k = first; k <= last; ++k) {
        const int64_t i = static_cast<int64_t>(t) + k + 1;
        if (i >= n_steps) break;
        series[i] = arriving_flow(metres, ordinates[k - first], cell_area, time_step_hours, series[i]);
    }
}

HYDRO_PROCESSES_END

#endif
