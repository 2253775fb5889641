#include "series_columns.hpp"

namespace hydro {

namespace {

const SeriesColumn kRain{"rain", "precipitation of the step, mean over the basin", "mm"};
const SeriesColumn kTemperature{"temp", "temperature of the step, mean over the basin", "degC"};

}  // namespace

std::vector<SeriesColumn> q_tot_columns(bool with_temperature) {
    std::vector<SeriesColumn> c = {kRain,
                                   {"Qs", "surface flow at the basin outlet", "m3 s-1"},
                                   {"Qi", "interflow at the basin outlet", "m3 s-1"},
                                   {"Qg", "groundwater flow at the basin outlet", "m3 s-1"},
                                   {"Q", "total flow at the basin outlet (Qs + Qi + Qg)", "m3 s-1"}};
    if (with_temperature) c.push_back(kTemperature);
    return c;
}

std::vector<SeriesColumn> balance_columns(bool with_temperature) {
    std::vector<SeriesColumn> c = {
        kRain,
        {"inte", "rain caught on the canopy in the step, mean over the basin", "mm"},
        {"s_mo", "soil moisture of the root zone at the end of the step, mean over the basin", "mm"},
        {"infi", "infiltration into the soil in the step, mean over the basin", "mm"},
        {"evap", "actual evaporation of the step (canopy, depressions, soil and groundwater), mean over the basin",
         "mm"},
        {"perc", "percolation from the soil to the groundwater in the step, mean over the basin", "mm"},
        {"RS", "surface runoff formed in the step, mean over the basin", "mm"},
        {"RI", "interflow formed in the step, mean over the basin", "mm"},
        {"RG", "outflow of the groundwater stores in the step, mean over the basin", "mm"},
        {"R", "runoff formed in the step (RS + RI + RG), mean over the basin", "mm"},
        {"GT", "groundwater storage at the end of the step, mean over the basin", "mm"}};
    if (with_temperature) c.push_back(kTemperature);
    return c;
}

ColumnValues q_tot_values(const QTotRecord& r, bool with_temperature) {
    ColumnValues v;
    for (float x :
         {r.rain, r.surface_flow, r.interflow, r.groundwater_flow, (r.surface_flow + r.interflow) + r.groundwater_flow})
        v.value[v.count++] = x;
    if (with_temperature) v.value[v.count++] = r.temperature;
    return v;
}

ColumnValues balance_values(const BalanceRecord& r, bool with_temperature) {
    ColumnValues v;
    for (float x : {r.rain, r.interception, r.moisture, r.infiltration, r.evaporation, r.percolation, r.surface_runoff,
                    r.interflow, r.groundwater_runoff, (r.surface_runoff + r.interflow) + r.groundwater_runoff,
                    r.groundwater_storage})
        v.value[v.count++] = x;
    if (with_temperature) v.value[v.count++] = r.temperature;
    return v;
}

}  // namespace hydro
