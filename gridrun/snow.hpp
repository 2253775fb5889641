// Snow: at or below the melt base temperature the step's precipitation is
// stored as snow; above it the snow pack melts by a degree-day term plus a
// rain-on-snow term. Depths in mm per step, temperatures in the unit of the
// station series, the degree-day factor in mm per degree and day.
#pragma once

namespace hydro {

// A step is a snow step unless the temperature is strictly above the base.
inline bool is_snow_step(float temperature, float melt_base_temperature) {
    return !(temperature > melt_base_temperature);
}

// Melt potential of a step (mm):
//   ((d x ddf x dt) / 24) + ((d x (rain x rmf) x dt) / 24),  d = T - T_base, dt in hours.
inline float melt_potential(float temperature, float melt_base_temperature, float degree_day_factor, float rain,
                            float rain_melt_factor, float time_step_hours) {
    const float d = temperature - melt_base_temperature;
    return ((d * degree_day_factor * time_step_hours) / 24.0f) +
           ((d * (rain * rain_melt_factor) * time_step_hours) / 24.0f);
}

// Melt of a step with melt conditions: the potential, at most the pack;
// the pack is reduced by the melt. No pack, no melt.
inline float snowmelt(float& snow_storage, float temperature, float melt_base_temperature, float degree_day_factor,
                      float rain, float rain_melt_factor, float time_step_hours) {
    if (!(snow_storage > 0.0f)) return 0.0f;
    const float potential =
        melt_potential(temperature, melt_base_temperature, degree_day_factor, rain, rain_melt_factor, time_step_hours);
    const float melt = potential < snow_storage ? potential : snow_storage;
    snow_storage = snow_storage - melt;
    return melt;
}

}  // namespace hydro
