// The root zone as one store theta (mm) between residual content theta_r,
// wilting point theta_wp, field capacity theta_fc and saturation theta_s.
// With the remaining demand D (mm), conductivity K (mm per step) and pore
// index B:
//   evapotranspiration  0 at or below theta_r; max(D, 0) at or above theta_fc;
//                       D x ((theta - theta_wp) / (theta_fc - theta_wp)) between;
//                       x 0.3 on cells with almost no interception capacity (< 0.01 mm)
//   pore capacity       P = (theta_s - ET) - theta_r
//   percolation         ((theta - ET - theta_r) / P)^B x K      when theta - ET > theta_fc
//   interflow           ((theta - ET - perc - theta_r) / P)^B x ((scale x slope) x K)
//                                                 when theta - ET - perc > theta_fc
//   new theta           (((infiltration + theta) - ET) - perc) - interflow
// One step's losses can exceed the water above theta_r (a conductivity large
// against the pore capacity, a huge demand, a shallow root zone). Only then,
// with A = max((infiltration + theta) - theta_r, 0), the losses are cut in
// turn: ET to at most A, percolation to at most A - ET, interflow to at most
// (A - ET) - percolation, so that the store ends at theta_r instead of below
// it (a store below theta_r raises a negative number to a power in the next
// step's runoff split).
#ifndef HYDRO_GRIDRUN_SOIL_WATER_HPP
#define HYDRO_GRIDRUN_SOIL_WATER_HPP

#include "lanes.hpp"

namespace hydro {

// What the soil needs of a cell, fixed for the run (mm, K in mm per step).
template <class T>
struct SoilParameters {
    T residual, wilting_point, field_capacity, porosity, conductivity, pore_index;
    T wet_range;         // theta_fc - theta_wp
    T interflow_factor;  // (interflow scale x slope) x K
    mask_of<T> no_canopy;
};

template <class T>
struct SoilFluxes {
    T evaporation;
    T percolation;
    T interflow;
};

}  // namespace hydro

#endif  // HYDRO_GRIDRUN_SOIL_WATER_HPP

// The process, compiled once per instruction set where the kernels are
// (see lanes.hpp).
#if !defined(HYDRO_SOIL_WATER_PROCESS) && (defined(HYDRO_LANES) || !defined(HYDRO_PROCESSES_PER_INSTRUCTION_SET))
#define HYDRO_SOIL_WATER_PROCESS

HYDRO_PROCESSES_BEGIN

template <class T>
HYDRO_LANES_INLINE SoilParameters<T> soil_parameters(T residual, T wilting_point, T field_capacity, T porosity,
                                                     T conductivity, T pore_index, T slope, T interception_max,
                                                     float interflow_scale) {
    SoilParameters<T> p;
    p.residual = residual;
    p.wilting_point = wilting_point;
    p.field_capacity = field_capacity;
    p.porosity = porosity;
    p.conductivity = conductivity;
    p.pore_index = pore_index;
    p.wet_range = field_capacity - wilting_point;
    p.interflow_factor = (interflow_scale * slope) * conductivity;
    p.no_canopy = interception_max < 0.01f;
    return p;
}

template <class T, class Math = ExactMath<T>>
HYDRO_LANES_INLINE SoilFluxes<T> soil_fluxes(T theta, T demand, const SoilParameters<T>& p) {
    using M = mask_of<T>;
    const T zero = splat<T>(0.0f);
    const T relative = (theta - p.wilting_point) / p.wet_range;
    T et = pick(theta <= p.residual, zero,
                pick(theta >= p.field_capacity, pick(demand > 0.0f, demand, zero), demand * relative));
    et = pick(p.no_canopy, et * 0.3f, et);
    const T pore_capacity = (p.porosity - et) - p.residual;
    const T after_et = theta - et;
    const M percolates = after_et > p.field_capacity;
    const T percolation =
        pick(percolates,
             pow_where<Math>(percolates, (after_et - p.residual) / pore_capacity, p.pore_index) * p.conductivity, zero);
    const T drainable = theta - et - percolation - p.residual;
    const M flows = theta - et - percolation > p.field_capacity;
    const T interflow =
        pick(flows, pow_where<Math>(flows, drainable / pore_capacity, p.pore_index) * p.interflow_factor, zero);
    return {et, percolation, interflow};
}

template <class T>
HYDRO_LANES_INLINE T updated_soil_moisture(T theta, T infiltration, const SoilFluxes<T>& f) {
    return (((infiltration + theta) - f.evaporation) - f.percolation) - f.interflow;
}

// The floor of the store; applied before the interflow is routed.
template <class T>
HYDRO_LANES_INLINE void keep_store_above_residual(T theta, T infiltration, T residual, SoilFluxes<T>& f) {
    using M = mask_of<T>;
    const M too_low = updated_soil_moisture(theta, infiltration, f) < residual;
    if (!any(too_low)) return;
    T available = (infiltration + theta) - residual;
    available = pick(available > 0.0f, available, splat<T>(0.0f));
    const T et = pick(available < f.evaporation, available, f.evaporation);
    const T percolation = pick(available - et < f.percolation, available - et, f.percolation);
    const T rest = (available - et) - percolation;
    const T interflow = pick(rest < f.interflow, rest, f.interflow);
    f.evaporation = pick(too_low, et, f.evaporation);
    f.percolation = pick(too_low, percolation, f.percolation);
    f.interflow = pick(too_low, interflow, f.interflow);
}

HYDRO_PROCESSES_END

#endif
