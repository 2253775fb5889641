#include "result_series.hpp"

#include "fixed_width.hpp"

namespace hydro {

std::string q_tot_header(bool with_temperature) {
    std::string h = "    year   month      day     hour   rain       Qs        Qi       Qg         Q";
    if (with_temperature) h += "        temp";
    return h + '\n';
}

std::string balance_header(bool with_temperature) {
    std::string h =
        "    year   month      day     hour   rain      inte     s_mo       infi      evap      perc      RS        RI"
        "        RG        R        GT";
    if (with_temperature) h += "        temp";
    return h + '\n';
}

std::string q_sub_header(const std::vector<int32_t>& reported_subbasins) {
    std::string h = "    year   month      day     hour";
    for (int32_t s : reported_subbasins) append_int(h, s, 8);
    return h + '\n';
}

void append_date_fields(std::string& out, int32_t year, int32_t month, int32_t day, int32_t hour) {
    append_int(out, year, 8);
    append_int(out, month, 8);
    append_int(out, day, 8);
    append_int(out, hour, 8);
}

void append_q_tot_record(std::string& out, const QTotRecord& r, bool with_temperature) {
    append_fixed(out, r.rain, 10, 3);
    append_fixed(out, r.surface_flow, 10, 3);
    append_fixed(out, r.interflow, 10, 3);
    append_fixed(out, r.groundwater_flow, 10, 3);
    append_fixed(out, (r.surface_flow + r.interflow) + r.groundwater_flow, 10, 3);
    if (with_temperature) append_fixed(out, r.temperature, 10, 3);
    out += '\n';
}

void append_balance_record(std::string& out, const BalanceRecord& r, bool with_temperature) {
    for (float v : {r.rain, r.interception, r.moisture, r.infiltration, r.evaporation, r.percolation, r.surface_runoff,
                    r.interflow, r.groundwater_runoff})
        append_fixed(out, v, 10, 3);
    append_fixed(out, (r.surface_runoff + r.interflow) + r.groundwater_runoff, 10, 3);
    append_fixed(out, r.groundwater_storage, 10, 3);
    if (with_temperature) append_fixed(out, r.temperature, 10, 3);
    out += '\n';
}

}  // namespace hydro
