// A run advanced by its caller a few steps at a time (a coupler, a data
// assimilation loop): after any number of steps the outlet records of the
// last step and the state of the cells and subbasins can be read, and the
// state edited before the run goes on. Advanced in any stretches, the run
// gives the records of one whole run bit for bit; after an edit it goes on
// exactly as a warm start from the edited state.
//
// Steps are computed ahead in growing stretches, so that a run advanced one
// step at a time costs about what one whole run costs; reading or editing the
// state brings the computation back to the current step.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cell_loop.hpp"
#include "model.hpp"

namespace hydro {

// What one step of a run gave.
struct SteppedRecord {
    int32_t year = 0, month = 0, day = 0, hour = 0;
    QTotRecord q_tot{};
    BalanceRecord balance{};
    float outlet_flow = 0;  // m3/s at the basin outlet: (Qs + Qi) + Qg, as in q_tot.txt
};

class SteppedRun {
  public:
    // `initial_state` as for simulate(); threads as for simulate().
    SteppedRun(const Model& model, const Parameters& parameters, const ModelState* initial_state = nullptr,
               int threads = 1);
    ~SteppedRun();
    SteppedRun(const SteppedRun&) = delete;
    SteppedRun& operator=(const SteppedRun&) = delete;

    const Model& model() const { return model_; }
    std::size_t run_steps() const { return run_steps_; }
    std::size_t steps_done() const { return now_; }
    float time_step_hours() const { return prepared_.control.time_step_hours; }
    // The catchment of the run (scaled by the parameters' multipliers).
    const Catchment& catchment() const { return prepared_.scaled ? *prepared_.scaled : model_.inputs.catchment; }
    // The valid cells, in the order of the state's cell values.
    const std::vector<ValidCell>& cells() const { return cells_; }

    // Runs the steps up to `end` (steps_done() afterwards; at most run_steps()).
    void advance_to(std::size_t end);
    // The records of the last step done; only when steps_done() > 0.
    const SteppedRecord& last_record() const;
    // Run mode 2: the flow leaving each subbasin in the last step done, m3/s
    // (zeros before the first step); empty in run mode 1.
    const std::vector<float>& last_subbasin_flows() const { return last_subbasin_flows_; }
    // The state after the steps done.
    const ModelState& state();
    // The same, to be changed before the next step.
    ModelState& edit_state();

  private:
    struct Recorder;
    void compute(ModelState& from, std::size_t first, std::size_t end, bool keep_records);
    void keep_last(std::size_t step);

    const Model& model_;
    PreparedRun prepared_;
    std::size_t run_steps_ = 0;
    int threads_ = 1;
    std::vector<ValidCell> cells_;
    SnapshotSums maps_;  // no map periods: the stepped run writes no maps
    // The state `base_` after step base_step_ - 1, the records of the steps
    // [base_step_, ahead_end_), the state `ahead_` after the last of them.
    ModelState base_, ahead_;
    std::size_t base_step_ = 0, ahead_end_ = 0, now_ = 0;
    std::size_t stretch_ = 1;  // steps of the next look-ahead
    std::vector<SteppedRecord> records_;
    std::vector<float> subbasin_flows_;  // n_subbasins per record (run mode 2)
    SteppedRecord last_;
    std::vector<float> last_subbasin_flows_;
    std::unique_ptr<Recorder> recorder_;
};

}  // namespace hydro
