#include "calibration_run.hpp"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>

#include "calibrated_project.hpp"
#include "calibration_output.hpp"
#include "input_error.hpp"
#include "output_folder.hpp"
#include "text_output.hpp"
#include "text_results.hpp"

namespace hydro {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

std::string duration_text(double s) {
    char b[64];
    if (s < 90)
        std::snprintf(b, sizeof b, "%.0f s", s);
    else if (s < 5400)
        std::snprintf(b, sizeof b, "%.0f min %02.0f s", std::floor(s / 60), std::fmod(s, 60));
    else
        std::snprintf(b, sizeof b, "%.0f h %02.0f min", std::floor(s / 3600), std::floor(std::fmod(s, 3600) / 60));
    return b;
}

// The output folder must not exist yet or be empty, and must not lie inside
// the project (the project is copied into it).
void check_output_folder(const std::string& project, const std::string& output) {
    std::error_code ec;
    const fs::path out = fs::weakly_canonical(fs::absolute(output), ec);
    const fs::path root = fs::weakly_canonical(fs::absolute(project), ec);
    auto inside = [](fs::path a, const fs::path& b) {
        for (; !a.empty(); a = a.parent_path()) {
            if (a == b) return true;
            if (a == a.parent_path()) break;
        }
        return false;
    };
    if (inside(out, root))
        throw InputError(output, 0, "an output folder outside the project " + project, "one inside it");
    if (fs::exists(out)) {
        if (!fs::is_directory(out)) throw InputError(output, 0, "an output folder", "a file of that name");
        if (!fs::is_empty(out))
            throw InputError(output, 0, "an output folder that is empty or does not exist yet",
                             "a folder with files in it (nothing was overwritten)");
    }
}

std::string score_line(const char* label, double project, double best, const char* format) {
    auto text = [format](double v) {
        if (!std::isfinite(v)) return std::string("NA");
        char b[40];
        std::snprintf(b, sizeof b, format, v);
        return std::string(b);
    };
    char b[160];
    std::snprintf(b, sizeof b, "  %-22s %14s %14s\n", label, text(project).c_str(), text(best).c_str());
    return b;
}

}  // namespace

void run_calibration(const CalibrationSettings& cs, BatchEvaluation& evaluation, std::FILE* progress) {
    const bool leader = evaluation.leader();
    ProjectPaths paths;
    paths.root = cs.project;
    // Everything is read and checked before the output folder is made.
    const Model model = load_model(paths, cs.mode);
    const std::vector<ParameterRange> ranges = read_parameter_file(cs.parameters, parameter_names());
    const ObservedDischarge observed = read_observed_discharge(cs.observed);
    const ModelObjective objective(model, ranges, observed, cs.warmup);
    check_output_folder(cs.project, cs.output);
    evaluation.barrier();  // every process has checked before the folder is made
    // Everything is written into a hidden folder renamed to the output folder at the end.
    std::unique_ptr<UnfinishedFolder> folder;
    if (leader) folder = std::make_unique<UnfinishedFolder>(cs.output);
    const std::string work = leader ? folder->path() : std::string();

    std::unique_ptr<TraceFile> trace;
    if (leader) trace = std::make_unique<TraceFile>(work + "/trace.csv", ranges, cs.objective);
    const auto start = Clock::now();
    auto last_progress = start - std::chrono::seconds(1);
    std::size_t done = 0, non_finite = 0, refused = 0;
    double best_score = -std::numeric_limits<double>::infinity();
    std::size_t best_number = 0;

    const BatchObjective batch_objective = [&](const std::vector<Point>& points) {
        std::vector<Parameters> sets;
        for (const Point& x : points) sets.push_back(objective.parameters_at(x));
        const std::vector<Evaluation> results = evaluation.run(objective, sets);
        std::vector<double> loss(points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double score = objective_score(cs.objective, results[i]);
            loss[i] = -score;
            ++done;
            if (results[i].status == EvaluationStatus::non_finite) ++non_finite;
            if (results[i].status == EvaluationStatus::refused) ++refused;
            if (best_number == 0 || score > best_score) best_score = score, best_number = done;
            if (trace) trace->add(done, objective.values_used(sets[i]), results[i], score, best_score);
        }
        if (progress && leader && (seconds_since(last_progress) > 0.2 || done == cs.evaluations)) {
            last_progress = Clock::now();
            const double elapsed = seconds_since(start);
            const double left = elapsed / static_cast<double>(done) * static_cast<double>(cs.evaluations - done);
            std::fprintf(progress, "\rgridcal: %zu of %zu evaluations, best %s %.4f, about %s left   ", done,
                         cs.evaluations, objective_name(cs.objective), best_score, duration_text(left).c_str());
            std::fflush(progress);
        }
        return loss;
    };

    const SearchResult result =
        cs.sce ? search_sce_ua(objective.space(), objective.initial_point(), cs.evaluations, cs.seed, batch_objective)
               : search_dds(objective.space(), objective.initial_point(), cs.evaluations, cs.seed, batch_objective);
    const double elapsed = seconds_since(start);
    if (progress && leader) std::fputc('\n', progress);
    if (!leader) return;
    trace->close();
    if (!(result.best_loss < std::numeric_limits<double>::infinity()))
        throw OutputError("no parameter set gave a score: all " + std::to_string(done) + " evaluations failed (" +
                          std::to_string(non_finite) + " with flows that are not finite numbers, " +
                          std::to_string(refused) +
                          " refused by the model as sets it cannot run); narrow the "
                          "ranges of " +
                          cs.parameters + ". No output folder was written");

    // The calibrated project, with the results of the best set in its output
    // folder; the project's own set run once more for comparison.
    const Parameters best = objective.parameters_at(result.best);
    write_calibrated_project(model, best, work);
    ProjectPaths calibrated;
    calibrated.root = work;
    TextResults best_results(calibrated);
    OutletSeries project_run, best_run;
    const Evaluation best_eval = objective.evaluate(best, &best_run, &best_results);
    const Evaluation project_eval = objective.evaluate(objective.defaults(), &project_run);
    write_flow_table(work + "/best_flow.csv", project_run, best_run, objective.matched());
    const bool pictures = draw_pictures(work, cs.objective, ranges.size());

    std::string r = "Calibration report\n\n";
    char b[512];
    std::snprintf(
        b, sizeof b,
        "  project       %s (run mode %d)\n  observed      %s: %zu steps scored after a warm-up of %zu steps\n",
        cs.project.c_str(), cs.mode, cs.observed.c_str(), best_eval.scores.n, cs.warmup);
    r += b;
    if (cs.sce)
        std::snprintf(b, sizeof b, "  search        SCE-UA, seed %llu, %zu of at most %zu evaluations\n",
                      static_cast<unsigned long long>(cs.seed), result.evaluations, cs.evaluations);
    else
        std::snprintf(b, sizeof b, "  search        DDS (r = 0.2), seed %llu, %zu evaluations in batches of %zu\n",
                      static_cast<unsigned long long>(cs.seed), result.evaluations, dds_batch_size(cs.evaluations));
    r += b;
    std::snprintf(b, sizeof b, "  objective     %s (maximised)\n", objective_name(cs.objective));
    r += b;
    std::snprintf(b, sizeof b, "  speed         %.1f s, %.2f evaluations per second (%d process%s of %d thread%s)\n",
                  elapsed, static_cast<double>(result.evaluations) / elapsed, evaluation.processes(),
                  evaluation.processes() == 1 ? "" : "es", cs.threads, cs.threads == 1 ? "" : "s");
    r += b;
    std::snprintf(b, sizeof b, "  failed        %zu with non-finite flows, %zu refused by the model (worst score)\n",
                  non_finite, refused);
    r += b;
    std::snprintf(b, sizeof b, "\nBest parameter set (evaluation %zu of trace.csv)\n  %-26s %12s %12s %12s %14s\n",
                  best_number, "name", "lower", "upper", "project", "best");
    r += b;
    const std::vector<double> used = objective.values_used(best);
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        std::snprintf(b, sizeof b, "  %-26s %12s %12s %12s %14s\n", ranges[i].name.c_str(),
                      parameter_text(ranges[i].lower).c_str(), parameter_text(ranges[i].upper).c_str(),
                      parameter_text(*get_parameter(objective.defaults(), ranges[i].name)).c_str(),
                      parameter_text(used[i]).c_str());
        r += b;
    }
    std::snprintf(b, sizeof b, "\nScores over the scored steps\n  %-22s %14s %14s\n", "", "project", "best");
    r += b;
    FitScores p = project_eval.scores;
    if (project_eval.status != EvaluationStatus::ok) {
        r += "  (the project's own parameters give non-finite flows or are refused: no scores)\n";
        p.nse = p.kge = p.kge_r = p.kge_alpha = p.kge_beta = p.log_nse = p.percent_bias = p.rmse =
            p.peak_error_percent = std::numeric_limits<double>::quiet_NaN();
    }
    const FitScores& q = best_eval.scores;
    r += score_line("NSE", p.nse, q.nse, "%.6f");
    r += score_line("KGE", p.kge, q.kge, "%.6f");
    r += score_line("  r", p.kge_r, q.kge_r, "%.6f");
    r += score_line("  alpha", p.kge_alpha, q.kge_alpha, "%.6f");
    r += score_line("  beta", p.kge_beta, q.kge_beta, "%.6f");
    r += score_line("NSE of log flows", p.log_nse, q.log_nse, "%.6f");
    r += score_line("percent bias", p.percent_bias, q.percent_bias, "%+.3f");
    r += score_line("RMSE (m3/s)", p.rmse, q.rmse, "%.6f");
    r += score_line("peak error (%)", p.peak_error_percent, q.peak_error_percent, "%+.3f");
    r += "\nThis folder is the calibrated project: input.txt and the multiplied grids hold the best set,\n"
         "model/output/ the results of its run. Check it with:\n";
    std::snprintf(b, sizeof b,
                  "  gridrun --project %s --mode %d --quiet\n  run_summary %s --observed %s --warmup %zu\n",
                  cs.output.c_str(), cs.mode, cs.output.c_str(), cs.observed.c_str(), cs.warmup);
    r += b;
    r += "Files: trace.csv (every evaluation), best_flow.csv (observed, project and best flow per step)";
    r += pictures ? ", convergence.png, hydrograph.png.\n"
                  : ".\nNo pictures: gnuplot is not installed (sudo apt-get install -y gnuplot-nox).\n";
    write_text_file(work + "/report.txt", r);
    folder->finish();
}

}  // namespace hydro
