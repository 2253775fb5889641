// Station series files (p.txt, pet.txt, t.txt) and the calendar of the run
// taken from p.txt's date fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calendar.hpp"
#include "input_error.hpp"
#include "station_series.hpp"
#include "test_support.hpp"

namespace {

using namespace hydro;
using namespace testing_support;

TEST(RecordDates, OnlyDatesOfTheCalendarPass) {
    struct Case {
        RecordDate d;
        const char* refused;
    };  // refused: what the message expects, or nullptr
    const std::vector<Case> cases = {
        {{2000, 2, 29, 0}, nullptr},
        {{1900, 2, 29, 0}, "a day from 1 to 28 (month 2 of 1900)"},
        {{2004, 2, 29, 23}, nullptr},
        {{2001, 2, 31, 0}, "a day from 1 to 28"},
        {{2001, 4, 31, 0}, "a day from 1 to 30"},
        {{2001, 12, 31, 0}, nullptr},
        {{2001, 1, 0, 0}, "a day from 1 to 31"},
        {{2001, 0, 1, 0}, "a month from 1 to 12"},
        {{2001, -5, 1, 0}, "a month from 1 to 12"},
        {{2001, 13, 1, 0}, "a month from 1 to 12"},
        {{2001, 1, 1, 24}, "an hour from 0 to 23"},
        {{2001, 1, 1, -7}, "an hour from 0 to 23"},
        {{2001, 1, 1, 99}, "an hour from 0 to 23"},
    };
    FreeFormatReader in("p.txt", "year month day hour 1\n2001 1 1 0 1\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.d.year) + "-" + std::to_string(c.d.month) + "-" + std::to_string(c.d.day) + " " +
                     std::to_string(c.d.hour));
        if (!c.refused) {
            EXPECT_NO_THROW(check_record_date(in, c.d, 0));
            continue;
        }
        try {
            check_record_date(in, c.d, 0);
            ADD_FAILURE() << "accepted";
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find(c.refused), std::string::npos) << e.what();
        }
    }
}

TEST(RecordDates, HoursBetweenCountLeapDaysAndYears) {
    EXPECT_EQ(hours_between(2001, 1, 1, 0, 2001, 1, 2, 0), 24);
    EXPECT_EQ(hours_between(2000, 2, 28, 12, 2000, 3, 1, 6), 42);  // through 29 February
    EXPECT_EQ(hours_between(1900, 2, 28, 0, 1900, 3, 1, 0), 24);
    EXPECT_EQ(hours_between(1999, 12, 31, 23, 2000, 1, 1, 0), 1);
    EXPECT_EQ(hours_between(2000, 1, 1, 0, 2001, 1, 1, 0), 366 * 24);
    EXPECT_EQ(hours_between(2001, 1, 1, 6, 2001, 1, 1, 0), -6);
}

struct DayCase {
    int32_t year, month, day, expected;
};

TEST(Calendar, DayOfYearWithGregorianLeapYears) {
    const std::vector<DayCase> cases = {
        {2001, 1, 1, 1},
        {2001, 1, 31, 31},
        {2001, 3, 15, 74},
        {2000, 3, 15, 75},
        {2000, 12, 31, 366},
        {2001, 12, 31, 365},
        {1900, 3, 15, 74},
        {1896, 3, 15, 75},
        {2100, 3, 1, 60},
        {2400, 3, 1, 61},
        {2004, 2, 29, 60},
        {1850, 12, 31, 365},
        {2008, 7, 4, 186},
        // months outside the calendar count only the months that exist
        {2001, 0, 5, 5},
        {2001, 13, 1, 366},
        {2000, 14, 2, 368},
    };
    for (const DayCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
        EXPECT_EQ(day_of_year(c.year, c.month, c.day), c.expected);
    }
}

TEST(Calendar, StepsCarryDayOfYearAndDateCode) {
    StepCalendar cal;
    cal.append(2000, 12, 31, 23);
    cal.append(1900, 3, 1, 6);
    ASSERT_EQ(cal.size(), 2u);
    EXPECT_EQ(cal.day_of_year[0], 366);
    EXPECT_EQ(cal.day_of_year[1], 60);
    EXPECT_EQ(cal.date_code[0], 2000123123);
    EXPECT_EQ(cal.date_code[1], 1900030106);
}

TEST(Calendar, DatesReadBackAsAppendedWithOneRunPerChangeOfSpacing) {
    const std::vector<StepDate> dates = {
        {2000, 2, 28, 22}, {2000, 2, 28, 23},  {2000, 2, 29, 0}, {2000, 3, 1, 0},  {2000, 3, 1, 1},  // leap day, a gap
        {2000, 3, 1, 1},   {1999, 12, 31, 23}, {2001, 13, 1, 0}, {2001, 1, 1, 24},  // repeated, backwards, outside
        {2001, 1, 2, 0},   {2001, 1, 3, 0},    {2001, 1, 4, 0},                     // daily
    };
    StepCalendar cal;
    for (const StepDate& d : dates) cal.append(d.year, d.month, d.day, d.hour);
    ASSERT_EQ(cal.size(), dates.size());
    EXPECT_EQ(cal.run_count(), 6u);
    for (std::size_t t = 0; t < dates.size(); ++t) {
        const StepDate& d = dates[t];
        SCOPED_TRACE(t);
        EXPECT_EQ(cal.year[t], d.year);
        EXPECT_EQ(cal.month[t], d.month);
        EXPECT_EQ(cal.day[t], d.day);
        EXPECT_EQ(cal.hour[t], d.hour);
        EXPECT_EQ(cal.day_of_year[t], day_of_year(d.year, d.month, d.day));
        EXPECT_EQ(cal.date_code[t], date_code(d.year, d.month, d.day, d.hour));
    }
    EXPECT_EQ(cal.hour_number(3) - cal.hour_number(2), 24);
    EXPECT_EQ(cal.hour_number(7) - cal.hour_number(6), hours_between(1999, 12, 31, 23, 2001, 13, 1, 0));
}

struct CountCase {
    const char* name;
    std::string text;
    int32_t limit;
    int32_t expected;
};

TEST(StationSeries, CountsTheRecordsAfterTheHeader) {
    const std::vector<CountCase> cases = {
        {"three records", "year month day hour 1 2\n2005 1 1 0 1 2\n2005 1 2 0 1 2\n2005 1 3 0 1 2\n", 100, 3},
        {"header only", "year month day hour 1 2\n", 100, 0},
        {"empty file", "", 100, 0},
        {"blank lines not counted", "h\n\n2005 1 1 0 1\n\n2005 1 2 0 1\n\n\n   \n", 100, 2},
        {"CRLF and byte order mark", "\xEF\xBB\xBFh\r\n2005 1 1 0 1\r\n2005 1 2 0 1\r\n\r\n", 100, 2},
        {"no final line end", "h\n2005 1 1 0 1\n2005 1 2 0 1", 100, 2},
        {"at most the limit", "h\n1\n2\n3\n4\n5\n", 3, 3},
    };
    TempDir dir("series");
    const std::string path = (dir.path() / "p.txt").string();
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(path, c.text);
        EXPECT_EQ(count_series_records(path, c.limit), c.expected);
    }
}

TEST(StationSeries, HeaderElevationsAreNumbersWhenReadInFull) {
    FreeFormatReader in("p.txt", "year month day hour 1.0319e3 1047.1 999\n2005 1 1 0 1 2 3\n");
    StationSeries s;
    size_series(in, s, 2, 1);
    read_series_header(in, s);
    EXPECT_EQ(s.elevation, (std::vector<float>{1031.9f, 1047.1f}));
    const RecordDate d = read_record_date(in, 0);
    EXPECT_EQ(d.year * 1000000 + d.month * 10000 + d.day * 100 + d.hour, 2005010100);

    FreeFormatReader named("p.txt", "year month day hour Berg Tal\n");
    EXPECT_THROW(read_series_header(named, s), InputError);
    FreeFormatReader skipped("p.txt", "year month day hour Berg Tal\n2005 1 1 0 1 2\n");
    skip_series_header(skipped);
    EXPECT_EQ(read_record_date(skipped, 0).year, 2005);
}

TEST(StationSeries, RecordsTakeExactlyTheStationCount) {
    // Station 3 exists in the file but no cell uses it; extra values are ignored,
    // the dates of pet.txt are passed over whatever they hold.
    FreeFormatReader p("p.txt", "h\n2005 1 1 0 1.5 2d-1 9\n\n2005,1,1,6,\t-5E-01 4\n");
    FreeFormatReader e("pet.txt", "h\r\n2005-01-01 00:00 x y 0.5 0.6\r\n1999 9 9 9\r\n0.7 0.8\r\n");
    StationSeries sp, se;
    size_series(p, sp, 2, 2);
    size_series(e, se, 2, 2);
    skip_series_header(p);
    skip_series_header(e);
    std::vector<RecordDate> dates;
    for (int32_t k = 0; k < 2; ++k) {
        dates.push_back(read_record_date(p, k));
        read_station_values(p, sp, k);
        skip_record_date(e, k);
        read_station_values(e, se, k);
    }
    EXPECT_EQ(dates[1].hour, 6);
    EXPECT_EQ(sp.values, (std::vector<float>{1.5f, -0.5f, 0.2f, 4.0f}));  // station-major
    EXPECT_FLOAT_EQ(sp.value(1, 0), 0.2f);
    EXPECT_EQ(se.values, (std::vector<float>{0.5f, 0.7f, 0.6f, 0.8f}));
}

struct SeriesErrorCase {
    const char* name;
    std::string text;
    int line;
    const char* found;
};

TEST(StationSeries, BadRecordsNameFileLineAndValue) {
    const std::vector<SeriesErrorCase> cases = {
        // A short record would borrow from the next line and shift the rest: refused on its own line.
        {"short record shifts into the next", "h\n2005 1 1 0 1 2\n2005 1 2 0 4 5 6\n", 2, "found 2"},
        {"year with a decimal point", "h\n2005 1 1 0 1 2 3\n2005.0 1 2 0 4 5 6\n", 3, "\"2005.0\""},
        {"missing value marked as text", "h\n2005 1 1 0 1 2 3\n2005 1 2 0 4 NA 6\n", 3, "\"NA\""},
        {"not-a-number value", "h\n2005 1 1 0 1 2 3\n2005 1 2 0 4 5 NaN\n", 3, "\"NaN\""},
        {"file ends early", "h\n2005 1 1 0 1 2 3\n", 2, "end of the file"},
    };
    for (const SeriesErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        FreeFormatReader in("/prj/model/input/p.txt", c.text);
        StationSeries s;
        size_series(in, s, 3, 2);
        skip_series_header(in);
        try {
            for (int32_t k = 0; k < 2; ++k) {
                read_record_date(in, k);
                read_station_values(in, s, k);
            }
            ADD_FAILURE() << "no error";
        } catch (const InputError& e) {
            const std::string msg = e.what();
            EXPECT_EQ(e.line(), c.line) << msg;
            EXPECT_NE(msg.find("/prj/model/input/p.txt"), std::string::npos) << msg;
            EXPECT_NE(msg.find(c.found), std::string::npos) << msg;
        }
    }
}

// Three records of three stations read as gridrun reads p.txt: the values, or the error.
std::string read_three_records(FreeFormatReader& in) {
    std::string got;
    try {
        StationSeries s;
        size_series(in, s, 3, 3);
        read_series_header(in, s);
        for (int32_t k = 0; k < 3; ++k) {
            const RecordDate d = read_record_date(in, k);
            check_record_date(in, d, k);
            got += std::to_string(d.day) + " ";
            read_station_values(in, s, k);
        }
        for (float v : s.values) got += std::to_string(v) + " ";
    } catch (const InputError& e) {
        got = std::string(e.what()) + " @" + std::to_string(e.line());
    }
    return got;
}

TEST(StationSeries, AFileReadThroughASmallBufferReadsAsTheWholeText) {
    const std::string long_value = std::string(300, '0') + "2.5";
    const std::vector<std::string> texts = {
        "\xEF\xBB\xBFy m d h 1 2 3\r\n2005 1 1 0 1 2 3 9\r\n\r\n2005 1 2 0\r\n4 5\r\n6\r\n2005 1 3 0 7 8 " + long_value,
        "y m d h 1 2 3\n2005 1 1 0 1 2 3\n2005 1 2 0 4 5\n2005 1 3 0 7 8 9\n",     // short record
        "y m d h 1 2 3\n2005 1 1 0 1 2 3\n2005 1 2 0 4 5 6\n2005 2 30 0 7 8 9\n",  // no such day
        "y m d h 1 2 3\n2005 1 1 0 1 2 3\n2005 1 2 0 4 " + long_value + "x 6\n",   // long bad value
        "y m d h 1 2 3\n2005 1 1 0 1 2 3\n2005 1 2 0 4 5 6\n\n\n",                 // ends early
        "y m d h 1 2\n2005 1 1 0 1 2 3\n",                                         // short header
    };
    TempDir dir("buffer");
    const std::string path = (dir.path() / "p.txt").string();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        write_file(path, texts[i]);
        FreeFormatReader whole(path, texts[i]);
        const std::string expected = read_three_records(whole);
        EXPECT_EQ(expected.find('@') == std::string::npos, i == 0) << expected;
        for (std::size_t bytes : {1, 2, 5, 16, 64}) {
            SCOPED_TRACE("text " + std::to_string(i) + ", buffer of " + std::to_string(bytes));
            FreeFormatReader in(path, bytes);
            EXPECT_EQ(in.size(), whole.size());
            EXPECT_EQ(read_three_records(in), expected);
        }
    }
}

TEST(StationSeries, RefusesSizesTheFileCannotHold) {
    FreeFormatReader in("p.txt", "h\n2005 1 1 0 1\n");
    StationSeries s;
    EXPECT_THROW(size_series(in, s, 100000, 100000), InputError);
    EXPECT_THROW(size_series(in, s, -1, 1), InputError);
    EXPECT_NO_THROW(size_series(in, s, 0, 1));
}

}  // namespace
