#include "batch_evaluation.hpp"

#include "parallel_batch.hpp"

namespace hydro {

namespace {

class ThreadedEvaluation : public BatchEvaluation {
  public:
    explicit ThreadedEvaluation(int threads) : threads_(threads) {}
    std::vector<Evaluation> run(const ModelObjective& objective, const std::vector<Parameters>& batch) override {
        std::vector<Evaluation> out(batch.size());
        run_in_parallel(batch.size(), threads_, [&](std::size_t i) { out[i] = objective.evaluate(batch[i]); });
        return out;
    }

  private:
    int threads_;
};

}  // namespace

std::unique_ptr<BatchEvaluation> threaded_evaluation(int threads) {
    return std::make_unique<ThreadedEvaluation>(threads);
}

}  // namespace hydro
