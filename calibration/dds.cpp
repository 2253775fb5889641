// Dynamically dimensioned search: each candidate perturbs a random subset of
// the dimensions of the best point so far; the subset shrinks as the budget
// is spent (probability 1 - ln(i)/ln(m) per dimension at evaluation i of m),
// turning a global search into a local one.
#include <algorithm>
#include <cmath>

#include "random_stream.hpp"
#include "search.hpp"

namespace hydro {

std::size_t dds_batch_size(std::size_t max_evaluations) {
    // Small budgets keep nearly the sequential search; large ones (clusters)
    // give every worker something to do. Never a function of the workers.
    return std::clamp<std::size_t>(max_evaluations / 50, 4, 64);
}

namespace {

// Perturbation of one value with reflection at the bounds; a value reflected
// beyond the other bound goes to the bound it first crossed.
double perturb(double x, double lo, double hi, RandomStream& rng) {
    const double r = 0.2;
    double v = x + r * (hi - lo) * rng.normal();
    if (v < lo) {
        v = lo + (lo - v);
        if (v > hi) v = lo;
    } else if (v > hi) {
        v = hi - (v - hi);
        if (v < lo) v = hi;
    }
    return v;
}

}  // namespace

SearchResult search_dds(const SearchSpace& space, const Point& initial, std::size_t max_evaluations, uint64_t seed,
                        const BatchObjective& objective) {
    RandomStream rng(seed);
    EvaluationBudget budget(objective, max_evaluations);
    const std::size_t n = space.size(), batch_size = dds_batch_size(max_evaluations);
    const double log_m = std::log(static_cast<double>(std::max<std::size_t>(max_evaluations, 2)));
    Point best = initial;
    double best_loss = std::numeric_limits<double>::infinity();
    bool first = true;
    std::size_t proposed = 0;
    while (!budget.exhausted()) {
        std::vector<Point> batch;
        if (first) {
            batch.push_back(initial);
            ++proposed;
        }
        while (batch.size() < batch_size && proposed < max_evaluations) {
            ++proposed;
            const double p = 1.0 - std::log(static_cast<double>(proposed - 1)) / log_m;
            Point x = best;
            bool any = false;
            for (std::size_t d = 0; d < n; ++d) {
                if (rng.uniform() < p) {
                    x[d] = perturb(best[d], space.lower[d], space.upper[d], rng);
                    any = true;
                }
            }
            if (!any) {
                const std::size_t d = rng.below(n);
                x[d] = perturb(best[d], space.lower[d], space.upper[d], rng);
            }
            batch.push_back(std::move(x));
        }
        const std::vector<double> loss = budget.evaluate(batch);
        std::size_t pick = 0;
        for (std::size_t i = 1; i < loss.size(); ++i)
            if (loss[i] < loss[pick]) pick = i;
        if (first || loss[pick] <= best_loss) {
            // The first batch always gives the start; later, a batch's best
            // replaces the current point when it is at least as good.
            best = batch[pick];
            best_loss = loss[pick];
        }
        first = false;
    }
    return budget.result();
}

}  // namespace hydro
