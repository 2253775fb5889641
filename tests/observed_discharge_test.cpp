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
                                              "\xEF\xBB\xBF"
                                              "date,discharge\r\n"
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

// The parameters file of a calibration shares the reader's habits.
#include "parameter_file.hpp"

namespace {

const std::vector<std::string> kNames{"pet_factor", "groundwater_scale", "conductivity_multiplier"};

TEST(ParameterFile, ReadsRangesAndInitialValues) {
    const auto p = hydro::parse_parameter_file("p.csv",
                                               "name,lower,upper,initial\r\n# soil\n\n"
                                               "conductivity_multiplier, 0.5, 2\n"
                                               "pet_factor,0.8,1.2,1.1\n",
                                               kNames);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].name, "conductivity_multiplier");
    EXPECT_EQ(p[0].line, 4);
    EXPECT_EQ(p[0].lower, 0.5);
    EXPECT_EQ(p[0].upper, 2.0);
    EXPECT_FALSE(p[0].initial);
    EXPECT_EQ(*p[1].initial, 1.1);
}

TEST(ParameterFile, RefusesBadLinesWithTheLine) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"runoff_exp,1,2\n", "p.csv, line 1: expected the name of a control-file parameter"},
        {"groundwater_sacle,1,2\n", "found \"groundwater_sacle\"; did you mean groundwater_scale?"},
        {"name,lower,upper\npet_factor,1\n", "p.csv, line 2: expected name,lower,upper"},
        {"pet_factor,1,2,1.5,9\n", "line 1: expected name,lower,upper"},
        {"pet_factor,1,1\n", "line 1: expected a lower bound below the upper bound, found 1 and 1"},
        {"pet_factor,2,1\n", "line 1: expected a lower bound below the upper bound"},
        {"pet_factor,,1\n", "line 1: expected a lower bound (a number), found an empty field"},
        {"pet_factor,0,nan\n", "line 1: expected an upper bound (a number)"},
        {"pet_factor,0,1,3\n", "line 1: expected an initial value within the bounds"},
        {"pet_factor,0,1\n\npet_factor,0,2\n", "p.csv, line 3: expected each parameter once (pet_factor is on line 1)"},
        {"conductivity_multiplier,-1,2\n", "line 1: expected a multiplier's bounds of 0 or more"},
        {"name,lower,upper\n# nothing\n", "p.csv: expected at least one parameter line"},
    };
    for (const auto& c : cases) {
        try {
            hydro::parse_parameter_file("p.csv", c.text, kNames);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

}  // namespace
