// Canopy interception. The capacity follows the season between a minimum near
// day 361 and (almost) the maximum near day 178:
//   a = ((day - 87) x 6.28318) / 365,  b = (1 + sin a)^1.35,
//   capacity = ((cap_max - cap_min) x b) / 2.55 + cap_min        (mm)
// The canopy store evaporates at the potential rate, catches rain up to the
// capacity, and what passes it plus the snowmelt is the net rain.
#pragma once

#include <cmath>

namespace hydro {

// The seasonal factor b of a day of the year; it depends on the day only.
inline float interception_seasonal_factor(int day_of_year) {
    const float a = (static_cast<float>(day_of_year - 87) * 6.28318f) / 365.0f;
    return std::pow(1.0f + std::sin(a), 1.35f);
}

inline float interception_capacity_from_factor(float seasonal_factor, float capacity_max, float capacity_min) {
    return ((capacity_max - capacity_min) * seasonal_factor) / 2.55f + capacity_min;
}

// CAPACITY_I: the interception capacity (mm) of a day of the year.
inline float interception_capacity(int day_of_year, float capacity_max, float capacity_min) {
    return interception_capacity_from_factor(interception_seasonal_factor(day_of_year), capacity_max, capacity_min);
}

struct InterceptionStep {
    float evaporation = 0;   // from the canopy store, mm
    float interception = 0;  // rain caught this step, mm
    float net_rain = 0;      // throughfall plus snowmelt, mm
};

// One step of the canopy store `storage` (mm). `capacity_of_day` is called
// only when there is rain or water on the canopy.
template <class CapacityOfDay>
inline InterceptionStep intercept(float rain, float pet, float snowmelt, float& storage,
                                  CapacityOfDay capacity_of_day) {
    InterceptionStep s;
    if (rain > 0.0f || storage > 0.0f) {
        const float capacity = capacity_of_day();
        s.evaporation = pet < storage ? pet : storage;
        const float room = capacity - storage;
        if (room < rain)
            s.interception = room > 0.0f ? room : 0.0f;
        else
            s.interception = rain;
        const float left = s.interception + storage - s.evaporation;
        storage = left > 0.0f ? left : 0.0f;
        s.net_rain = rain - s.interception;
    } else {
        storage = 0.0f;
        s.net_rain = 0.0f;
    }
    s.net_rain = snowmelt + s.net_rain;
    return s;
}

}  // namespace hydro
