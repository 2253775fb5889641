// Batches spread over the ranks of an MPI job.
#include <mpi.h>

#include "batch_evaluation.hpp"
#include "parallel_batch.hpp"

namespace hydro {

namespace {

class MpiEvaluation : public BatchEvaluation {
  public:
    explicit MpiEvaluation(int threads) : threads_(threads) {
        MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
        MPI_Comm_size(MPI_COMM_WORLD, &size_);
    }
    std::vector<Evaluation> run(const ModelObjective& objective, const std::vector<Parameters>& batch) override {
        const std::size_t n = batch.size(), ranks = static_cast<std::size_t>(size_);
        // This rank's share: sets rank, rank + size, rank + 2 size, ...
        std::vector<std::size_t> mine;
        for (std::size_t i = static_cast<std::size_t>(rank_); i < n; i += ranks) mine.push_back(i);
        std::vector<double> packed(mine.size() * kPackedEvaluation);
        run_in_parallel(mine.size(), threads_, [&](std::size_t k) {
            const auto row = pack(objective.evaluate(batch[mine[k]]));
            std::copy(row.begin(), row.end(), packed.begin() + static_cast<std::ptrdiff_t>(k * kPackedEvaluation));
        });
        std::vector<int> counts(ranks), offsets(ranks);
        for (std::size_t r = 0; r < ranks; ++r) {
            counts[r] = static_cast<int>(((n + ranks - 1 - r) / ranks) * kPackedEvaluation);
            offsets[r] = r == 0 ? 0 : offsets[r - 1] + counts[r - 1];
        }
        std::vector<double> all(n * kPackedEvaluation);
        MPI_Allgatherv(packed.data(), static_cast<int>(packed.size()), MPI_DOUBLE, all.data(), counts.data(),
                       offsets.data(), MPI_DOUBLE, MPI_COMM_WORLD);
        std::vector<Evaluation> out(n);
        for (std::size_t r = 0; r < ranks; ++r)
            for (std::size_t k = 0, i = r; i < n; i += ranks, ++k)
                out[i] = unpack(all.data() + offsets[r] + k * kPackedEvaluation);
        return out;
    }
    bool leader() const override { return rank_ == 0; }
    int processes() const override { return size_; }
    void barrier() override { MPI_Barrier(MPI_COMM_WORLD); }

  private:
    int threads_;
    int rank_ = 0, size_ = 1;
};

}  // namespace

std::unique_ptr<BatchEvaluation> mpi_evaluation(int threads) { return std::make_unique<MpiEvaluation>(threads); }

}  // namespace hydro
