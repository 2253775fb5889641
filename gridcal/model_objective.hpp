// The model as a calibration objective: a loaded project, the parameters
// varied and their bounds, the observed discharge matched to the run's
// steps. Evaluating a parameter set simulates the project in memory (nothing
// is read or written) and scores its outlet flow against the gauge.
//
// The outlet flow is scored as q_tot.txt writes it (three decimals), so that
// a gridrun run of the calibrated project followed by run_summary --observed
// gives the same scores to the last digit.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fit_scores.hpp"
#include "model.hpp"
#include "observed_discharge.hpp"
#include "parameter_file.hpp"
#include "search.hpp"

namespace hydro {

enum class ObjectiveKind { kge, nse, log_nse };
const char* objective_name(ObjectiveKind kind);  // "KGE", "NSE", "log NSE"

enum class EvaluationStatus { ok = 0, non_finite = 1, refused = 2 };

struct Evaluation {
    EvaluationStatus status = EvaluationStatus::ok;
    FitScores scores;
};

// The score to maximise; -infinity for a failed evaluation or an undefined score.
double objective_score(ObjectiveKind kind, const Evaluation& e);

// An evaluation as a fixed row of numbers (for exchange between processes) and back.
inline constexpr std::size_t kPackedEvaluation = 15;
std::array<double, kPackedEvaluation> pack(const Evaluation& e);
Evaluation unpack(const double* packed);

// The outlet flow of a run, per step, as q_tot.txt writes it, and the
// date and hour of each step.
struct OutletSeries {
    std::vector<double> flow;                   // m3/s, three decimals
    std::vector<int64_t> step_keys;             // step_key of each step
    std::vector<std::array<int32_t, 4>> dates;  // year, month, day, hour
    bool non_finite = false;                    // the run produced a value that is not a number
};

class ModelObjective {
  public:
    // Loads nothing itself: `model` stays owned by the caller. Runs the
    // project's default parameters once to match the observations to the
    // steps (throws InputError when none matches, or none is left after
    // the warm-up).
    ModelObjective(const Model& model, std::vector<ParameterRange> ranges, const ObservedDischarge& observed,
                   std::size_t warmup);

    const std::vector<ParameterRange>& ranges() const { return ranges_; }
    SearchSpace space() const;
    // The starting point: each parameter's initial value, else the project's
    // value when within the bounds, else the middle of the bounds.
    Point initial_point() const;
    const Parameters& defaults() const { return defaults_; }

    // The parameter set of a point: the project's values with the varied
    // ones set, in float; the degree-day factor is rounded to a whole number
    // (the control file holds it as one).
    Parameters parameters_at(const Point& x) const;
    // The values a point's parameter set really uses, in the order of ranges().
    std::vector<double> values_used(const Parameters& p) const;

    // Simulates on the calling thread and scores the result. Safe to call
    // from several threads at once. `series` gets the outlet flow, `results`
    // (when given) every result of the run as well.
    Evaluation evaluate(const Parameters& p, OutletSeries* series = nullptr, ResultSink* results = nullptr) const;

    const MatchedObservations& matched() const { return matched_; }
    std::size_t warmup() const { return warmup_; }

  private:
    const Model& model_;
    std::vector<ParameterRange> ranges_;
    Parameters defaults_;
    MatchedObservations matched_;
    std::size_t warmup_;
    std::string observed_path_;
};

}  // namespace hydro
