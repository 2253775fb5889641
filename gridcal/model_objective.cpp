#include "model_objective.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "cell_loop.hpp"
#include "fixed_width.hpp"
#include "grid_table.hpp"
#include "free_format.hpp"
#include "input_error.hpp"
#include "result_sink.hpp"

namespace hydro {

namespace {

// Keeps the outlet flow of every step as q_tot.txt would write it.
class OutletSink : public ResultSink {
  public:
    explicit OutletSink(OutletSeries& out) : out_(out) {}
    void begin(const RunInfo& info) override {
        out_.flow.reserve(info.n_steps);
        out_.step_keys.reserve(info.n_steps);
    }
    void step(const StepResult& s) override {
        const QTotRecord& r = s.q_tot;
        const float q = (r.surface_flow + r.interflow) + r.groundwater_flow;
        float written = q;
        if (!std::isfinite(q) || !parse_float(trim(format_fixed(q, 10, 3)), written)) out_.non_finite = true;
        out_.flow.push_back(written);
        out_.step_keys.push_back(step_key(s.year, s.month, s.day, s.hour));
        out_.dates.push_back({s.year, s.month, s.day, s.hour});
    }

  private:
    static std::string_view trim(const std::string& s) {
        std::string_view v(s);
        while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
        return v;
    }
    OutletSeries& out_;
};

}  // namespace

const char* objective_name(ObjectiveKind kind) {
    switch (kind) {
        case ObjectiveKind::nse:
            return "NSE";
        case ObjectiveKind::log_nse:
            return "log NSE";
        default:
            return "KGE";
    }
}

double objective_score(ObjectiveKind kind, const Evaluation& e) {
    const double worst = -std::numeric_limits<double>::infinity();
    if (e.status != EvaluationStatus::ok) return worst;
    const double v = kind == ObjectiveKind::nse       ? e.scores.nse
                     : kind == ObjectiveKind::log_nse ? e.scores.log_nse
                                                      : e.scores.kge;
    return std::isnan(v) ? worst : v;
}

std::array<double, kPackedEvaluation> pack(const Evaluation& e) {
    const FitScores& f = e.scores;
    return {static_cast<double>(e.status),
            static_cast<double>(f.n),
            f.nse,
            f.kge,
            f.kge_r,
            f.kge_alpha,
            f.kge_beta,
            f.log_nse,
            f.percent_bias,
            f.rmse,
            f.peak_error_percent,
            f.observed_peak,
            f.simulated_peak,
            static_cast<double>(f.observed_peak_step),
            static_cast<double>(f.simulated_peak_step)};
}

Evaluation unpack(const double* v) {
    Evaluation e;
    e.status = static_cast<EvaluationStatus>(static_cast<int>(v[0]));
    FitScores& f = e.scores;
    f.n = static_cast<std::size_t>(v[1]);
    f.nse = v[2], f.kge = v[3], f.kge_r = v[4], f.kge_alpha = v[5], f.kge_beta = v[6], f.log_nse = v[7];
    f.percent_bias = v[8], f.rmse = v[9], f.peak_error_percent = v[10], f.observed_peak = v[11];
    f.simulated_peak = v[12];
    f.observed_peak_step = static_cast<std::size_t>(v[13]);
    f.simulated_peak_step = static_cast<std::size_t>(v[14]);
    return e;
}

ModelObjective::ModelObjective(const Model& model, std::vector<ParameterRange> ranges,
                               const ObservedDischarge& observed, std::size_t warmup)
    : model_(model),
      ranges_(std::move(ranges)),
      defaults_(default_parameters(model)),
      warmup_(warmup),
      observed_path_(observed.path) {
    OutletSeries series;
    SimulationOptions options;
    OutletSink sink(series);
    options.sinks.push_back(&sink);
    simulate(model_, defaults_, options);
    matched_ = match_observations(observed, series.step_keys);
    score_run(series.flow, matched_, warmup_, observed_path_);  // refuses a warm-up that leaves nothing
}

SearchSpace ModelObjective::space() const {
    SearchSpace s;
    for (const ParameterRange& r : ranges_) s.lower.push_back(r.lower), s.upper.push_back(r.upper);
    return s;
}

Point ModelObjective::initial_point() const {
    Point x;
    for (const ParameterRange& r : ranges_) {
        const double project = *get_parameter(defaults_, r.name);
        x.push_back(r.initial                                  ? *r.initial
                    : project >= r.lower && project <= r.upper ? project
                                                               : (r.lower + r.upper) / 2);
    }
    return x;
}

Parameters ModelObjective::parameters_at(const Point& x) const {
    Parameters p = defaults_;
    for (std::size_t i = 0; i < ranges_.size(); ++i) {
        double v = x[i];
        if (const ControlParameter* c = find_control_parameter(ranges_[i].name); c && c->whole_number)
            v = std::round(v);
        set_parameter(p, ranges_[i].name, v);
    }
    return p;
}

std::vector<double> ModelObjective::values_used(const Parameters& p) const {
    std::vector<double> v;
    for (const ParameterRange& r : ranges_) v.push_back(*get_parameter(p, r.name));
    return v;
}

Evaluation ModelObjective::evaluate(const Parameters& p, OutletSeries* keep, ResultSink* results) const {
    OutletSeries local;
    OutletSeries& series = keep ? *keep : local;
    series = OutletSeries{};
    OutletSink sink(series);
    SimulationOptions options;
    options.threads = 1;
    options.sinks.push_back(&sink);
    if (results) options.sinks.push_back(results);
    Evaluation e;
    try {
        const SimulationOutcome outcome = simulate(model_, p, options);
        if (outcome.non_finite.found) series.non_finite = true;
    } catch (const std::invalid_argument&) {
        // A set that changes the shape of the run (temperature on or off, no
        // groundwater store, soil contents out of order): not a run of this project.
        e.status = EvaluationStatus::refused;
        return e;
    }
    if (series.non_finite) {
        e.status = EvaluationStatus::non_finite;
        return e;
    }
    e.scores = score_run(series.flow, matched_, warmup_, observed_path_);
    return e;
}

}  // namespace hydro
