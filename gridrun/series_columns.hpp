// The value columns of q_tot.txt and balance.txt as the other result formats
// (CSV, NetCDF) name and describe them: the header's label, a long name and
// the unit, and each record's values in the same order, the totals Q and R
// added exactly as the text files add them.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "result_series.hpp"

namespace hydro {

struct SeriesColumn {
    const char* name;  // the label of the text file's header
    const char* long_name;
    const char* units;  // UDUNITS form
};

std::vector<SeriesColumn> q_tot_columns(bool with_temperature);
std::vector<SeriesColumn> balance_columns(bool with_temperature);

// At most 12 values, in column order.
struct ColumnValues {
    std::array<float, 12> value{};
    std::size_t count = 0;
    const float* begin() const { return value.data(); }
    const float* end() const { return value.data() + count; }
};

ColumnValues q_tot_values(const QTotRecord& r, bool with_temperature);
ColumnValues balance_values(const BalanceRecord& r, bool with_temperature);

}  // namespace hydro
