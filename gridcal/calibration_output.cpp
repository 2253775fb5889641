#include "calibration_output.hpp"

#include <cmath>
#include <cstdlib>

#include "input_error.hpp"
#include "text_output.hpp"

namespace hydro {

std::string parameter_text(double v) {
    char b[40];
    std::snprintf(b, sizeof b, "%.9g", v);
    return b;
}

std::string score_text(double v) {
    if (!std::isfinite(v)) return "NA";
    char b[40];
    std::snprintf(b, sizeof b, "%.10g", v);
    return b;
}

TraceFile::TraceFile(const std::string& path, const std::vector<ParameterRange>& ranges, ObjectiveKind objective)
    : path_(path), f_(std::fopen(path.c_str(), "wb")) {
    if (!f_) throw OutputError("cannot create " + path);
    std::string header = "evaluation";
    for (const ParameterRange& r : ranges) header += "," + r.name;
    header += std::string(",objective_") + (objective == ObjectiveKind::nse       ? "nse"
                                            : objective == ObjectiveKind::log_nse ? "log_nse"
                                                                                  : "kge");
    header += ",nse,kge,kge_r,kge_alpha,kge_beta,log_nse,percent_bias,rmse,peak_error_percent,best_so_far,status\n";
    std::fputs(header.c_str(), f_);
}

TraceFile::~TraceFile() {
    if (f_) std::fclose(f_);
}

void TraceFile::add(std::size_t number, const std::vector<double>& values, const Evaluation& e, double objective,
                    double best_so_far) {
    std::string line = std::to_string(number);
    for (double v : values) line += "," + parameter_text(v);
    line += "," + score_text(objective);
    const FitScores& s = e.scores;
    const bool ok = e.status == EvaluationStatus::ok;
    for (double v :
         {s.nse, s.kge, s.kge_r, s.kge_alpha, s.kge_beta, s.log_nse, s.percent_bias, s.rmse, s.peak_error_percent})
        line += "," + (ok ? score_text(v) : std::string("NA"));
    line += "," + score_text(best_so_far);
    line += e.status == EvaluationStatus::ok           ? ",ok\n"
            : e.status == EvaluationStatus::non_finite ? ",non-finite flows\n"
                                                       : ",refused by the model\n";
    std::fputs(line.c_str(), f_);
    std::fflush(f_);
}

void TraceFile::close() {
    if (!f_) return;
    const bool failed = std::ferror(f_) != 0;
    const bool close_failed = std::fclose(f_) != 0;
    f_ = nullptr;
    if (failed || close_failed) throw OutputError("could not write " + path_ + " completely");
}

void write_flow_table(const std::string& path, const OutletSeries& project_run, const OutletSeries& best_run,
                      const MatchedObservations& observed) {
    std::string out = "date,observed,project,best\n";
    std::size_t k = 0;
    for (std::size_t t = 0; t < best_run.flow.size(); ++t) {
        char b[120];
        const auto& d = best_run.dates[t];
        std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:00,", d[0], d[1], d[2], d[3]);
        out += b;
        while (k < observed.steps.size() && observed.steps[k] < t) ++k;
        if (k < observed.steps.size() && observed.steps[k] == t) out += parameter_text(observed.discharge[k]);
        std::snprintf(b, sizeof b, ",%.3f,%.3f\n", t < project_run.flow.size() ? project_run.flow[t] : NAN,
                      best_run.flow[t]);
        out += b;
    }
    write_text_file(path, out);
}

bool draw_pictures(const std::string& folder, ObjectiveKind objective, std::size_t n_parameters) {
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) return false;
    const std::string name = objective_name(objective);
    const std::size_t objective_column = n_parameters + 2, best_column = n_parameters + 12;
    std::string conv =
        "# Convergence of the calibration: the objective of every evaluation and the best so far.\n"
        "set terminal pngcairo size 1000,600 font ',11' background rgb 'white'\n"
        "set output 'convergence.png'\n"
        "set datafile separator ','\n"
        "set datafile missing 'NA'\n"
        "set key bottom right\nset grid\n"
        "set xlabel 'evaluation'\nset ylabel '" +
        name +
        "'\n"
        "stats 'trace.csv' using " +
        std::to_string(best_column) +
        " nooutput\n"
        "set yrange [STATS_max - 1.5 * (STATS_max - STATS_min) - 0.05 : STATS_max + 0.05]\n"
        "plot 'trace.csv' using 1:" +
        std::to_string(objective_column) +
        " with points pt 7 ps 0.5 lc rgb '#8090b0' title 'each evaluation', \\\n"
        "     'trace.csv' using 1:" +
        std::to_string(best_column) + " with lines lw 2 lc rgb '#c03020' title 'best so far'\n";
    std::string hydro =
        "# Observed discharge against the best simulated and the project's own.\n"
        "set terminal pngcairo size 1400,600 font ',11' background rgb 'white'\n"
        "set output 'hydrograph.png'\n"
        "set datafile separator ','\n"
        "set xdata time\nset timefmt '%Y-%m-%d %H:%M'\nset format x '%b %Y'\n"
        "set grid\nset key top left\nset ylabel 'discharge (m^3/s)'\nset yrange [0:*]\n"
        "plot 'best_flow.csv' using 1:3 with lines lw 1 lc rgb '#a0a0a0' title 'project parameters', \\\n"
        "     'best_flow.csv' using 1:4 with lines lw 1.5 lc rgb '#2050a0' title 'best simulated', \\\n"
        "     'best_flow.csv' using 1:($2) with lines lw 1 lc rgb 'black' title 'observed'\n";
    write_text_file(folder + "/convergence.gp", conv);
    write_text_file(folder + "/hydrograph.gp", hydro);
    std::string quoted = "'";
    for (char c : folder) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    // Each picture from a session of its own: no setting of one (the
    // objective's y range) carries over into the other.
    const std::string cmd =
        "cd " + quoted + " && gnuplot convergence.gp >/dev/null 2>&1 && gnuplot hydrograph.gp >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

}  // namespace hydro
