// Series as comma-separated values, for spreadsheets and data-frame tools: a
// header "time,<column>,...", then one line per step with the step's date and
// hour in ISO 8601 (2013-03-01T06:00) and every value in the shortest decimal
// form that reads back as the same 32-bit float. The fixed-width text files
// round to 0.001; these keep every digit the model computed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace hydro {

// "YYYY-MM-DDTHH:00", each field zero-padded.
std::string iso_time(int32_t year, int32_t month, int32_t day, int32_t hour);

// The shortest decimal text that reads back as exactly `value` ("0.1", "1e-07",
// "nan", "inf", "-inf").
void append_shortest(std::string& out, float value);

// "time,<columns...>\n"
std::string csv_header(const std::vector<std::string>& columns);

// One line: the time, then the values.
void append_csv_record(std::string& out, int32_t year, int32_t month, int32_t day, int32_t hour,
                       std::span<const float> values);

}  // namespace hydro
