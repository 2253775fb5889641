// Observed discharge files: the three date forms, missing values, matching to
// the model's steps, and refusals with the file and line.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "input_error.hpp"
#include "observed_discharge.hpp"

namespace {

using hydro::InputError;
using hydro::parse_observed_discharge;
using hydro::step_key;

TEST(ObservedDischarge, ReadsDateFormsAndMissingValues) {
    const auto obs = parse_observed_discharge("q.csv",
                                              "\xEF\xBB\xBF" "date,discharge\r\n"
                                              "2012-01-01,1.5\r\n"
                                              "2012-01-02 06:00, 2.25 \n"
                                              "\n"
                                              "2012-01-02T07:00,NA\n"
                                              "2012-01-03,\n"
                                              "2012-01-04,nan\n"
                                              "2012-01-05,-1\n"
                                              "2012-02-29,3e1\n");
    const std::vector<int64_t> keys{step_key(2012, 1, 1, 0), step_key(2012, 1, 2, 6), step_key(2012, 1, 2, 7),
                                    step_key(2012, 1, 3, 0), step_key(2012, 1, 4, 0), step_key(2012, 1, 5, 0),
                                    step_key(2012, 2, 29, 0)};
    ASSERT_EQ(obs.records.size(), keys.size());
    const std::vector<int> lines{2, 3, 5, 6, 7, 8, 9};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(obs.records[i].key, keys[i]) << i;
        EXPECT_EQ(obs.records[i].line, lines[i]) << i;
    }
    EXPECT_EQ(obs.records[0].discharge, 1.5);
    EXPECT_EQ(obs.records[1].discharge, 2.25);
    for (std::size_t i = 2; i < 6; ++i) EXPECT_TRUE(std::isnan(obs.records[i].discharge)) << i;
    EXPECT_EQ(obs.records[6].discharge, 30.0);

    // Steps: one before the record, two with values, one missing, one absent.
    const std::vector<int64_t> steps{step_key(2011, 12, 31, 0), step_key(2012, 1, 1, 0), step_key(2012, 1, 3, 0),
                                     step_key(2012, 1, 2, 6), step_key(2012, 1, 9, 0)};
    const auto m = hydro::match_observations(obs, steps);
    EXPECT_EQ(m.steps, (std::vector<std::size_t>{1, 3}));
    EXPECT_EQ(m.discharge, (std::vector<double>{1.5, 2.25}));
}

TEST(ObservedDischarge, RefusesBadFilesWithTheLine) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"2012-01-01,1\n", "q.csv, line 1: expected a header line naming the columns"},
        {"date;discharge\n", "q.csv, line 1: expected a header line of two columns"},
        {"", "q.csv: expected a header line"},
        {"date,discharge\n2012-01-01 1.5\n", "q.csv, line 2: expected a record date,discharge"},
        {"date,discharge\n2012-01-01,1,2\n", "q.csv, line 2: expected two fields"},
        {"date,discharge\n2012-13-01,1\n", "q.csv, line 2: expected a date"},
        {"date,discharge\n2013-02-29,1\n", "q.csv, line 2: expected a date"},
        {"date,discharge\n2012-01-01 24:00,1\n", "line 2: expected a date"},
        {"date,discharge\n2012-01-01 06:30,1\n", "line 2: expected a date"},
        {"date,discharge\n01/02/2012,1\n", "line 2: expected a date"},
        {"date,discharge\n2012-01-02,1\n\n2012-01-01,1\n", "q.csv, line 4: expected a date after the one on line 2"},
        {"date,discharge\n2012-01-02,1\n2012-01-02 00:00,1\n", "line 3: expected a date after the one on line 2"},
        {"date,discharge\n2012-01-02,abc\n", "q.csv, line 2: expected a discharge in m3/s"},
        {"date,discharge\n2012-01-02,inf\n", "line 2: expected a discharge"},
        {"date,discharge\n2012-01-02,1e999\n", "line 2: expected a discharge"},
    };
    for (const auto& c : cases) {
        try {
            parse_observed_discharge("q.csv", c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(ObservedDischarge, RefusesAFileThatMatchesNoStep) {
    const auto obs = parse_observed_discharge("q.csv", "date,discharge\n2012-01-01,NA\n2012-01-02,4\n");
    const std::vector<int64_t> steps{step_key(2012, 1, 1, 0), step_key(2012, 1, 3, 0)};
    try {
        hydro::match_observations(obs, steps);
        ADD_FAILURE();
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("q.csv: expected an observed discharge on a date and hour of the run"),
                  std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("2012-01-01 00:00 to 2012-01-02 00:00"), std::string::npos) << e.what();
    }
}

}  // namespace
