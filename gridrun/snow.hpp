// Snow: at or below the melt base temperature the step's precipitation is
// stored as snow (a snow step); strictly above it the pack melts by a
// degree-day term plus a rain-on-snow term:
//   potential = ((d x ddf x dt) / 24) + ((d x (rain x rmf) x dt) / 24),  d = T - T_base
//   melt      = min(potential, pack) when there is a pack, else 0
// Depths in mm per step, temperatures in the unit of the station series, the
// degree-day factor ddf in mm per degree and day, the rain melt factor rmf in
// mm per degree, day and mm of rain, the step dt in hours.
#ifndef HYDRO_GRIDRUN_SNOW_HPP
#define HYDRO_GRIDRUN_SNOW_HPP

#include "lanes.hpp"

namespace hydro {

template <class T>
struct SnowStep {
    T melt;             // mm
    mask_of<T> stores;  // set on a snow step: the rain went into the pack
};

}  // namespace hydro

#endif  // HYDRO_GRIDRUN_SNOW_HPP

// The process, compiled once per instruction set where the kernels are
// (see lanes.hpp).
#if !defined(HYDRO_SNOW_PROCESS) && (defined(HYDRO_LANES) || !defined(HYDRO_PROCESSES_PER_INSTRUCTION_SET))
#define HYDRO_SNOW_PROCESS

HYDRO_PROCESSES_BEGIN

// One step of the pack `pack` (mm) at `temperature` with `rain` (mm).
template <class T>
HYDRO_LANES_INLINE SnowStep<T> snow_step(T& pack, T temperature, T rain, float melt_base_temperature,
                                         float degree_day_factor, float rain_melt_factor, float time_step_hours) {
    using M = mask_of<T>;
    const M melting = temperature > melt_base_temperature;
    const M melts = melting & (pack > 0.0f);
    const T d = temperature - melt_base_temperature;
    const T potential = ((d * degree_day_factor * time_step_hours) / 24.0f) +
                        ((d * (rain * rain_melt_factor) * time_step_hours) / 24.0f);
    const T melt = pick(potential < pack, potential, pack);
    SnowStep<T> s;
    s.melt = pick(melts, melt, splat<T>(0.0f));
    s.stores = invert(melting);
    pack = pick(melts, pack - melt, pick(s.stores, pack + rain, pack));
    return s;
}

HYDRO_PROCESSES_END

#endif
