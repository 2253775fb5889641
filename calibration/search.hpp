// What the optimizers search: a box of parameter values and an objective to
// minimise, evaluated a batch of candidates at a time.
//
// The candidates of one batch are independent of each other, so a caller may
// evaluate them in any order, on threads or on other machines. The batches
// themselves (their sizes and their points) depend only on the seed and on
// the losses returned, never on how many workers evaluate them: the same seed
// gives the same search, byte for byte, on one thread or many.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace hydro {

struct SearchSpace {
    std::vector<double> lower, upper;  // lower < upper in every dimension
    std::size_t size() const { return lower.size(); }
};

using Point = std::vector<double>;

// One loss per point of the batch, in the batch's order: smaller is better;
// +infinity (or NaN) marks a failed evaluation, worse than any other.
using BatchObjective = std::function<std::vector<double>(const std::vector<Point>& batch)>;

struct SearchResult {
    Point best;
    double best_loss = std::numeric_limits<double>::infinity();
    std::size_t evaluations = 0;
};

// Counts evaluations against the budget and keeps the best point seen (the
// earliest on ties). A batch that would overrun the budget is cut to fit.
class EvaluationBudget {
  public:
    EvaluationBudget(const BatchObjective& objective, std::size_t max_evaluations)
        : objective_(objective), max_(max_evaluations) {}

    std::size_t left() const { return max_ - result_.evaluations; }
    bool exhausted() const { return result_.evaluations >= max_; }

    // Losses of the batch's first min(size, left()) points; NaN counts as +infinity.
    std::vector<double> evaluate(std::vector<Point> batch) {
        if (batch.size() > left()) batch.resize(left());
        if (batch.empty()) return {};
        std::vector<double> loss = objective_(batch);
        loss.resize(batch.size(), std::numeric_limits<double>::infinity());
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (!(loss[i] == loss[i])) loss[i] = std::numeric_limits<double>::infinity();
            if (result_.best.empty() || loss[i] < result_.best_loss) {
                result_.best = batch[i];
                result_.best_loss = loss[i];
            }
        }
        result_.evaluations += batch.size();
        return loss;
    }

    const SearchResult& result() const { return result_; }

  private:
    const BatchObjective& objective_;
    std::size_t max_;
    SearchResult result_;
};

// Dynamically dimensioned search (Tolson and Shoemaker 2007), neighbourhood
// size r = 0.2, reflecting bounds, greedy. The first batch holds `initial`.
// Candidates are proposed `dds_batch_size(max_evaluations)` at a time around
// the current best; the best of a batch replaces it when not worse.
std::size_t dds_batch_size(std::size_t max_evaluations);
SearchResult search_dds(const SearchSpace& space, const Point& initial, std::size_t max_evaluations, uint64_t seed,
                        const BatchObjective& objective);

// Shuffled complex evolution (Duan et al. 1992): complexes of 2n+1 points,
// subcomplexes of n+1, 2n+1 evolution steps per complex between shuffles;
// max(2, n) complexes evolving side by side, so that a batch holds one
// candidate per complex. Stops at the budget or when the population has
// shrunk to 0.1 % of the box. The initial population holds `initial`.
SearchResult search_sce_ua(const SearchSpace& space, const Point& initial, std::size_t max_evaluations, uint64_t seed,
                           const BatchObjective& objective);

}  // namespace hydro
