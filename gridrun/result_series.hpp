// The result series files: q_tot.txt (the hydrograph at the basin outlet),
// balance.txt (the basin-mean water balance) and q_sub.txt (the outflow of
// the reported subbasins). Fixed-width text, one header line and one record
// per step: four I8 date fields, then F10.3 values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hydro {

std::string q_tot_header(bool with_temperature);
std::string balance_header(bool with_temperature);
std::string q_sub_header(const std::vector<int32_t>& reported_subbasins);

// Appends the four date fields of a record.
void append_date_fields(std::string& out, int32_t year, int32_t month, int32_t day, int32_t hour);

struct QTotRecord {
    float rain, surface_flow, interflow, groundwater_flow, temperature;
};
void append_q_tot_record(std::string& out, const QTotRecord& r, bool with_temperature);

struct BalanceRecord {
    float rain, interception, moisture, infiltration, evaporation, percolation, surface_runoff, interflow,
        groundwater_runoff, groundwater_storage, temperature;
};
void append_balance_record(std::string& out, const BalanceRecord& r, bool with_temperature);

}  // namespace hydro
