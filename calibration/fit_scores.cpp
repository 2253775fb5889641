#include "fit_scores.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "input_error.hpp"

namespace hydro {

namespace {

double nse_of(std::span<const double> s, std::span<const double> o) {
    double mean = 0;
    for (double v : o) mean += v;
    mean /= static_cast<double>(o.size());
    double err = 0, var = 0;
    for (std::size_t i = 0; i < o.size(); ++i) {
        err += (s[i] - o[i]) * (s[i] - o[i]);
        var += (o[i] - mean) * (o[i] - mean);
    }
    return var > 0 ? 1.0 - err / var : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

FitScores fit_scores(std::span<const double> s, std::span<const double> o, std::span<const std::size_t> steps) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    FitScores f;
    f.n = o.size();
    if (f.n == 0) {
        f.nse = f.kge = f.kge_r = f.kge_alpha = f.kge_beta = f.log_nse = nan;
        f.percent_bias = f.rmse = f.peak_error_percent = f.observed_peak = f.simulated_peak = nan;
        return f;
    }
    const double n = static_cast<double>(f.n);
    double sum_s = 0, sum_o = 0, sq = 0;
    std::size_t peak_o = 0, peak_s = 0;
    for (std::size_t i = 0; i < f.n; ++i) {
        sum_s += s[i];
        sum_o += o[i];
        sq += (s[i] - o[i]) * (s[i] - o[i]);
        if (o[i] > o[peak_o]) peak_o = i;
        if (s[i] > s[peak_s]) peak_s = i;
    }
    const double mean_s = sum_s / n, mean_o = sum_o / n;
    double var_s = 0, var_o = 0, cov = 0;
    for (std::size_t i = 0; i < f.n; ++i) {
        var_s += (s[i] - mean_s) * (s[i] - mean_s);
        var_o += (o[i] - mean_o) * (o[i] - mean_o);
        cov += (s[i] - mean_s) * (o[i] - mean_o);
    }
    f.nse = nse_of(s, o);
    f.kge_r = var_s > 0 && var_o > 0 ? cov / std::sqrt(var_s * var_o) : nan;
    f.kge_alpha = var_o > 0 ? std::sqrt(var_s / var_o) : nan;
    f.kge_beta = mean_o != 0 ? mean_s / mean_o : nan;
    f.kge = 1.0 - std::sqrt((f.kge_r - 1) * (f.kge_r - 1) + (f.kge_alpha - 1) * (f.kge_alpha - 1) +
                            (f.kge_beta - 1) * (f.kge_beta - 1));
    if (mean_o > 0) {
        const double eps = mean_o / 100.0;
        std::vector<double> ls(f.n), lo(f.n);
        for (std::size_t i = 0; i < f.n; ++i) {
            ls[i] = std::log(std::max(s[i], 0.0) + eps);
            lo[i] = std::log(o[i] + eps);
        }
        f.log_nse = nse_of(ls, lo);
    } else {
        f.log_nse = nan;
    }
    f.percent_bias = sum_o != 0 ? 100.0 * (sum_s - sum_o) / sum_o : nan;
    f.rmse = std::sqrt(sq / n);
    f.observed_peak = o[peak_o];
    f.simulated_peak = s[peak_s];
    f.peak_error_percent = o[peak_o] > 0 ? 100.0 * (s[peak_s] - o[peak_o]) / o[peak_o] : nan;
    f.observed_peak_step = steps.empty() ? peak_o : steps[peak_o];
    f.simulated_peak_step = steps.empty() ? peak_s : steps[peak_s];
    return f;
}

FitScores score_run(std::span<const double> simulated_per_step, const MatchedObservations& observed, std::size_t warmup,
                    const std::string& observed_path) {
    std::vector<double> s, o;
    std::vector<std::size_t> steps;
    for (std::size_t i = 0; i < observed.steps.size(); ++i) {
        const std::size_t step = observed.steps[i];
        if (step < warmup || step >= simulated_per_step.size()) continue;
        s.push_back(simulated_per_step[step]);
        o.push_back(observed.discharge[i]);
        steps.push_back(step);
    }
    if (o.empty())
        throw InputError(
            observed_path, 0, "observations after the warm-up of " + std::to_string(warmup) + " steps",
            "none (the last observed step is " +
                (observed.steps.empty() ? std::string("none") : std::to_string(observed.steps.back() + 1)) + ")");
    return fit_scores(s, o, steps);
}

}  // namespace hydro
