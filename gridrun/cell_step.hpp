// One step of the water balance of a cell (T = float) or of N cells side by
// side (T = lane_vector<N>): snow, canopy, runoff split, depressions and soil,
// in this order, each process taking what the one before left. On a snow
// step the canopy and the depressions are emptied (their water is not counted
// anywhere) and nothing else moves. The routing of the step's runoff and
// interflow and the update of the soil moisture follow outside.
#ifndef HYDRO_GRIDRUN_CELL_STEP_HPP
#define HYDRO_GRIDRUN_CELL_STEP_HPP

#include <cstddef>

#include "catchment.hpp"
#include "control_file.hpp"
#include "interception.hpp"
#include "lanes.hpp"
#include "snow.hpp"
#include "soil_water.hpp"
#include "surface_runoff.hpp"

namespace hydro {

// The grid values of a cell that its water balance reads (depths in mm, K in
// mm per step, slope as a fraction).
template <class T>
struct CellGrids {
    T porosity, depression_capacity, interception_max, interception_min, runoff_coefficient, residual, wilting_point,
        field_capacity, conductivity, pore_index, slope;
};

inline CellGrids<float> cell_grids(const Catchment& g, std::size_t i) {
    return {g.porosity[i],
            g.depression_capacity[i],
            g.interception_max[i],
            g.interception_min[i],
            g.runoff_coefficient[i],
            g.residual_moisture[i],
            g.wilting_point[i],
            g.field_capacity[i],
            g.conductivity[i],
            g.pore_index[i],
            g.slope[i]};
}

// What the processes need of a cell, fixed for the run.
template <class T>
struct CellParameters {
    T porosity, depression_capacity, interception_max, interception_min;
    RunoffParameters<T> runoff;
    SoilParameters<T> soil;
};

// The stores of a cell, mm.
template <class T>
struct CellStores {
    T soil_moisture, snow, canopy, depression;
};

// The fluxes of one step, mm (the temperature in the unit of the series).
template <class T>
struct StepFluxes {
    T temperature, canopy_evaporation, interception, infiltration, runoff, depression_evaporation;
    SoilFluxes<T> soil;
};

}  // namespace hydro

#endif  // HYDRO_GRIDRUN_CELL_STEP_HPP

// The process, compiled once per instruction set where the kernels are
// (see lanes.hpp).
#if !defined(HYDRO_CELL_STEP_PROCESS) && (defined(HYDRO_LANES) || !defined(HYDRO_PROCESSES_PER_INSTRUCTION_SET))
#define HYDRO_CELL_STEP_PROCESS

HYDRO_PROCESSES_BEGIN

// The step's evaporation of depressions, canopy and soil, mm.
template <class T>
HYDRO_LANES_INLINE T total_evaporation(const StepFluxes<T>& f) {
    return (f.depression_evaporation + f.canopy_evaporation) + f.soil.evaporation;
}

template <class T>
HYDRO_LANES_INLINE CellParameters<T> cell_parameters(const CellGrids<T>& c, float dry_runoff_coefficient,
                                                     const ControlFile& cf) {
    return {c.porosity,
            c.depression_capacity,
            c.interception_max,
            c.interception_min,
            runoff_parameters(c.runoff_coefficient, c.interception_max, dry_runoff_coefficient, cf.runoff_exponent,
                              cf.runoff_rain_threshold),
            soil_parameters(c.residual, c.wilting_point, c.field_capacity, c.porosity, c.conductivity, c.pore_index,
                            c.slope, c.interception_max, cf.interflow_scale)};
}

// One step from the stores `s` with the step's rain, PET and temperature and
// the seasonal interception factor of its day. The soil moisture is left as
// it was: it changes after the routing, with updated_soil_moisture.
template <class T, class Math = ExactMath<T>>
HYDRO_LANES_INLINE StepFluxes<T> water_balance_step(const ControlFile& cf, const CellParameters<T>& p, T rain, T pet,
                                                    T temperature, float seasonal_factor, CellStores<T>& s) {
    using M = mask_of<T>;
    const T zero = splat<T>(0.0f);
    StepFluxes<T> f{};
    M snowing{};
    T melt = zero;
    if (cf.temperature_used()) {
        f.temperature = temperature;
        const SnowStep<T> snow = snow_step(s.snow, temperature, rain, cf.melt_base_temperature, cf.degree_day_factor,
                                           cf.rain_melt_factor, cf.time_step_hours);
        melt = snow.melt;
        snowing = snow.stores;
    }
    const M active = invert(snowing);
    if (!any(active)) {
        s.canopy = zero;
        s.depression = zero;
        return f;
    }
    const T capacity = interception_capacity_from_factor(seasonal_factor, p.interception_max, p.interception_min);
    const InterceptionStep<T> canopy = intercept(rain, pet, melt, s.canopy, capacity);
    const RunoffSplit<T> split =
        split_net_rain<T, Math>(pick(active, canopy.net_rain, zero), rain, s.soil_moisture, p.porosity, p.runoff);
    const DepressionStep<T> depressions =
        depression_step<T, Math>(split, s.depression, p.depression_capacity, pet - canopy.evaporation,
                                 p.runoff.coefficient, s.soil_moisture, p.porosity);
    const T demand = pet - canopy.evaporation - depressions.evaporation;
    SoilFluxes<T> soil = soil_fluxes<T, Math>(s.soil_moisture, demand, p.soil);
    keep_store_above_residual(s.soil_moisture, depressions.infiltration, p.soil.residual, soil);

    // Cells with a snow step (side by side with cells without) keep none of it.
    s.canopy = pick(active, s.canopy, zero);
    s.depression = pick(active, s.depression, zero);
    f.canopy_evaporation = pick(active, canopy.evaporation, zero);
    f.interception = pick(active, canopy.interception, zero);
    f.runoff = pick(active, depressions.surface_runoff, zero);
    f.infiltration = pick(active, depressions.infiltration, zero);
    f.depression_evaporation = pick(active, depressions.evaporation, zero);
    f.soil = {pick(active, soil.evaporation, zero), pick(active, soil.percolation, zero),
              pick(active, soil.interflow, zero)};
    return f;
}

HYDRO_PROCESSES_END

#endif
