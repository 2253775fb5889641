#include "response_functions.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace gridprep {

namespace {

constexpr double kInvSqrt2 = 0.70710678118654752440;
constexpr double kInvSqrt2Pi = 0.39894228040143267794;

double normal_cdf(double x) { return 0.5 * std::erfc(-x * kInvSqrt2); }
double normal_pdf(double x) { return kInvSqrt2Pi * std::exp(-0.5 * x * x); }

// Mills' ratio Phi(-b) / phi(b) for b >= 0. Below 6 directly; above, by its
// continued fraction 1 / (b + 1 / (b + 2 / (b + 3 / (b + ...)))).
double mills_ratio(double b) {
    if (b < 6.0) return 0.5 * std::erfc(b * kInvSqrt2) / normal_pdf(b);
    double tail = b;
    for (int k = 60; k >= 1; --k) tail = b + k / tail;
    return 1.0 / tail;
}

bool is_sharp(double mu, double variance) { return variance <= 1e-14 * std::max(mu * mu, 1e-300); }

// G(t) = integral from 0 to t of F(s) ds.
double integrated_cdf(double t, double mu, double variance) {
    if (t <= 0.0) return 0.0;
    if (mu <= 1e-12) return t;                               // no delay: F = 1 from t = 0
    if (is_sharp(mu, variance)) return std::max(0.0, t - mu);  // pure advection
    const double lambda = mu * mu * mu / variance;
    const double root = std::sqrt(lambda / t);
    const double a = root * (t / mu - 1.0), b = root * (t / mu + 1.0);
    const double second = normal_pdf(a) * mills_ratio(b);
    const double first = normal_cdf(a);
    return t * (first + second) - mu * (first - second);
}

Response trimmed(std::vector<double> shares, int32_t first_lag, double tail) {
    const double total = std::accumulate(shares.begin(), shares.end(), 0.0);
    std::size_t lo = 0, hi = shares.size();
    double cut = 0.0;
    while (lo + 1 < hi && cut + shares[lo] <= 0.5 * tail * total) cut += shares[lo++];
    cut = 0.0;
    while (hi - 1 > lo && cut + shares[hi - 1] <= 0.5 * tail * total) cut += shares[--hi];
    Response r;
    r.first = first_lag + static_cast<int32_t>(lo);
    r.ordinates.assign(shares.begin() + static_cast<std::ptrdiff_t>(lo), shares.begin() + static_cast<std::ptrdiff_t>(hi));
    const double kept = std::accumulate(r.ordinates.begin(), r.ordinates.end(), 0.0);
    if (kept > 0.0) {
        for (double& o : r.ordinates) o /= kept;
    } else {
        r.ordinates.assign(1, 1.0);
    }
    return r;
}

}  // namespace

double Response::mean_lag() const {
    double m = 0.0, s = 0.0;
    for (std::size_t k = 0; k < ordinates.size(); ++k) {
        m += (first + static_cast<double>(k)) * ordinates[k];
        s += ordinates[k];
    }
    return s > 0.0 ? m / s : 0.0;
}

double passage_cdf(double t, double mu, double variance) {
    if (t <= 0.0) return 0.0;
    if (mu <= 1e-12) return 1.0;
    if (is_sharp(mu, variance)) return t >= mu ? 1.0 : 0.0;
    const double lambda = mu * mu * mu / variance;
    const double root = std::sqrt(lambda / t);
    const double a = root * (t / mu - 1.0), b = root * (t / mu + 1.0);
    return std::min(1.0, normal_cdf(a) + normal_pdf(a) * mills_ratio(b));
}

std::vector<double> arrival_shares(const TravelTime& t, double tail) {
    const double mu = std::max(0.0, t.mean), var = std::max(0.0, t.variance);
    std::vector<double> p;
    double g_prev = 0.0, g_here = 0.0;  // G(j - 1), G(j)
    // A response longer than this many steps is cut (its rest is beyond any run).
    const int64_t max_steps = 10'000'000;
    for (int64_t j = 0; j < max_steps; ++j) {
        const double g_next = integrated_cdf(static_cast<double>(j + 1), mu, var);
        p.push_back(std::max(0.0, g_next - 2.0 * g_here + g_prev));
        // Sum of P_0 .. P_j = G(j + 1) - G(j).
        if (g_next - g_here >= 1.0 - 0.5 * tail && static_cast<double>(j) >= mu) break;
        g_prev = g_here;
        g_here = g_next;
    }
    return p;
}

Response river_response(const TravelTime& t, double tail) { return trimmed(arrival_shares(t, tail), 0, tail); }

Response cell_response(const TravelTime& t, double tail) {
    std::vector<double> p = arrival_shares(t, tail);
    if (p.size() >= 2) {
        p[1] += p[0];
        p.erase(p.begin());
    }
    return trimmed(std::move(p), 0, tail);
}

void limit_last_lag(Response& r, int32_t max_last) {
    if (r.last() <= max_last) return;
    if (r.first >= max_last) {
        r.first = std::max(0, max_last);
        r.ordinates.assign(1, 1.0);
        return;
    }
    const std::size_t keep = static_cast<std::size_t>(max_last - r.first + 1);
    double beyond = 0.0;
    for (std::size_t k = keep; k < r.ordinates.size(); ++k) beyond += r.ordinates[k];
    r.ordinates.resize(keep);
    r.ordinates.back() += beyond;
}

std::string format_response(const Response& r) {
    constexpr int64_t kUnits = 1'000'000'000;
    const std::size_t n = r.ordinates.size();
    const double total = std::accumulate(r.ordinates.begin(), r.ordinates.end(), 0.0);
    std::vector<int64_t> units(n, 0);
    std::vector<std::pair<double, std::size_t>> remainders;
    int64_t given = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double exact = total > 0.0 ? r.ordinates[k] / total * static_cast<double>(kUnits) : 0.0;
        units[k] = static_cast<int64_t>(std::floor(exact));
        given += units[k];
        remainders.emplace_back(-(exact - static_cast<double>(units[k])), k);
    }
    if (n == 0 || given == 0) {
        units.assign(std::max<std::size_t>(n, 1), 0);
        units[0] = kUnits;
    } else {
        std::stable_sort(remainders.begin(), remainders.end());
        for (std::size_t m = 0; given < kUnits; ++m, ++given) ++units[remainders[m % n].second];
    }
    std::size_t lo = 0, hi = units.size();
    while (lo + 1 < hi && units[lo] == 0) ++lo;
    while (hi - 1 > lo && units[hi - 1] == 0) --hi;
    const int32_t first = r.first + static_cast<int32_t>(lo);
    const int32_t last = r.first + static_cast<int32_t>(hi) - 1;
    std::string line = std::to_string(first) + " " + std::to_string(last);
    for (std::size_t k = lo; k < hi; ++k) {
        line += ' ';
        if (units[k] == kUnits) {
            line += '1';
        } else if (units[k] == 0) {
            line += '0';
        } else {
            std::string digits = std::to_string(units[k]);
            digits.insert(0, 9 - digits.size(), '0');
            while (!digits.empty() && digits.back() == '0') digits.pop_back();
            line += "0." + digits;
        }
    }
    line += '\n';
    return line;
}

}  // namespace gridprep
