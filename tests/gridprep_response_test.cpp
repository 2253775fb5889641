// The first-passage responses: their distribution, their shares per time
// step, the lag conventions of cell and river responses, and the written lines.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <sstream>

#include "response_functions.hpp"

namespace {

using namespace gridprep;

// The first-passage density in mean / variance form, integrated by Simpson's rule.
double density(double t, double mu, double var) {
    const double lambda = mu * mu * mu / var;
    return std::sqrt(lambda / (2 * M_PI * t * t * t)) * std::exp(-lambda * (t - mu) * (t - mu) / (2 * mu * mu * t));
}
double integrated_density(double t, double mu, double var) {
    const int n = 20000;
    const double h = t / n;
    double s = 0;
    for (int k = 1; k < n; ++k) s += (k % 2 ? 4 : 2) * density(k * h, mu, var);
    return (s + density(t, mu, var)) * h / 3;
}

struct Passage {
    double mu, var;
};

class GridprepPassageDistribution : public ::testing::TestWithParam<Passage> {};

TEST_P(GridprepPassageDistribution, IsTheIntegralOfTheDensity) {
    const Passage p = GetParam();
    for (double f : {0.3, 0.8, 1.0, 1.5, 3.0})
        EXPECT_NEAR(passage_cdf(f * p.mu, p.mu, p.var), integrated_density(f * p.mu, p.mu, p.var), 1e-7)
            << "t = " << f << " mu";
}

TEST_P(GridprepPassageDistribution, StepSharesSumToOneAndKeepTheMeanTravelTime) {
    const Passage p = GetParam();
    const std::vector<double> shares = arrival_shares(TravelTime{p.mu, p.var}, 1e-12);
    double sum = 0, mean = 0;
    for (std::size_t j = 0; j < shares.size(); ++j) {
        EXPECT_GE(shares[j], 0.0);
        sum += shares[j];
        mean += static_cast<double>(j) * shares[j];
    }
    EXPECT_NEAR(sum, 1.0, 1e-9);
    // Release spread evenly over a step and arrival counted by whole steps keep the mean.
    EXPECT_NEAR(mean, p.mu, 1e-6 * std::max(1.0, p.mu));
}

// Sharp (Peclet number in the thousands), ordinary and strongly dispersed responses.
INSTANTIATE_TEST_SUITE_P(Shapes, GridprepPassageDistribution,
                         ::testing::Values(Passage{4.0, 0.01}, Passage{4.0, 1.0}, Passage{2.5, 4.0},
                                           Passage{30.0, 20.0}, Passage{0.7, 0.05}, Passage{12.0, 300.0}));

TEST(GridprepStepShares, PureAdvectionSplitsBetweenNeighbouringSteps) {
    auto shares = [](double mu) { return arrival_shares(TravelTime{mu, 0.0}, 1e-9); };
    const std::vector<double> whole = shares(3.0), half = shares(2.5), none = shares(0.0);
    EXPECT_NEAR(whole[3], 1.0, 1e-12);
    EXPECT_NEAR(half[2], 0.5, 1e-12);
    EXPECT_NEAR(half[3], 0.5, 1e-12);
    EXPECT_NEAR(none[0], 1.0, 1e-12);
}

TEST(GridprepResponses, RiverAndCellLagConventions) {
    // Water at the basin outlet itself: the river passes it on in the same
    // step; a cell's water arrives one step later, which is lag 0 of a cell.
    const Response river0 = river_response(TravelTime{0.0, 0.0});
    EXPECT_EQ(river0.first, 0);
    EXPECT_EQ(river0.ordinates, std::vector<double>{1.0});
    const Response cell0 = cell_response(TravelTime{0.2, 0.001});
    EXPECT_EQ(cell0.first, 0);
    EXPECT_EQ(cell0.last(), 0);
    // Three steps of travel: lag 3 for the river, lag 2 for a cell (plus the model's step).
    EXPECT_EQ(river_response(TravelTime{3.0, 1e-12}).first, 3);
    EXPECT_EQ(cell_response(TravelTime{3.0, 1e-12}).first, 2);
}

TEST(GridprepResponses, MeanLagGrowsWithFlowDistance) {
    // Cells further up a uniform path: mean and variance grow with the distance.
    double previous_cell = -1, previous_river = -1;
    for (int cells = 1; cells <= 40; ++cells) {
        const TravelTime t{0.35 * cells, 0.02 * cells};
        const Response c = cell_response(t), r = river_response(t);
        EXPECT_NEAR(std::accumulate(c.ordinates.begin(), c.ordinates.end(), 0.0), 1.0, 1e-12);
        EXPECT_NEAR(std::accumulate(r.ordinates.begin(), r.ordinates.end(), 0.0), 1.0, 1e-12);
        EXPECT_GE(c.mean_lag(), previous_cell);
        EXPECT_GT(r.mean_lag(), previous_river);
        if (t.mean > 3) {
            EXPECT_NEAR(c.mean_lag(), t.mean - 1.0, 0.01);
        }
        previous_cell = c.mean_lag();
        previous_river = r.mean_lag();
    }
}

TEST(GridprepResponses, TailsAreCutAtTheGivenMass) {
    const TravelTime t{10.0, 25.0};
    const Response loose = river_response(t, 1e-2), tight = river_response(t, 1e-6);
    EXPECT_GT(loose.first, tight.first);
    EXPECT_LT(loose.last(), tight.last());
    EXPECT_GT(tight.ordinates.front(), 0.0);
    EXPECT_GT(tight.ordinates.back(), 0.0);
}

TEST(GridprepResponses, LimitingTheLastLagKeepsTheVolume) {
    Response r{2, {0.1, 0.2, 0.3, 0.4}};
    limit_last_lag(r, 3);
    EXPECT_EQ(r.first, 2);
    ASSERT_EQ(r.ordinates.size(), 2u);
    EXPECT_DOUBLE_EQ(r.ordinates[1], 0.9);
    Response beyond{7, {0.5, 0.5}};
    limit_last_lag(beyond, 3);
    EXPECT_EQ(beyond.first, 3);
    EXPECT_EQ(beyond.ordinates, std::vector<double>{1.0});
    Response inside{0, {1.0}};
    limit_last_lag(inside, 3);
    EXPECT_EQ(inside.last(), 0);
}

// Parses a written line: first, last, ordinates in units of 1e-9.
struct Written {
    int first = 0, last = 0;
    std::vector<long long> units;
};
Written parse_line(const std::string& line) {
    Written w;
    std::istringstream in(line);
    in >> w.first >> w.last;
    for (std::string tok; in >> tok;) {
        if (tok == "1") {
            w.units.push_back(1000000000);
            continue;
        }
        EXPECT_EQ(tok.rfind("0.", 0), 0u) << tok;
        std::string digits = tok.substr(2);
        EXPECT_LE(digits.size(), 9u);
        digits.resize(9, '0');
        w.units.push_back(std::stoll(digits));
    }
    return w;
}

struct LineCase {
    const char* name;
    Response r;
    int first, last;
};

class GridprepWrittenResponse : public ::testing::TestWithParam<LineCase> {};

TEST_P(GridprepWrittenResponse, DecimalsSumToExactlyOne) {
    const LineCase& c = GetParam();
    const std::string line = format_response(c.r);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('e'), std::string::npos) << "plain decimals only";
    const Written w = parse_line(line);
    EXPECT_EQ(w.first, c.first);
    EXPECT_EQ(w.last, c.last);
    ASSERT_EQ(static_cast<int>(w.units.size()), w.last - w.first + 1);
    EXPECT_EQ(std::accumulate(w.units.begin(), w.units.end(), 0LL), 1000000000LL);
    EXPECT_GT(w.units.front(), 0);
    EXPECT_GT(w.units.back(), 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, GridprepWrittenResponse,
                         ::testing::Values(LineCase{"single", Response{0, {1.0}}, 0, 0},
                                           LineCase{"thirds", Response{4, {1.0 / 3, 1.0 / 3, 1.0 / 3}}, 4, 6},
                                           LineCase{"unnormalised", Response{1, {2.0, 6.0}}, 1, 2},
                                           LineCase{"tiny_ends_vanish", Response{0, {1e-12, 0.5, 0.5, 3e-11}}, 1, 2},
                                           LineCase{"many_sevenths", Response{2, std::vector<double>(7, 1.0 / 7)}, 2,
                                                    8}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
