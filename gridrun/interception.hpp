// Canopy interception. The capacity follows the season between a minimum near
// day 361 and (almost) the maximum near day 178:
//   a = ((day - 87) x 6.28318) / 365,  b = (1 + sin a)^1.35,
//   capacity = ((cap_max - cap_min) x b) / 2.55 + cap_min        (mm)
// When it rains or the canopy holds water, the store S (mm) evaporates at the
// potential rate, catches rain up to the room left, and keeps what remains:
//   evaporation  = min(pet, S)
//   interception = max(capacity - S, 0) when the room is below the rain, else the rain
//   S            = max(interception + S - evaporation, 0)
//   net rain     = snowmelt + (rain - interception)
// otherwise the store is 0 and the net rain is the snowmelt. Depths in mm per step.
#ifndef HYDRO_GRIDRUN_INTERCEPTION_HPP
#define HYDRO_GRIDRUN_INTERCEPTION_HPP

#include <cmath>

#include "exact_math.hpp"
#include "lanes.hpp"
#include "season_sine.hpp"

namespace hydro {

// The seasonal factor b of a day of the year; it depends on the day only.
inline float interception_seasonal_factor(int day_of_year) {
    if (day_of_year >= 1 && day_of_year <= 366) return exact::powf(1.0f + kSeasonSine[day_of_year - 1], 1.35f);
    const float a = (static_cast<float>(day_of_year - 87) * 6.28318f) / 365.0f;
    return exact::powf(1.0f + std::sin(a), 1.35f);
}

template <class T>
struct InterceptionStep {
    T evaporation;   // from the canopy store, mm
    T interception;  // rain caught this step, mm
    T net_rain;      // throughfall plus snowmelt, mm
};

}  // namespace hydro

#endif  // HYDRO_GRIDRUN_INTERCEPTION_HPP

// The process, compiled once per instruction set where the kernels are
// (see lanes.hpp).
#if !defined(HYDRO_INTERCEPTION_PROCESS) && (defined(HYDRO_LANES) || !defined(HYDRO_PROCESSES_PER_INSTRUCTION_SET))
#define HYDRO_INTERCEPTION_PROCESS

HYDRO_PROCESSES_BEGIN

template <class T>
HYDRO_LANES_INLINE T interception_capacity_from_factor(float seasonal_factor, T capacity_max, T capacity_min) {
    return ((capacity_max - capacity_min) * seasonal_factor) / 2.55f + capacity_min;
}

// The interception capacity (mm) of a day of the year.
inline float interception_capacity(int day_of_year, float capacity_max, float capacity_min) {
    return interception_capacity_from_factor(interception_seasonal_factor(day_of_year), capacity_max, capacity_min);
}

// One step of the canopy store `storage` (mm) with the day's `capacity` (mm).
template <class T>
HYDRO_LANES_INLINE InterceptionStep<T> intercept(T rain, T pet, T snowmelt, T& storage, T capacity) {
    using M = mask_of<T>;
    const T zero = splat<T>(0.0f);
    const M wetted = (rain > 0.0f) | (storage > 0.0f);
    const T evaporation = pick(pet < storage, pet, storage);
    const T room = capacity - storage;
    const T caught = pick(room < rain, pick(room > 0.0f, room, zero), rain);
    const T left = caught + storage - evaporation;
    InterceptionStep<T> s;
    s.evaporation = pick(wetted, evaporation, zero);
    s.interception = pick(wetted, caught, zero);
    storage = pick(wetted, pick(left > 0.0f, left, zero), zero);
    s.net_rain = snowmelt + pick(wetted, rain - caught, zero);
    return s;
}

HYDRO_PROCESSES_END

#endif
