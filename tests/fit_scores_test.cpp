// Fit scores on series small enough to work by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fit_scores.hpp"
#include "input_error.hpp"

namespace {

TEST(FitScores, HandWorkedSeries) {
    // o = 1 5 6 (mean 4, sum of squared deviations 14); s = 2 4 6 (mean 4,
    // squared deviations 8); covariance sum (-2)(-3) + 0 + 2*2 = 10; errors 1 1 0.
    const std::vector<double> o{1, 5, 6}, s{2, 4, 6};
    const auto f = hydro::fit_scores(s, o, std::vector<std::size_t>{10, 11, 12});
    EXPECT_EQ(f.n, 3u);
    EXPECT_NEAR(f.nse, 1.0 - 2.0 / 14.0, 1e-15);
    EXPECT_NEAR(f.kge_r, 10.0 / std::sqrt(8.0 * 14.0), 1e-15);
    EXPECT_NEAR(f.kge_alpha, std::sqrt(8.0 / 14.0), 1e-15);
    EXPECT_NEAR(f.kge_beta, 1.0, 1e-15);
    EXPECT_NEAR(f.kge, 0.7497892, 1e-7);  // 1 - sqrt(0.0550888^2 + 0.2440711^2) = 1 - 0.2502108
    EXPECT_NEAR(f.percent_bias, 0.0, 1e-12);
    EXPECT_NEAR(f.rmse, std::sqrt(2.0 / 3.0), 1e-15);
    EXPECT_EQ(f.peak_error_percent, 0.0);
    EXPECT_EQ(f.observed_peak_step, 12u);

    // Too much water and too high a peak: sums 14 against 12, peaks 8 against 6.
    const std::vector<double> s2{2, 4, 8};
    const auto g = hydro::fit_scores(s2, o);
    EXPECT_NEAR(g.percent_bias, 100.0 * 2.0 / 12.0, 1e-12);
    EXPECT_NEAR(g.kge_beta, 14.0 / 12.0, 1e-15);
    EXPECT_NEAR(g.peak_error_percent, 100.0 * 2.0 / 6.0, 1e-12);
    EXPECT_EQ(g.simulated_peak, 8.0);
}

TEST(FitScores, LogFlowsOfDryStepsAndUndefinedScores) {
    // A perfect fit has log NSE 1 even with a zero flow (eps = mean / 100).
    const std::vector<double> o{0, 1, 3};
    EXPECT_EQ(hydro::fit_scores(o, o).log_nse, 1.0);
    EXPECT_EQ(hydro::fit_scores(o, o).kge, 1.0);
    // ln(0 + 4/300), ln(1 + 4/300), ln(3 + 4/300) against a simulated 0.5 on the dry step.
    const std::vector<double> s{0.5, 1, 3};
    const double l0 = std::log(4.0 / 300), l1 = std::log(1 + 4.0 / 300), l3 = std::log(3 + 4.0 / 300);
    const double mean = (l0 + l1 + l3) / 3, ls0 = std::log(0.5 + 4.0 / 300);
    const double var = (l0 - mean) * (l0 - mean) + (l1 - mean) * (l1 - mean) + (l3 - mean) * (l3 - mean);
    EXPECT_NEAR(hydro::fit_scores(s, o).log_nse, 1 - (ls0 - l0) * (ls0 - l0) / var, 1e-12);
    // A constant observation has no variance: NSE, KGE and r are undefined.
    const std::vector<double> flat{2, 2, 2};
    const auto f = hydro::fit_scores(s, flat);
    EXPECT_TRUE(std::isnan(f.nse));
    EXPECT_TRUE(std::isnan(f.kge));
    EXPECT_NEAR(f.rmse, std::sqrt((2.25 + 1 + 1) / 3), 1e-15);
}

TEST(FitScores, WarmUpLeavesOutTheFirstSteps) {
    hydro::MatchedObservations m;
    m.steps = {0, 2, 3, 4};
    m.discharge = {100, 1, 5, 6};
    const std::vector<double> sim{0, 9, 2, 4, 6};
    const auto f = hydro::score_run(sim, m, 1, "q.csv");
    EXPECT_EQ(f.n, 3u);
    EXPECT_NEAR(f.nse, 1.0 - 2.0 / 14.0, 1e-15);
    EXPECT_EQ(f.observed_peak_step, 4u);
    EXPECT_THROW(hydro::score_run(sim, m, 5, "q.csv"), hydro::InputError);
}

}  // namespace
