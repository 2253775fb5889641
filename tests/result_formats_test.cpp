// The exchange formats of the results: ISO 8601 step times, shortest
// round-trip values, CSV lines and columns named as in the text files, the
// day numbers of the NetCDF time axis, and areamean's CSV series.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

#include "calendar.hpp"
#include "csv_series.hpp"
#include "progress_line.hpp"
#include "result_series.hpp"
#include "series_columns.hpp"
#include "subbasin_series.hpp"

namespace {

using namespace hydro;

TEST(CsvSeries, TimesAreIso8601WithZeroPaddedFields) {
    EXPECT_EQ(iso_time(2013, 3, 1, 6), "2013-03-01T06:00");
    EXPECT_EQ(iso_time(1900, 12, 31, 18), "1900-12-31T18:00");
    EXPECT_EQ(iso_time(812, 1, 2, 0), "0812-01-02T00:00");
}

TEST(CsvSeries, ValuesAreTheShortestTextThatReadsBackAsTheSameFloat) {
    const struct {
        float value;
        const char* text;
    } cases[] = {{0.1f, "0.1"},
                 {0.0f, "0"},
                 {-0.0f, "-0"},
                 {1.0f / 3.0f, "0.33333334"},
                 {1e-7f, "1e-07"},
                 {16777216.0f, "16777216"},
                 {-3.25f, "-3.25"},
                 {0.0004f, "4e-04"},
                 {std::numeric_limits<float>::infinity(), "inf"}};
    for (const auto& c : cases) {
        std::string s;
        append_shortest(s, c.value);
        EXPECT_EQ(s, c.text);
    }
    // Every digit survives: a flow that the text files print as 0.000.
    for (float v : {0.00012345678f, 123456.79f, 2.5e-12f, 987654321.0f}) {
        std::string s;
        append_shortest(s, v);
        const float back = std::strtof(s.c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << s;
    }
}

TEST(CsvSeries, HeaderAndRecordLines) {
    EXPECT_EQ(csv_header({"rain", "Qs"}), "time,rain,Qs\n");
    std::string line;
    const float values[] = {1.5f, 0.001f};
    append_csv_record(line, 2013, 3, 1, 6, values);
    EXPECT_EQ(line, "2013-03-01T06:00,1.5,0.001\n");
}

std::vector<std::string> labels_after_date(const std::string& header) {
    std::istringstream in(header);
    std::vector<std::string> labels;
    for (std::string w; in >> w;) labels.push_back(w);
    return {labels.begin() + 4, labels.end()};
}

std::vector<std::string> names(const std::vector<SeriesColumn>& columns) {
    std::vector<std::string> out;
    for (const SeriesColumn& c : columns) out.emplace_back(c.name);
    return out;
}

TEST(SeriesColumns, AreNamedAsTheTextFilesHeadersWithAUnitEach) {
    for (bool t : {false, true}) {
        EXPECT_EQ(names(q_tot_columns(t)), labels_after_date(q_tot_header(t)));
        EXPECT_EQ(names(balance_columns(t)), labels_after_date(balance_header(t)));
        for (const auto& c : q_tot_columns(t)) EXPECT_GT(std::strlen(c.units), 0u);
        for (const auto& c : balance_columns(t)) EXPECT_GT(std::strlen(c.long_name), 0u);
    }
}

TEST(SeriesColumns, TotalsAreAddedAsTheTextFilesAddThem) {
    // 0.1 + 0.2 + 0.3 in float depends on the order: (Qs + Qi) + Qg.
    const QTotRecord q{2.0f, 0.1f, 0.2f, 0.3f, -4.0f};
    const ColumnValues v = q_tot_values(q, true);
    ASSERT_EQ(v.count, 6u);
    EXPECT_EQ(v.value[4], (0.1f + 0.2f) + 0.3f);
    EXPECT_EQ(v.value[5], -4.0f);
    EXPECT_EQ(q_tot_values(q, false).count, 5u);
    BalanceRecord b{};
    b.surface_runoff = 1e8f;
    b.interflow = 1.0f;
    b.groundwater_runoff = -1e8f;
    b.groundwater_storage = 7.0f;
    const ColumnValues w = balance_values(b, false);
    ASSERT_EQ(w.count, 11u);
    EXPECT_EQ(w.value[9], 0.0f);  // (1e8 + 1) rounds to 1e8 in float
    EXPECT_EQ(w.value[10], 7.0f);
}

TEST(Calendar, DayNumbersCountFromTheFirstOfJanuary1970) {
    EXPECT_EQ(civil_day_number(1970, 1, 1), 0);
    EXPECT_EQ(civil_day_number(2000, 3, 1), 11017);   // 10957 + 31 + 29
    EXPECT_EQ(civil_day_number(1900, 3, 1), -25508);  // -25567 + 31 + 28: 1900 is not a leap year
    // Months beyond 12 and days beyond the month's end carry over.
    EXPECT_EQ(civil_day_number(2012, 13, 1), civil_day_number(2013, 1, 1));
    EXPECT_EQ(civil_day_number(2013, 1, 32), civil_day_number(2013, 2, 1));
    EXPECT_EQ(civil_day_number(2013, 0, 1), civil_day_number(2012, 12, 1));
    for (int64_t n = -800000; n <= 800000; n += 997) {
        const CivilDate d = civil_date(n);
        EXPECT_EQ(civil_day_number(d.year, d.month, d.day), n);
    }
}

TEST(AreameanCsv, SubbasinSeriesWithTimeAndFullPrecision) {
    const std::vector<RecordDate> dates = {{2005, 1, 1, 0}, {2005, 1, 1, 6}};
    const std::vector<float> means = {1.5f, 0.25f, 0.0001f, -3.25f};
    EXPECT_EQ(subbasin_series_csv(dates, means, 2),
              "time,1,2\n"
              "2005-01-01T00:00,1.5,0.25\n"
              "2005-01-01T06:00,1e-04,-3.25\n");
}

TEST(ProgressLine, ShareDoneAndTimeLeftFromTheTimeTakenSoFar) {
    EXPECT_EQ(progress_text(0.005, 10.0), "gridrun: 0% done");  // too early to tell
    EXPECT_EQ(progress_text(0.5, 0.5), "gridrun: 50% done");    // under a second
    EXPECT_EQ(progress_text(0.25, 10.0), "gridrun: 25% done, about 30 s left");
    EXPECT_EQ(progress_text(0.4, 60.0), "gridrun: 40% done, about 1 min 30 s left");
    EXPECT_EQ(progress_text(0.1, 1000.0), "gridrun: 10% done, about 2 h 30 min left");
    EXPECT_EQ(progress_text(1.0, 50.0), "gridrun: 100% done");
    // It fits under a per-cell line (45 characters), which overwrites it.
    EXPECT_LE(progress_text(0.011, 35000.0).size(), 45u);
}

}  // namespace
