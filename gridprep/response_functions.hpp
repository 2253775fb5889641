// Unit responses of the routing: the first-passage-time density of the
// advection-dispersion equation, integrated over the time steps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "travel_time.hpp"

namespace gridprep {

// Ordinates at lags first, first + 1, ..., in time steps; they sum to 1.
struct Response {
    int32_t first = 0;
    std::vector<double> ordinates;
    int32_t last() const { return first + static_cast<int32_t>(ordinates.size()) - 1; }
    double mean_lag() const;
};

// Cumulative distribution F(t) of the first-passage time with mean mu and
// variance sigma^2 (t, mu in time steps). The first passage of the
// advection-dispersion equation over a distance L at velocity v with
// dispersion D has the density
//     f(t) = L / sqrt(4 pi D t^3) exp(-(L - v t)^2 / (4 D t)),
// the inverse Gaussian with mu = L / v and lambda = L^2 / (2 D) = mu^3 / sigma^2:
//     F(t) = Phi(a) + exp(2 lambda / mu) Phi(-b),
//     a = sqrt(lambda / t) (t / mu - 1),  b = sqrt(lambda / t) (t / mu + 1).
// The second term is formed as phi(a) M(b) with Mills' ratio
// M(b) = Phi(-b) / phi(b) (exp(2 lambda / mu) phi(b) = phi(a) exactly), which
// stays finite for sharp responses where exp(2 lambda / mu) overflows.
double passage_cdf(double t, double mu, double variance);

// Shares P_j (j = 0, 1, ...) of a volume released evenly during one time
// step that arrives during the j-th step after it. With release at a
// uniform time u in (0, 1) of the step and travel time T, arrival falls in
// step j when j < u + T <= j + 1, so
//     P_j = integral of f(t) w(t - j) dt,   w(x) = 1 - |x| for |x| < 1,
//     P_j = G(j + 1) - 2 G(j) + G(j - 1),   G(t) = integral from 0 to t of F,
// and G has the closed form  G(t) = t F(t) - mu (Phi(a) - phi(a) M(b))
// (the integral of s f(s) is mu (Phi(a) - exp(2 lambda / mu) Phi(-b))).
// The shares are returned up to the step where their sum reaches 1 - tail.
std::vector<double> arrival_shares(const TravelTime& t, double tail);

// Response of a subbasin outlet at the basin outlet: lag m is P_m (the
// river routing adds no step of its own). Tails of total mass `tail` are
// cut off at both ends and the rest is scaled to sum to 1.
Response river_response(const TravelTime& t, double tail = 1e-4);

// Response of a cell: the model delivers lag k one step after the step the
// water was made in, so lag k is P_(k+1), and the water that would arrive
// in the step it was made in (P_0) is given lag 0 as well.
Response cell_response(const TravelTime& t, double tail = 1e-4);

// Folds the ordinates beyond lag max_last into lag max_last (the model's
// responses may not reach past the longest cell-to-basin-outlet response).
void limit_last_lag(Response& r, int32_t max_last);

// One line of a response file: first lag, last lag, the ordinates. The
// ordinates are rounded to multiples of 1e-9 by largest remainders, so that
// the written decimals sum to exactly 1; zero ordinates at the ends are
// dropped.
std::string format_response(const Response& r);

}  // namespace gridprep
