// Observed discharge at the basin outlet: a gauge record read from CSV and
// matched to the model's time steps by date and hour.
//
// The file has a header line, then one record per line: `date,discharge`.
// The date is YYYY-MM-DD (hour 0), YYYY-MM-DD HH:MM or YYYY-MM-DDTHH:MM
// (whole hours: the minutes must be 00). The discharge is in m3/s; an empty
// field, NA, NaN or a negative value marks a missing observation. Dates must
// increase strictly from record to record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hydro {

// year, month, day and hour as one ordered number (year x 1000000 + ...),
// in 64 bits so that no year wraps.
inline int64_t step_key(int32_t year, int32_t month, int32_t day, int32_t hour) {
    return static_cast<int64_t>(year) * 1000000 + static_cast<int64_t>(month) * 10000 +
           static_cast<int64_t>(day) * 100 + hour;
}

struct ObservedRecord {
    int64_t key = 0;       // step_key of the record's date and hour
    double discharge = 0;  // m3/s; NaN when missing
    int line = 0;          // line of the file, from 1
};

struct ObservedDischarge {
    std::string path;
    std::vector<ObservedRecord> records;  // in file order, keys strictly increasing
};

// Reads the file; throws InputError with file and line for anything that is
// not a header line followed by records as above.
ObservedDischarge read_observed_discharge(const std::string& path);
// The same from text in memory (`name` is used in messages).
ObservedDischarge parse_observed_discharge(const std::string& name, std::string_view text);

// The model steps that have an observation: step indices (from 0, increasing)
// and the observed discharge of each.
struct MatchedObservations {
    std::vector<std::size_t> steps;
    std::vector<double> discharge;
};

// Matches records to the steps whose keys are given (one per model step, in
// run order). Records of dates the run does not have, and missing values, are
// passed over. Throws InputError naming the file when no step has a value.
MatchedObservations match_observations(const ObservedDischarge& observed, std::span<const int64_t> step_keys);

}  // namespace hydro
