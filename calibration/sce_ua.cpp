// Shuffled complex evolution: a population sampled over the box is sorted and
// dealt into complexes; each complex evolves by competitive simplex steps
// (reflection of the worst point of a random subcomplex through the centroid
// of the others, contraction when that fails, a random point when both fail);
// then the complexes are shuffled together and dealt again.
//
// The complexes evolve side by side: step k of every complex forms one batch
// (then the contractions of the complexes that need one, then their random
// points), so the batches do not depend on how many workers evaluate them.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "random_stream.hpp"
#include "search.hpp"

namespace hydro {

namespace {

struct Member {
    Point x;
    double loss;
};

void sort_members(std::vector<Member>& v) {
    std::stable_sort(v.begin(), v.end(), [](const Member& a, const Member& b) { return a.loss < b.loss; });
}

Point random_point(const std::vector<double>& lo, const std::vector<double>& hi, RandomStream& rng) {
    Point x(lo.size());
    for (std::size_t d = 0; d < lo.size(); ++d) x[d] = lo[d] + rng.uniform() * (hi[d] - lo[d]);
    return x;
}

struct ComplexStep {
    std::vector<std::size_t> chosen;  // positions in the complex, best first
    Point centroid;
    Point candidate;
    double loss = 0;
};

}  // namespace

SearchResult search_sce_ua(const SearchSpace& space, const Point& initial, std::size_t max_evaluations, uint64_t seed,
                           const BatchObjective& objective) {
    RandomStream rng(seed);
    EvaluationBudget budget(objective, max_evaluations);
    const std::size_t n = space.size();
    const std::size_t p = std::max<std::size_t>(2, n), m = 2 * n + 1, q = n + 1, beta = 2 * n + 1;

    std::vector<Point> start{initial};
    while (start.size() < p * m) start.push_back(random_point(space.lower, space.upper, rng));
    std::vector<double> loss = budget.evaluate(start);
    std::vector<Member> pop;
    for (std::size_t i = 0; i < loss.size(); ++i) pop.push_back({start[i], loss[i]});
    if (budget.exhausted()) return budget.result();
    sort_members(pop);

    // Triangular selection weights: the better a point, the likelier it is chosen.
    std::vector<double> weight(m);
    for (std::size_t i = 0; i < m; ++i) weight[i] = 2.0 * static_cast<double>(m - i) / static_cast<double>(m * (m + 1));

    while (!budget.exhausted()) {
        // Converged: the population spans less than 0.1 % of the box (geometric mean).
        double log_range = 0;
        for (std::size_t d = 0; d < n; ++d) {
            double lo = pop[0].x[d], hi = lo;
            for (const Member& mem : pop) lo = std::min(lo, mem.x[d]), hi = std::max(hi, mem.x[d]);
            log_range += std::log(std::max(hi - lo, 1e-300) / (space.upper[d] - space.lower[d]));
        }
        if (std::exp(log_range / static_cast<double>(n)) < 1e-3) break;

        std::vector<std::vector<Member>> complexes(p);
        for (std::size_t k = 0; k < p; ++k)
            for (std::size_t j = 0; j < m; ++j) complexes[k].push_back(pop[k + p * j]);

        for (std::size_t step = 0; step < beta && !budget.exhausted(); ++step) {
            std::vector<ComplexStep> cs(p);
            std::vector<Point> batch;
            for (std::size_t k = 0; k < p; ++k) {
                // Choose q distinct points by the triangular weights.
                std::vector<bool> taken(m, false);
                while (cs[k].chosen.size() < q) {
                    double total = 0;
                    for (std::size_t i = 0; i < m; ++i)
                        if (!taken[i]) total += weight[i];
                    double u = rng.uniform() * total;
                    std::size_t pick = m;
                    for (std::size_t i = 0; i < m; ++i) {
                        if (taken[i]) continue;
                        pick = i;
                        if (u < weight[i]) break;
                        u -= weight[i];
                    }
                    taken[pick] = true;
                    cs[k].chosen.push_back(pick);
                }
                std::sort(cs[k].chosen.begin(), cs[k].chosen.end());
                const Point& worst = complexes[k][cs[k].chosen.back()].x;
                cs[k].centroid.assign(n, 0.0);
                for (std::size_t c = 0; c + 1 < q; ++c)
                    for (std::size_t d = 0; d < n; ++d) cs[k].centroid[d] += complexes[k][cs[k].chosen[c]].x[d];
                Point r(n);
                bool inside = true;
                for (std::size_t d = 0; d < n; ++d) {
                    cs[k].centroid[d] /= static_cast<double>(q - 1);
                    r[d] = 2.0 * cs[k].centroid[d] - worst[d];
                    inside = inside && r[d] >= space.lower[d] && r[d] <= space.upper[d];
                }
                if (!inside) {
                    // Outside the box: a random point of the complex's own extent.
                    std::vector<double> lo(n), hi(n);
                    for (std::size_t d = 0; d < n; ++d) {
                        lo[d] = hi[d] = complexes[k][0].x[d];
                        for (const Member& mem : complexes[k])
                            lo[d] = std::min(lo[d], mem.x[d]), hi[d] = std::max(hi[d], mem.x[d]);
                    }
                    r = random_point(lo, hi, rng);
                }
                cs[k].candidate = r;
                batch.push_back(r);
            }
            // Reflections, then contractions, then random points, each a batch.
            for (int phase = 0; phase < 3 && !batch.empty(); ++phase) {
                loss = budget.evaluate(batch);
                std::vector<Point> next;
                std::size_t b = 0;
                for (std::size_t k = 0; k < p; ++k) {
                    if (phase > 0 && cs[k].loss <= complexes[k][cs[k].chosen.back()].loss) continue;
                    if (b >= loss.size()) {
                        cs[k].loss = std::numeric_limits<double>::infinity();  // cut by the budget
                        continue;
                    }
                    cs[k].candidate = batch[b];
                    cs[k].loss = loss[b++];
                    if (cs[k].loss <= complexes[k][cs[k].chosen.back()].loss || phase == 2) continue;
                    const Point& worst = complexes[k][cs[k].chosen.back()].x;
                    if (phase == 0) {
                        Point c(n);
                        for (std::size_t d = 0; d < n; ++d) c[d] = (cs[k].centroid[d] + worst[d]) / 2.0;
                        next.push_back(c);
                    } else {
                        std::vector<double> lo(n), hi(n);
                        for (std::size_t d = 0; d < n; ++d) {
                            lo[d] = hi[d] = complexes[k][0].x[d];
                            for (const Member& mem : complexes[k])
                                lo[d] = std::min(lo[d], mem.x[d]), hi[d] = std::max(hi[d], mem.x[d]);
                        }
                        next.push_back(random_point(lo, hi, rng));
                    }
                }
                batch = std::move(next);
            }
            // The last candidate of each complex replaces its subcomplex's worst point.
            for (std::size_t k = 0; k < p; ++k) {
                Member& worst = complexes[k][cs[k].chosen.back()];
                if (cs[k].loss < std::numeric_limits<double>::infinity() ||
                    worst.loss == std::numeric_limits<double>::infinity()) {
                    worst.x = cs[k].candidate;
                    worst.loss = cs[k].loss;
                }
                sort_members(complexes[k]);
            }
        }
        pop.clear();
        for (const auto& c : complexes) pop.insert(pop.end(), c.begin(), c.end());
        sort_members(pop);
    }
    return budget.result();
}

}  // namespace hydro
