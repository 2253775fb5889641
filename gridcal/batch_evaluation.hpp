// Who evaluates a batch of parameter sets: the threads of this process, or
// the processes of an MPI job (each with its threads). Either way every
// process gets every result, in the batch's order, so the search goes on
// identically everywhere and the result does not depend on how the work was
// spread.
#pragma once

#include <memory>
#include <vector>

#include "model_objective.hpp"

namespace hydro {

class BatchEvaluation {
  public:
    virtual ~BatchEvaluation() = default;
    virtual std::vector<Evaluation> run(const ModelObjective& objective, const std::vector<Parameters>& batch) = 0;
    // The process that writes the results and talks to the user.
    virtual bool leader() const { return true; }
    virtual int processes() const { return 1; }
    // Returns when every process has reached this point.
    virtual void barrier() {}
};

// On `threads` threads of this process.
std::unique_ptr<BatchEvaluation> threaded_evaluation(int threads);

#ifdef HYDRO_WITH_MPI
// Over the ranks of MPI_COMM_WORLD (MPI initialised by the caller): set i
// of a batch goes to rank i mod size, which evaluates its share on `threads`
// threads; the results are then gathered on every rank.
std::unique_ptr<BatchEvaluation> mpi_evaluation(int threads);
#endif

}  // namespace hydro
