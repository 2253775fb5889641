// The subbasin series files Subbasin_P.txt, Subbasin_E.txt and
// Subbasin_T.txt: a header "year month day hour" with the subbasin numbers in
// fields of 9, then per step the date (I4, 2X, I2, 3X, I2, 2X, I2, 2X) and
// the mean of every subbasin as F9.3.
#pragma once

#include <string>
#include <vector>

#include "thiessen.hpp"

namespace hydro {

std::string subbasin_series_text(const std::vector<RecordDate>& dates, const std::vector<float>& means,
                                 int32_t n_subbasins);

// Writes the two or three files record by record as `records` reads them,
// with their CSV forms when asked, all replacing the earlier results together
// once the last record is in (a fault in the inputs leaves the earlier results
// as they were). Returns one warning per file holding a mean too wide for its
// field (written as asterisks): the file, the subbasin's column and the first
// record.
std::vector<std::string> write_subbasin_series(const ProjectPaths& paths, ThiessenRecords& records, int32_t n_subbasins,
                                               bool with_csv = false);

// The same series as comma-separated values: a column "time" (ISO 8601),
// then one column per subbasin headed by its number, every value in full
// precision.
// The first mean of a series too wide for its field, as a warning naming the
// file, the subbasin and the record; empty when every mean fits.
std::string subbasin_series_overflow(const std::string& file_name, const std::vector<RecordDate>& dates,
                                     const std::vector<float>& means, int32_t n_subbasins);

std::string subbasin_series_csv(const std::vector<RecordDate>& dates, const std::vector<float>& means,
                                int32_t n_subbasins);

}  // namespace hydro
