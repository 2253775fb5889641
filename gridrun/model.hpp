// The model as a library: a project is loaded once (every input read and
// checked), then simulated as often as wanted with different parameter values
// and an optional initial state. Results reach writers through result sinks;
// the state after the last step can be kept for a later run.
//
// `simulate` only reads the model: several simulations may run at the same
// time on one loaded model.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catchment.hpp"
#include "control_parameters.hpp"
#include "grid_table.hpp"
#include "model_state.hpp"
#include "project_paths.hpp"
#include "result_sink.hpp"

namespace hydro {

// Wall-clock seconds of the phases of a run.
struct PhaseTimes {
    double scan = 0, input = 0, cell_loop = 0, second_pass = 0, output = 0;
};

// A loaded project: read-only once loaded. Its inputs hold the catchment
// grids both as read from disk (for the multipliers) and converted.
struct Model {
    ProjectPaths paths;
    ModelInputs inputs;
};

// How the station series' values are held: whole in the model (read and
// checked when it is loaded), or left in their files and read a tile of steps
// at a time by each run, so that a run's memory does not grow with the
// series' length (faults in the values are then found during the run).
enum class SeriesReading { whole, by_tile };

// Reads the grid size, scans the dimensions, and reads and checks every input
// of the run mode (1 or 2); throws InputError. `times` gets scan and input.
Model load_model(const ProjectPaths& paths, int32_t run_mode, PhaseTimes* times = nullptr,
                 SeriesReading series = SeriesReading::whole);

// Doubts about the inputs that do not stop a run, one line each: today the
// spacing of the series' dates against the control file's time step (daily
// records run as hourly steps give flows 24 times too large).
std::vector<std::string> input_warnings(const Model& model);

// The parameters of a run: the eleven control-file parameters
// (control_parameters.hpp), and one
// multiplier per parameter grid (grid_table.hpp), applied to the grid's
// values as read from disk at every valid cell, in float, and clipped to the
// grid's physical range.
struct Parameters : ControlParameters {
    // By parameter grid, in table order: "runoff_co_multiplier", "fieldcap_multiplier", ...
    std::array<float, kParameterGridCount> grid_multiplier{};
};

// The control file's values, every multiplier 1.
Parameters default_parameters(const Model& model);
// Sets a parameter or multiplier by name; false for an unknown name.
bool set_parameter(Parameters& p, std::string_view name, double value);
// The value of a parameter or multiplier by name; nothing for an unknown name.
std::optional<double> get_parameter(const Parameters& p, std::string_view name);
// Every accepted name: the eleven parameters, then the multipliers.
std::vector<std::string> parameter_names();

// Where a result first held a value that is not a finite number.
struct NonFiniteReport {
    bool found = false;
    std::string where;
};

struct SimulationOptions {
    int threads = 1;
    const ModelState* initial_state = nullptr;  // instead of the control file's initial stores
    std::vector<ResultSink*> sinks;
    std::FILE* progress = nullptr;  // one line per cell, or nullptr
    bool flush_progress = false;    // flush the progress lines often (a terminal)
    // The share of the run done, from one thread, a few times a second at most.
    std::function<void(double share_done)> on_progress;
    bool keep_final_state = false;
    PhaseTimes* times = nullptr;  // cell_loop, second_pass (the routing) and output filled when given
    std::size_t tile_steps = 0;   // steps per tile; 0: chosen for the cache (results never depend on it)
    // Steps (from 0, ascending) after which `on_state` is handed the state of
    // the run, as a later run would go on from it.
    std::vector<std::size_t> state_after_steps;
    std::function<void(std::size_t step, const ModelState& state)> on_state;
};

struct SimulationOutcome {
    NonFiniteReport non_finite;
    std::optional<ModelState> final_state;  // when asked for
};

// The inputs of one run with its parameters applied: the control values,
// the catchment (scaled when a multiplier is not 1) and the initial soil
// moisture. Parameters that change the shape of the run are refused as
// `simulate` refuses them. Not to be moved once `view` has been taken.
struct PreparedRun {
    const Model* model = nullptr;
    ControlFile control;
    std::optional<Catchment> scaled;
    std::vector<float> initial_moisture;
    RunView view() const {
        return RunView{model->inputs, control, scaled ? *scaled : model->inputs.catchment, initial_moisture};
    }
};
void prepare_run(const Model& model, const Parameters& parameters, PreparedRun& out);

// Runs the model. Parameters that change the shape of the run (the sign of
// the degree-day factor, a groundwater scale of 0, an initial moisture ratio
// below 0 when no moisture grid was read) are refused with
// std::invalid_argument; an error in any thread reaches the caller.
SimulationOutcome simulate(const Model& model, const Parameters& parameters, const SimulationOptions& options);

}  // namespace hydro
