#include "stepped_run.hpp"

#include <algorithm>
#include <stdexcept>

#include "simulation.hpp"
#include "snapshots.hpp"

namespace hydro {

namespace {

// The longest look-ahead: beyond it a stretch costs what a whole run costs.
constexpr std::size_t kLongestStretch = 4096;

}  // namespace

// Keeps the records of the steps computed ahead.
struct SteppedRun::Recorder : ResultSink {
    std::vector<SteppedRecord>* records = nullptr;
    std::vector<float>* subbasin_flows = nullptr;
    bool keep = true;
    void step(const StepResult& r) override {
        if (!keep) return;
        const QTotRecord& q = r.q_tot;
        records->push_back(
            {r.year, r.month, r.day, r.hour, q, r.balance, (q.surface_flow + q.interflow) + q.groundwater_flow});
        subbasin_flows->insert(subbasin_flows->end(), r.subbasin_flows.begin(), r.subbasin_flows.end());
    }
};

SteppedRun::SteppedRun(const Model& model, const Parameters& parameters, const ModelState* initial_state, int threads)
    : model_(model), threads_(std::max(1, threads)), recorder_(std::make_unique<Recorder>()) {
    const ModelInputs& in = model.inputs;
    prepare_run(model, parameters, prepared_);
    for (auto& periods : prepared_.control.periods) periods.clear();
    const RunView run = prepared_.view();
    run_steps_ = static_cast<std::size_t>(in.sizes.n_steps);
    cells_ = valid_cells(run.catchment, in.sizes.n_rows, in.sizes.n_cols);
    prepare_snapshot_sums(in, prepared_.control, maps_);
    ahead_ = initial_state ? state_for_run(run, *initial_state) : initial_model_state(run);
    recorder_->records = &records_;
    recorder_->subbasin_flows = &subbasin_flows_;
    last_subbasin_flows_.assign(in.sizes.run_mode == 2 ? static_cast<std::size_t>(in.sizes.n_subbasins) : 0, 0.0f);
}

SteppedRun::~SteppedRun() = default;

void SteppedRun::compute(ModelState& from, std::size_t first, std::size_t end, bool keep_records) {
    const RunView run = prepared_.view();
    ScheduleOptions options;
    options.threads = threads_;
    options.first_step = first;
    recorder_->keep = keep_records;
    const std::vector<ResultSink*> sinks{recorder_.get()};
    StepSchedule schedule(run, from, maps_, sinks, options);
    schedule.advance(end);
}

void SteppedRun::advance_to(std::size_t end) {
    end = std::min(end, run_steps_);
    if (end <= now_) return;
    while (now_ < end) {
        if (now_ == ahead_end_) {
            // A new look-ahead from the current state; what was before it is no longer needed.
            records_.clear();
            subbasin_flows_.clear();
            base_ = ahead_;
            base_step_ = now_;
            ahead_end_ = std::min(run_steps_, now_ + std::max(stretch_, end - now_));
            compute(ahead_, now_, ahead_end_, true);
            stretch_ = std::min(2 * stretch_, kLongestStretch);
        }
        now_ = std::min(end, ahead_end_);
    }
    keep_last(now_ - 1);
}

void SteppedRun::keep_last(std::size_t step) {
    const std::size_t k = step - base_step_;
    last_ = records_[k];
    const std::size_t n = last_subbasin_flows_.size();
    std::copy_n(subbasin_flows_.begin() + static_cast<std::ptrdiff_t>(k * n), n, last_subbasin_flows_.begin());
}

const SteppedRecord& SteppedRun::last_record() const {
    if (now_ == 0) throw std::logic_error("no step has been run yet");
    return last_;
}

const ModelState& SteppedRun::state() {
    // One who reads the state step by step gains nothing from a look-ahead.
    stretch_ = 1;
    if (now_ == ahead_end_) return ahead_;
    if (now_ != base_step_) {
        compute(base_, base_step_, now_, false);
        const std::size_t k = now_ - base_step_, n = last_subbasin_flows_.size();
        records_.erase(records_.begin(), records_.begin() + static_cast<std::ptrdiff_t>(k));
        subbasin_flows_.erase(subbasin_flows_.begin(), subbasin_flows_.begin() + static_cast<std::ptrdiff_t>(k * n));
        base_step_ = now_;
    }
    return base_;
}

ModelState& SteppedRun::edit_state() {
    // What was computed ahead no longer follows from the state.
    if (&state() != &ahead_) ahead_ = base_;
    ahead_end_ = now_;
    base_step_ = now_;
    records_.clear();
    subbasin_flows_.clear();
    return ahead_;
}

}  // namespace hydro
