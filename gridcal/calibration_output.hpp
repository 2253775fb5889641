// What a calibration leaves in its output folder besides the project: the
// trace of every evaluation, the series of the best run, and the pictures.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "model_objective.hpp"

namespace hydro {

// trace.csv, written as the evaluations come in.
class TraceFile {
  public:
    TraceFile(const std::string& path, const std::vector<ParameterRange>& ranges, ObjectiveKind objective);
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;
    void add(std::size_t number, const std::vector<double>& values, const Evaluation& e, double objective,
             double best_so_far);
    void close();  // throws OutputError when the file could not be written completely

  private:
    std::string path_;
    std::FILE* f_ = nullptr;
};

// A value as the files of a calibration print it: %.9g for parameters, which
// reads back as the same float, "%.10g" for scores; NA for a score that is
// undefined (not a finite number).
std::string parameter_text(double v);
std::string score_text(double v);

// best_flow.csv: date, observed (empty where missing), the project's and the
// best set's simulated outlet flow.
void write_flow_table(const std::string& path, const OutletSeries& project_run, const OutletSeries& best_run,
                      const MatchedObservations& observed);

// convergence.png and hydrograph.png through gnuplot, with the scripts kept
// beside them; returns false (and draws nothing) when gnuplot is not installed.
bool draw_pictures(const std::string& folder, ObjectiveKind objective, std::size_t n_parameters);

}  // namespace hydro
