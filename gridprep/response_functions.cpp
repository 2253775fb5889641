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
    if (mu <= 1e-12) return t;                                 // no delay: F = 1 from t = 0
    if (is_sharp(mu, variance)) return std::max(0.0, t - mu);  // pure advection
    const double lambda = mu * mu * mu / variance;
    const double root = std::sqrt(lambda / t);
    const double a = root * (t / mu - 1.0), b = root * (t / mu + 1.0);
    const double second = normal_pdf(a) == 0.0 ? 0.0 : normal_pdf(a) * mills_ratio(b);  // 0 x a finite ratio
    const double first = normal_cdf(a);
    return t * (first + second) - mu * (first - second);
}

// G at t0 + 1, ..., t0 + n (n <= kAhead), the same numbers as integrated_cdf
// gives one by one: the continued fractions of the Mills ratio, a long chain
// of divisions each, run side by side for the arguments that need them.
constexpr int kAhead = 8;
void integrated_cdf_ahead(double t0, int n, double mu, double variance, double* g) {
    if (mu <= 1e-12 || is_sharp(mu, variance)) {
        for (int q = 0; q < n; ++q) g[q] = integrated_cdf(t0 + q + 1, mu, variance);
        return;
    }
    const double lambda = mu * mu * mu / variance;
    double first[kAhead], pdf[kAhead], ratio[kAhead], bs[kAhead], tail[kAhead];
    int lane_of[kAhead], lanes = 0;
    for (double& b : bs) b = 6.0;
    for (int q = 0; q < n; ++q) {
        const double t = t0 + q + 1;
        const double root = std::sqrt(lambda / t);
        const double a = root * (t / mu - 1.0), b = root * (t / mu + 1.0);
        first[q] = normal_cdf(a);
        pdf[q] = normal_pdf(a);
        ratio[q] = 0.0;
        if (pdf[q] == 0.0) continue;
        if (b < 6.0)
            ratio[q] = mills_ratio(b);
        else
            lane_of[lanes] = q, bs[lanes++] = b;
    }
    if (lanes > 0) {
        for (int l = 0; l < kAhead; ++l) tail[l] = bs[l];
        for (int k = 60; k >= 1; --k)
            for (int l = 0; l < kAhead; ++l) tail[l] = bs[l] + k / tail[l];
        for (int l = 0; l < lanes; ++l) ratio[lane_of[l]] = 1.0 / tail[l];
    }
    for (int q = 0; q < n; ++q) {
        const double t = t0 + q + 1;
        const double second = pdf[q] == 0.0 ? 0.0 : pdf[q] * ratio[q];
        g[q] = t * (first[q] + second) - mu * (first[q] - second);
    }
}

// Shares P_j for j = lead, lead + 1, ...: those before `lead` are exactly 0.
struct Shares {
    int64_t lead = 0;
    std::vector<double> p;
    std::size_t size() const { return static_cast<std::size_t>(lead) + p.size(); }
    double at(std::size_t k) const {
        return k < static_cast<std::size_t>(lead) ? 0.0 : p[k - static_cast<std::size_t>(lead)];
    }
};

Response trimmed(const Shares& shares, int32_t first_lag, double tail) {
    double total = 0.0;  // the leading zeros add nothing
    for (double v : shares.p) total += v;
    std::size_t lo = 0, hi = shares.size();
    double cut = 0.0;
    // Leading zeros go first (each adds 0 to the cut, which stays within the tail).
    if (hi > 0) lo = std::min(static_cast<std::size_t>(shares.lead), hi - 1);
    while (lo + 1 < hi && cut + shares.at(lo) <= 0.5 * tail * total) cut += shares.at(lo++);
    cut = 0.0;
    while (hi - 1 > lo && cut + shares.at(hi - 1) <= 0.5 * tail * total) cut += shares.at(--hi);
    Response r;
    r.first = first_lag + static_cast<int32_t>(lo);
    r.ordinates.reserve(hi - lo);
    for (std::size_t k = lo; k < hi; ++k) r.ordinates.push_back(shares.at(k));
    double kept = 0.0;
    for (double o : r.ordinates) kept += o;
    if (kept > 0.0) {
        for (double& o : r.ordinates) o /= kept;
    } else {
        r.ordinates.assign(1, 1.0);
    }
    return r;
}

// A response longer than this many steps is cut (its rest is beyond any run).
constexpr int64_t kMaxSteps = 10'000'000;

// The largest whole t0 >= 0 with G(t) exactly 0 for every t <= t0: both
// terms of G underflow to 0 there (exp(-a^2 / 2) and erfc below a = -38.6),
// and a grows with t. Found from the closed form of a = -40 and checked by
// evaluating, so that a long delay costs no evaluations before the arrival.
int64_t zero_steps(double mu, double variance) {
    if (mu <= 1e-12) return 0;
    if (is_sharp(mu, variance)) return std::min<int64_t>(static_cast<int64_t>(std::floor(mu)), kMaxSteps);
    const double lambda = mu * mu * mu / variance;
    // a(t) = sqrt(lambda / t) (t / mu - 1) = -A  with s = sqrt(t):
    //   sqrt(lambda) / mu s^2 + A s - sqrt(lambda) = 0.
    const double A = 40.0, rl = std::sqrt(lambda);
    const double root = (-A + std::sqrt(A * A + 4.0 * lambda / mu)) / (2.0 * rl / mu);
    double t0 = std::floor(std::min(root * root, static_cast<double>(kMaxSteps)));
    auto zero = [&](double t) {
        const double r = std::sqrt(lambda / t);
        const double a = r * (t / mu - 1.0);
        return normal_cdf(a) == 0.0 && normal_pdf(a) == 0.0;
    };
    while (t0 >= 1.0 && !zero(t0)) t0 = std::floor(t0 / 2.0);
    return t0 >= 1.0 ? static_cast<int64_t>(t0) : 0;
}

// P_j from the first step that may be above 0 on (see arrival_shares).
Shares shares_of(const TravelTime& t, double tail) {
    const double mu = std::max(0.0, t.mean), var = std::max(0.0, t.variance);
    Shares s;
    s.lead = zero_steps(mu, var);
    // G(lead - 1) and G(lead) are 0. G(j + 1) is evaluated a few steps
    // ahead (two at first: most responses end within two steps).
    double g_prev = 0.0, g_here = 0.0;
    double ahead[kAhead];
    int have = 0, used = 0;
    for (int64_t j = s.lead; j < kMaxSteps; ++j) {
        if (used == have) {
            have = static_cast<int>(std::min<int64_t>(j == s.lead ? 2 : kAhead, kMaxSteps - j));
            integrated_cdf_ahead(static_cast<double>(j), have, mu, var, ahead);
            used = 0;
        }
        const double g_next = ahead[used++];
        s.p.push_back(std::max(0.0, g_next - 2.0 * g_here + g_prev));
        // Sum of P_0 .. P_j = G(j + 1) - G(j).
        if (g_next - g_here >= 1.0 - 0.5 * tail && static_cast<double>(j) >= mu) break;
        g_prev = g_here;
        g_here = g_next;
    }
    return s;
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
    const double pdf = normal_pdf(a);
    return std::min(1.0, normal_cdf(a) + (pdf == 0.0 ? 0.0 : pdf * mills_ratio(b)));
}

std::vector<double> arrival_shares(const TravelTime& t, double tail) {
    const Shares s = shares_of(t, tail);
    std::vector<double> p(static_cast<std::size_t>(s.lead), 0.0);
    p.insert(p.end(), s.p.begin(), s.p.end());
    return p;
}

Response river_response(const TravelTime& t, double tail) { return trimmed(shares_of(t, tail), 0, tail); }

Response cell_response(const TravelTime& t, double tail) {
    Shares s = shares_of(t, tail);
    // Lag 0 also takes the water of P_0.
    if (s.size() >= 2) {
        if (s.lead > 0) {
            --s.lead;  // P_0 is 0: P_1 stays, the rest moves down by one
        } else {
            s.p[1] += s.p[0];
            s.p.erase(s.p.begin());
        }
    }
    return trimmed(s, 0, tail);
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
