#include "model_state.hpp"

namespace hydro {

void BasinSeries::resize(std::size_t n) {
    for (StepSeries* s : {&rain, &temperature, &interception, &infiltration, &evaporation, &surface_runoff,
                          &interflow, &moisture, &percolation, &groundwater_runoff, &groundwater_storage,
                          &outlet_surface_flow, &outlet_interflow, &outlet_groundwater_flow})
        s->assign(n, 0.0f);
}

void SubbasinSeries::resize(std::size_t n_subbasins, std::size_t steps) {
    n_steps = steps;
    for (std::vector<float>* s : {&recharge, &pet, &evaporation, &surface_flow, &interflow})
        s->assign(n_subbasins * steps, 0.0f);
}

}  // namespace hydro
