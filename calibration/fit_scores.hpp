// How well a simulated hydrograph matches the observed one, over the steps
// that have an observation, after a warm-up. Everything is computed in
// double precision from the flows as given.
//
//   NSE       1 - sum (s - o)^2 / sum (o - mean o)^2
//   KGE       1 - sqrt((r - 1)^2 + (alpha - 1)^2 + (beta - 1)^2)  (Gupta et al. 2009)
//             r: linear correlation of s and o; alpha = sigma_s / sigma_o
//             (population standard deviations); beta = mean s / mean o
//   log NSE   NSE of ln(q + eps) for both series, eps = mean o / 100, so that
//             zero flows (dry steps) have a finite logarithm
//   bias      100 x sum (s - o) / sum o, percent (positive: too much water)
//   RMSE      sqrt(mean (s - o)^2), m3/s
//   peak      100 x (highest s - highest o) / highest o, percent, with the
//             steps of both peaks
// A score that the data cannot define (no variance, a zero mean, fewer than
// two steps) is NaN.
#pragma once

#include <cstddef>
#include <span>

#include "observed_discharge.hpp"

namespace hydro {

struct FitScores {
    std::size_t n = 0;  // steps scored
    double nse = 0, kge = 0, kge_r = 0, kge_alpha = 0, kge_beta = 0, log_nse = 0;
    double percent_bias = 0, rmse = 0, peak_error_percent = 0;
    double observed_peak = 0, simulated_peak = 0;
    std::size_t observed_peak_step = 0, simulated_peak_step = 0;  // model steps, from 0
};

// Scores of paired series (simulated[i] against observed[i]); `steps` gives
// the model step of each pair (for the peak steps) and may be empty.
FitScores fit_scores(std::span<const double> simulated, std::span<const double> observed,
                     std::span<const std::size_t> steps = {});

// Scores of a run's outlet flow (one value per model step) against the
// observations, leaving out the first `warmup` steps. Throws InputError when
// no observation is left after the warm-up.
FitScores score_run(std::span<const double> simulated_per_step, const MatchedObservations& observed, std::size_t warmup,
                    const std::string& observed_path);

}  // namespace hydro
