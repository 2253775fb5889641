// One linear groundwater store per subbasin, in mm over the subbasin's area.
// With G the storage at the end of the previous step and k the subbasin's
// recession coefficient:
//   outflow      = k x G
//   flow (m3/s)  = ((((m x outflow) x area) / 1000) / dt) / 3600   (m cells of `area` m2, dt hours)
//   evaporation  = ((pet - actual evaporation) x G) / groundwater_scale
//   new storage  = ((G + recharge) - outflow) - evaporation
// The recharge of a step drains only from the next step on.
#pragma once

namespace hydro {

struct GroundwaterStep {
    float outflow = 0;      // mm over the subbasin
    float flow = 0;         // m3/s at the subbasin outlet
    float evaporation = 0;  // mm, negative when the cells evaporated more than the potential
    float storage = 0;      // mm at the end of the step
};

inline GroundwaterStep groundwater_step(float storage, float recession, float recharge, float pet,
                                        float actual_evaporation, float cell_count, float cell_area,
                                        float time_step_hours, float groundwater_scale) {
    GroundwaterStep g;
    g.outflow = recession * storage;
    g.flow = ((((cell_count * g.outflow) * cell_area) / 1000.0f) / time_step_hours) / 3600.0f;
    g.evaporation = ((pet - actual_evaporation) * storage) / groundwater_scale;
    g.storage = ((storage + recharge) - g.outflow) - g.evaporation;
    return g;
}

}  // namespace hydro
