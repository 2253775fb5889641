// Surface runoff, infiltration and depression storage (depths in mm per step).
//
// The net rain is split by a runoff fraction that grows with the runoff
// coefficient c and the relative soil moisture w = moisture / porosity:
//   e = 1 when net rain >= threshold, else e0 - ((e0 - 1) x rain) / threshold
//   fraction = 1                                 when c > 0.99
//            = w^e x (c - c_dry) + c_dry         on cells without interception capacity (< 0.0001 mm)
//            = w^e x c                           otherwise
//   runoff = fraction x net rain,  infiltration = (1 - fraction) x net rain
// and everything runs off when the moisture is above 0.9 of the porosity;
// without net rain there is neither. The runoff then fills the depressions:
// with the storage Sd of capacity Smax (> 0),
//   evaporation       = min(demand, Sd)   (demand: what the canopy left of the PET)
//   cumulative excess X = runoff - ln(1 - Sd/Smax) x Smax
//   filling           = exp(0 - X/Smax) x runoff
//   Sd                = max(filling + Sd - evaporation, 0), at most Smax
//                       (reaching Smax, the filling is Smax - Sd before)
//   runoff            = runoff - filling
// Without runoff (or without capacity) a depression holding water evaporates
// and drains into the soil, replacing the infiltration:
//   infiltration = max((1 - (c x moisture) / porosity) x (Sd - evaporation), 0)
//   Sd           = Sd - evaporation - infiltration,  runoff = 0
// and an empty one (or one without capacity) gives no runoff at all.
#ifndef HYDRO_GRIDRUN_SURFACE_RUNOFF_HPP
#define HYDRO_GRIDRUN_SURFACE_RUNOFF_HPP

#include "lanes.hpp"

namespace hydro {

// What the split needs of a cell, fixed for the run.
template <class T>
struct RunoffParameters {
    T coefficient;              // c
    T dry_range;                // c - c_dry, rounded to float
    float dry_coefficient;      // c_dry
    float exponent;             // e0, the exponent of the relative moisture without rain
    float rain_threshold;       // mm per step at and above which the exponent is 1
    mask_of<T> runs_off_fully;  // c > 0.99
    mask_of<T> no_canopy;       // interception capacity below 0.0001 mm
};

template <class T>
struct RunoffSplit {
    T surface_runoff;
    T infiltration;
};

template <class T>
struct DepressionStep {
    T surface_runoff;  // what leaves the cell after the depressions
    T infiltration;    // into the soil (replaced when the depressions drain)
    T evaporation;     // from the depressions
    T filling;         // into the depressions
};

}  // namespace hydro

#endif  // HYDRO_GRIDRUN_SURFACE_RUNOFF_HPP

// The process, compiled once per instruction set where the kernels are
// (see lanes.hpp).
#if !defined(HYDRO_SURFACE_RUNOFF_PROCESS) && (defined(HYDRO_LANES) || !defined(HYDRO_PROCESSES_PER_INSTRUCTION_SET))
#define HYDRO_SURFACE_RUNOFF_PROCESS

HYDRO_PROCESSES_BEGIN

template <class T>
HYDRO_LANES_INLINE RunoffParameters<T> runoff_parameters(T coefficient, T interception_max, float dry_coefficient,
                                                         float exponent, float rain_threshold) {
    RunoffParameters<T> p;
    p.coefficient = coefficient;
    p.dry_range = coefficient - dry_coefficient;
    p.dry_coefficient = dry_coefficient;
    p.exponent = exponent;
    p.rain_threshold = rain_threshold;
    p.runs_off_fully = coefficient > 0.99f;
    p.no_canopy = interception_max < 0.0001f;
    return p;
}

// The split of the net rain; `rain` is the gross rain of the cell (the
// exponent takes it, its test the net rain).
template <class T, class Math = ExactMath<T>>
HYDRO_LANES_INLINE RunoffSplit<T> split_net_rain(T net_rain, T rain, T soil_moisture, T porosity,
                                                 const RunoffParameters<T>& p) {
    using M = mask_of<T>;
    const T zero = splat<T>(0.0f), one = splat<T>(1.0f);
    const M has_net = net_rain > 0.0f;
    const T exponent =
        pick(net_rain >= p.rain_threshold, one, p.exponent - ((p.exponent - 1.0f) * rain) / p.rain_threshold);
    const T w = soil_moisture / porosity;
    const T we = pow_where<Math>(and_not(has_net, p.runs_off_fully), w, exponent);
    const T fraction =
        pick(p.runs_off_fully, one, pick(p.no_canopy, we * p.dry_range + p.dry_coefficient, we * p.coefficient));
    const M saturated = soil_moisture > 0.9f * porosity;
    RunoffSplit<T> s;
    s.surface_runoff = pick(has_net, pick(saturated, net_rain, fraction * net_rain), zero);
    s.infiltration = pick(has_net, pick(saturated, zero, (1.0f - fraction) * net_rain), zero);
    return s;
}

// Depression storage of one step. `storage` is Sd (mm), `capacity` Smax (mm),
// `demand` what is left of the potential evapotranspiration after the canopy.
template <class T, class Math = ExactMath<T>>
HYDRO_LANES_INLINE DepressionStep<T> depression_step(const RunoffSplit<T>& split, T& storage, T capacity, T demand,
                                                     T runoff_coefficient, T soil_moisture, T porosity) {
    using M = mask_of<T>;
    const T zero = splat<T>(0.0f);
    const M filling = (split.surface_runoff > 0.0f) & (capacity > 0.0f);
    const M draining = and_not(storage > 0.0f, filling);
    const T evaporation = pick(demand < storage, demand, storage);
    T filled_store = zero, fill = zero;
    if (any(filling)) {
        // A full depression gives ln(0) = -inf, an infinite excess and no filling.
        const T ln = log_where<Math>(filling, 1.0f - storage / capacity);
        const T cumulative_excess = split.surface_runoff - ln * capacity;
        fill = exp_where<Math>(filling, 0.0f - cumulative_excess / capacity) * split.surface_runoff;
        const T kept = fill + storage - evaporation;
        filled_store = pick(kept > 0.0f, kept, zero);
        const M full = filled_store >= capacity;
        fill = pick(full, capacity - storage, fill);
        filled_store = pick(full, capacity, filled_store);
    }
    const T fraction = (runoff_coefficient * soil_moisture) / porosity;
    const T drained = (1.0f - fraction) * (storage - evaporation);
    const T drained_in = pick(drained > 0.0f, drained, zero);
    DepressionStep<T> d;
    d.evaporation = pick(filling | draining, evaporation, zero);
    d.infiltration = pick(draining, drained_in, split.infiltration);
    d.filling = pick(filling, fill, zero);
    d.surface_runoff = pick(filling, split.surface_runoff - fill, zero);
    storage = pick(filling, filled_store, pick(draining, storage - evaporation - drained_in, zero));
    return d;
}

HYDRO_PROCESSES_END

#endif
