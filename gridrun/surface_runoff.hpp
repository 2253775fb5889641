// Surface runoff, infiltration and depression storage (depths in mm per step).
//
// The net rain is split by a runoff fraction that grows with the runoff
// coefficient and the relative soil moisture w = moisture / porosity:
//   e = 1 when net rain >= threshold, else e0 - ((e0 - 1) x rain) / threshold
//   fraction = 1                                  when the coefficient > 0.99
//            = w^e x (coeff - dry_coeff) + dry_coeff   without interception capacity
//            = w^e x coeff                        otherwise
// and everything runs off above 0.9 of the porosity. The runoff then fills the
// depressions: with the storage Sd of capacity Smax,
//   cumulative excess X = runoff - ln(1 - Sd/Smax) x Smax
//   filling = exp(0 - X/Smax) x runoff
// and the depressions evaporate (what the canopy left of the demand) and, when
// there is no excess, drain into the soil.
#pragma once

#include <cmath>

namespace hydro {

struct RunoffSplit {
    float surface_runoff = 0;
    float infiltration = 0;
};

struct RunoffParameters {
    float runoff_coefficient;
    float interception_max;
    float dry_runoff_coefficient;
    float runoff_exponent;
    float runoff_rain_threshold;
};

// Exponent of the relative moisture: from runoff_exponent without rain down
// to 1 at the threshold. The test uses the net rain, the formula the rain.
inline float moisture_exponent(float net_rain, float rain, float runoff_exponent, float threshold) {
    if (net_rain >= threshold) return 1.0f;
    return runoff_exponent - ((runoff_exponent - 1.0f) * rain) / threshold;
}

inline RunoffSplit split_net_rain(float net_rain, float rain, float soil_moisture, float porosity,
                                  const RunoffParameters& p) {
    RunoffSplit s;
    if (!(net_rain > 0.0f)) return s;
    const float e = moisture_exponent(net_rain, rain, p.runoff_exponent, p.runoff_rain_threshold);
    float fraction;
    if (p.runoff_coefficient > 0.99f) {
        fraction = 1.0f;
    } else {
        const float w = soil_moisture / porosity;
        const float we = std::pow(w, e);
        if (p.interception_max < 0.0001f) {
            const float range = p.runoff_coefficient - p.dry_runoff_coefficient;
            fraction = we * range + p.dry_runoff_coefficient;
        } else {
            fraction = we * p.runoff_coefficient;
        }
    }
    s.surface_runoff = fraction * net_rain;
    s.infiltration = (1.0f - fraction) * net_rain;
    if (soil_moisture > 0.9f * porosity) {
        s.surface_runoff = net_rain;
        s.infiltration = 0.0f;
    }
    return s;
}

struct DepressionStep {
    float surface_runoff = 0;  // what leaves the cell after the depressions
    float infiltration = 0;    // into the soil (replaced when the depressions drain)
    float evaporation = 0;     // from the depressions
    float filling = 0;         // into the depressions
};

// Depression storage of one step. `storage` is Sd (mm), `capacity` Smax (mm),
// `demand` what is left of the potential evapotranspiration after the canopy.
inline DepressionStep depression_step(const RunoffSplit& split, float& storage, float capacity, float demand,
                                      float runoff_coefficient, float soil_moisture, float porosity) {
    DepressionStep d;
    d.infiltration = split.infiltration;
    if (split.surface_runoff > 0.0f && capacity > 0.0f) {
        d.evaporation = demand < storage ? demand : storage;
        const float old_storage = storage;
        // A full depression gives ln(0) = -inf, an infinite excess and no filling.
        const float cumulative_excess = split.surface_runoff - std::log(1.0f - storage / capacity) * capacity;
        d.filling = std::exp(0.0f - cumulative_excess / capacity) * split.surface_runoff;
        const float filled = d.filling + storage - d.evaporation;
        storage = filled > 0.0f ? filled : 0.0f;
        if (storage >= capacity) {
            d.filling = capacity - old_storage;
            storage = capacity;
        }
        d.surface_runoff = split.surface_runoff - d.filling;
    } else if (storage > 0.0f) {
        d.evaporation = demand < storage ? demand : storage;
        const float fraction = (runoff_coefficient * soil_moisture) / porosity;
        const float drained = (1.0f - fraction) * (storage - d.evaporation);
        d.infiltration = drained > 0.0f ? drained : 0.0f;
        d.filling = 0.0f;
        storage = storage - d.evaporation - d.infiltration;
        d.surface_runoff = 0.0f;
    } else {
        d.evaporation = 0.0f;
        d.filling = 0.0f;
        storage = 0.0f;
        d.surface_runoff = 0.0f;
    }
    return d;
}

}  // namespace hydro
