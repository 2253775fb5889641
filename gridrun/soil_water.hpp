// The root zone as one store theta (mm) between residual content theta_r,
// wilting point theta_wp, field capacity theta_fc and saturation theta_s.
// With the remaining demand D (mm), conductivity K (mm per step) and pore
// index B:
//   evapotranspiration  0 at or below theta_r; max(D, 0) at or above theta_fc;
//                       D x ((theta - theta_wp) / (theta_fc - theta_wp)) between;
//                       x 0.3 on cells with almost no interception capacity
//   pore capacity       P = (theta_s - ET) - theta_r
//   percolation         ((theta - ET - theta_r) / P)^B x K      when theta - ET > theta_fc
//   interflow           ((theta - ET - perc - theta_r) / P)^B x (scale x slope x K)
//                                                 when theta - ET - perc > theta_fc
//   new theta           ((infiltration + theta) - ET - perc) - interflow
// One step's losses can exceed the water above theta_r (a conductivity large
// against the pore capacity, a huge demand, a shallow root zone). Only then,
// with A = max((infiltration + theta) - theta_r, 0), the losses are cut in
// turn: ET to at most A, percolation to at most A - ET, interflow to at most
// (A - ET) - percolation, so that the store ends at theta_r instead of below
// it (a store below theta_r raises a negative number to a power in the next
// step's runoff split).
#pragma once

#include <cmath>

namespace hydro {

struct SoilParameters {
    float residual;        // theta_r, mm
    float wilting_point;   // theta_wp, mm
    float field_capacity;  // theta_fc, mm
    float porosity;        // theta_s, mm
    float conductivity;    // K, mm per step
    float pore_index;      // B
    float slope;           // fraction
    float interception_max;
};

struct SoilFluxes {
    float evaporation = 0;
    float percolation = 0;
    float interflow = 0;
};

inline SoilFluxes soil_fluxes(float theta, float demand, const SoilParameters& p, float interflow_scale) {
    SoilFluxes f;
    if (theta <= p.residual) {
        f.evaporation = 0.0f;
    } else if (theta >= p.field_capacity) {
        f.evaporation = demand > 0.0f ? demand : 0.0f;
    } else {
        const float relative = (theta - p.wilting_point) / (p.field_capacity - p.wilting_point);
        f.evaporation = demand * relative;
    }
    if (p.interception_max < 0.01f) f.evaporation = f.evaporation * 0.3f;

    const float pore_capacity = (p.porosity - f.evaporation) - p.residual;
    const float after_et = theta - f.evaporation;
    if (after_et > p.field_capacity)
        f.percolation = std::pow((after_et - p.residual) / pore_capacity, p.pore_index) * p.conductivity;
    else
        f.percolation = 0.0f;

    const float drainable = theta - f.evaporation - f.percolation - p.residual;
    if (theta - f.evaporation - f.percolation > p.field_capacity) {
        const float scale = (interflow_scale * p.slope) * p.conductivity;
        f.interflow = std::pow(drainable / pore_capacity, p.pore_index) * scale;
    } else {
        f.interflow = 0.0f;
    }
    return f;
}

inline float updated_soil_moisture(float theta, float infiltration, const SoilFluxes& f) {
    return (((infiltration + theta) - f.evaporation) - f.percolation) - f.interflow;
}

// The floor of the store; to be applied before the interflow is routed.
inline void keep_store_above_residual(float theta, float infiltration, float residual, SoilFluxes& f) {
    if (!(updated_soil_moisture(theta, infiltration, f) < residual)) return;
    float available = (infiltration + theta) - residual;
    if (!(available > 0.0f)) available = 0.0f;
    if (available < f.evaporation) f.evaporation = available;
    if (available - f.evaporation < f.percolation) f.percolation = available - f.evaporation;
    if ((available - f.evaporation) - f.percolation < f.interflow)
        f.interflow = (available - f.evaporation) - f.percolation;
}

}  // namespace hydro
