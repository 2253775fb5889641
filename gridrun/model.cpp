#include "model.hpp"

#include <chrono>
#include <cmath>
#include <new>
#include <stdexcept>

#include "ascii_grid.hpp"
#include "calendar.hpp"
#include "cell_loop.hpp"
#include "dimension_scan.hpp"
#include "input_error.hpp"
#include "model_loading.hpp"
#include "simulation.hpp"
#include "snapshots.hpp"

namespace hydro {

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point t0) {
    return std::chrono::duration<double>(clock_type::now() - t0).count();
}

constexpr std::string_view kMultiplierSuffix = "_multiplier";

// The parameter grid of a multiplier's name, or kParameterGridCount.
std::size_t multiplier_grid(std::string_view name) {
    if (name.size() <= kMultiplierSuffix.size() || !name.ends_with(kMultiplierSuffix)) return kParameterGridCount;
    const std::string_view stem = name.substr(0, name.size() - kMultiplierSuffix.size());
    for (std::size_t p = 0; p < kParameterGridCount; ++p)
        if (stem == kGridTable[p].stem) return p;
    return kParameterGridCount;
}

float* parameter_slot(Parameters& p, std::string_view name) {
    if (const ControlParameter* c = find_control_parameter(name)) return &(p.*c->field);
    const std::size_t g = multiplier_grid(name);
    return g < kParameterGridCount ? &p.grid_multiplier[g] : nullptr;
}

// The control values of a run: the control file's, with the parameters.
ControlFile control_of(const ModelInputs& in, const Parameters& p) {
    ControlFile c = in.control;
    static_cast<ControlParameters&>(c) = p;
    return c;
}

// Parameters that change the shape of the run, or are not numbers, are refused.
void check_parameters(const Model& model, const Parameters& p) {
    const ModelInputs& in = model.inputs;
    for (const ControlParameter& c : kControlParameters)
        if (!std::isfinite(p.*c.field))
            throw std::invalid_argument("parameter " + std::string(c.name) + " must be a finite number");
    for (std::size_t g = 0; g < kParameterGridCount; ++g)
        if (!std::isfinite(p.grid_multiplier[g]))
            throw std::invalid_argument(std::string("parameter ") + kGridTable[g].stem +
                                        "_multiplier must be a finite number");
    if ((p.degree_day_factor >= 0.0f) != in.control.temperature_used())
        throw std::invalid_argument(in.control.temperature_used()
                                        ? "degree_day_factor must stay at or above 0: the project uses temperature"
                                        : "degree_day_factor must stay below 0: the project has no temperature input");
    if (p.groundwater_scale == 0.0f)
        throw std::invalid_argument("groundwater_scale must not be 0: it divides the groundwater evaporation");
    if (p.initial_moisture_ratio < 0.0f && in.initial_saturation.empty())
        throw std::invalid_argument(
            "initial_moisture_ratio must stay at or above 0: the project's control file does not read moisture.asc");
}

bool multipliers_are_one(const Parameters& p) {
    for (float m : p.grid_multiplier)
        if (m != 1.0f) return false;
    return true;
}

// The catchment with the multipliers applied to the grids as read, clipped
// to each grid's physical range, then converted.
Catchment scaled_catchment(const ModelInputs& in, const ControlFile& control, const Parameters& p) {
    const Catchment& raw = in.catchment_as_read;
    Catchment g = raw;
    const std::size_t n = raw.subbasin_id.size();
    std::vector<char> valid(n);
    for (std::size_t i = 0; i < n; ++i) valid[i] = is_valid_cell(raw, i);
    for (std::size_t k = 0; k < kParameterGridCount; ++k) {
        const float m = p.grid_multiplier[k];
        if (m == 1.0f) continue;
        const float low = kGridTable[k].low, high = kGridTable[k].high;
        std::vector<float>& v = *real_grid(g, k);
        for (std::size_t i = 0; i < n; ++i) {
            if (!valid[i]) continue;
            float x = v[i] * m;
            if (x < low) x = low;
            if (x > high) x = high;
            v[i] = x;
        }
    }
    // Where the soil is converted to storages its contents must stay ordered,
    // as in any project the model loads.
    for (std::size_t i = 0; i < n; ++i) {
        if (!valid[i] || !(g.subbasin_id[i] > 0 && g.root_depth[i] > 0.0f && g.runoff_coefficient[i] > 0.0f)) continue;
        if (g.residual_moisture[i] < g.wilting_point[i] && g.wilting_point[i] < g.field_capacity[i] &&
            g.field_capacity[i] <= g.porosity[i])
            continue;
        const std::size_t cols = static_cast<std::size_t>(raw.n_cols);
        throw std::invalid_argument(
            "the multipliers break residual content < wilting point < field capacity <= "
            "porosity at row " +
            std::to_string(i / cols + 1) + ", column " + std::to_string(i % cols + 1));
    }
    convert_catchment(g, in.sizes, control.time_step_hours);
    for (std::size_t s = 0; s < g.subbasin_cell_count.size(); ++s)
        if (g.subbasin_cell_count[s] == 0)
            throw std::invalid_argument("the multipliers leave subbasin " + std::to_string(s + 1) +
                                        " without a cell with positive runoff coefficient and root depth");
    return g;
}

// Soil moisture at the start (mm per grid position): degrees of saturation of
// moisture.asc times the porosity, or the ratio times the field capacity.
std::vector<float> initial_soil_moisture(const ModelInputs& in, const Catchment& g, float ratio) {
    const std::size_t n = g.porosity.size();
    std::vector<float> m;
    if (ratio < 0.0f) {
        m = in.initial_saturation;
        for (std::size_t i = 0; i < n; ++i)
            if (g.porosity[i] > 0.0f) m[i] = m[i] * g.porosity[i];
    } else {
        m.assign(n, 0.0f);
        for (std::size_t i = 0; i < n; ++i)
            if (g.field_capacity[i] > 0.0f) m[i] = ratio * g.field_capacity[i];
    }
    return m;
}

std::string step_name(const ModelInputs& in, std::size_t t) {
    const StepDate d = in.calendar.date(t);
    return "step " + std::to_string(t + 1) + " (" + std::to_string(d.year) + "-" + std::to_string(d.month) + "-" +
           std::to_string(d.day) + " hour " + std::to_string(d.hour) + ")";
}

NonFiniteReport describe_non_finite(const ModelInputs& in, const ScheduleOutcome& done) {
    NonFiniteReport r;
    const FirstNonFinite& cell = done.cell_non_finite;
    const FirstNonFinite& gw = done.groundwater_non_finite;
    if (cell.found() && (!gw.found() || cell.step <= gw.step)) {
        r.found = true;
        r.where = "cell " + std::to_string(cell.cell + 1) + " (row " + std::to_string(cell.row) + ", column " +
                  std::to_string(cell.col) + "), " + step_name(in, cell.step);
    } else if (gw.found()) {
        r.found = true;
        r.where =
            "the groundwater store of subbasin " + std::to_string(gw.subbasin + 1) + ", " + step_name(in, gw.step);
    }
    return r;
}

}  // namespace

Model load_model(const ProjectPaths& paths, int32_t run_mode, PhaseTimes* times, SeriesReading series) {
    auto t0 = clock_type::now();
    RunSizes sizes;
    const GridGeometry geometry = read_grid_geometry(paths.grid("watershed.asc"));
    sizes.n_cols = geometry.n_cols;
    sizes.n_rows = geometry.n_rows;
    sizes.cell_size = geometry.cell_size;
    sizes.run_mode = run_mode;
    scan_dimensions(paths, sizes);
    if (times) times->scan = seconds_since(t0);
    t0 = clock_type::now();
    Model model;
    model.paths = paths;
    model.inputs = load_model_inputs(paths, sizes, series == SeriesReading::by_tile);
    if (times) times->input = seconds_since(t0);
    return model;
}

std::vector<std::string> input_warnings(const Model& model) {
    std::vector<std::string> warnings;
    const StepCalendar& c = model.inputs.calendar;
    const float dt = model.inputs.control.time_step_hours;
    // Whole hours only: a step shorter than an hour cannot be told from the dates' hours.
    if (!(dt >= 1.0f) || dt != static_cast<float>(static_cast<int64_t>(dt))) return warnings;
    const int64_t step_hours = static_cast<int64_t>(dt);
    for (std::size_t k = 1; k < c.size(); ++k) {
        const int64_t gap = c.hour_number(k) - c.hour_number(k - 1);
        if (gap == step_hours) continue;
        warnings.push_back(model.paths.input("p.txt") + ": records " + std::to_string(k) + " and " +
                           std::to_string(k + 1) + " are " + std::to_string(gap) +
                           " hours apart, but the time step of " + model.paths.input("input.txt") + " is " +
                           std::to_string(step_hours) +
                           " hours; flows and rates are computed for the control file's step (check one or the "
                           "other)");
        break;
    }
    return warnings;
}

Parameters default_parameters(const Model& model) {
    Parameters p;
    static_cast<ControlParameters&>(p) = model.inputs.control;
    p.grid_multiplier.fill(1.0f);
    return p;
}

bool set_parameter(Parameters& p, std::string_view name, double value) {
    float* slot = parameter_slot(p, name);
    if (!slot) return false;
    *slot = static_cast<float>(value);
    return true;
}

std::optional<double> get_parameter(const Parameters& p, std::string_view name) {
    float* slot = parameter_slot(const_cast<Parameters&>(p), name);
    if (!slot) return std::nullopt;
    return *slot;
}

std::vector<std::string> parameter_names() {
    std::vector<std::string> names;
    for (const ControlParameter& c : kControlParameters) names.emplace_back(c.name);
    for (std::size_t g = 0; g < kParameterGridCount; ++g)
        names.push_back(std::string(kGridTable[g].stem) + std::string(kMultiplierSuffix));
    return names;
}

void prepare_run(const Model& model, const Parameters& parameters, PreparedRun& out) {
    const ModelInputs& in = model.inputs;
    check_parameters(model, parameters);
    out.model = &model;
    out.control = control_of(in, parameters);
    out.scaled.reset();
    if (!multipliers_are_one(parameters)) out.scaled = scaled_catchment(in, out.control, parameters);
    out.initial_moisture =
        initial_soil_moisture(in, out.scaled ? *out.scaled : in.catchment, out.control.initial_moisture_ratio);
}

SimulationOutcome simulate(const Model& model, const Parameters& parameters, const SimulationOptions& options) {
    const ModelInputs& in = model.inputs;
    PreparedRun prepared;
    prepare_run(model, parameters, prepared);
    const ControlFile& control = prepared.control;
    const RunView run = prepared.view();

    RunInfo info;
    info.run_mode = in.sizes.run_mode;
    info.n_steps = static_cast<std::size_t>(in.sizes.n_steps);
    info.with_temperature = control.temperature_used();
    info.time_step_hours = control.time_step_hours;
    info.reported_subbasins = control.reported_subbasins;
    info.n_rows = in.sizes.n_rows;
    info.n_cols = in.sizes.n_cols;
    info.cell_size = in.sizes.cell_size;
    // The maps carry the header of moisture.asc when it is read, else that of elevation.asc.
    info.map_header = control.initial_moisture_ratio < 0.0f ? in.map_header : in.catchment_as_read.header;
    info.subbasin_id = &in.catchment.subbasin_id;
    info.map_periods = control.periods;
    ModelState state = options.initial_state ? state_for_run(run, *options.initial_state) : initial_model_state(run);
    for (ResultSink* sink : options.sinks) sink->begin(info);

    SnapshotSums maps;
    try {
        prepare_snapshot_sums(in, control, maps);
    } catch (const std::bad_alloc&) {
        std::size_t n_maps = 0;
        for (const auto& periods : control.periods) n_maps += periods.size();
        const double megabytes = static_cast<double>(n_maps) * static_cast<double>(in.sizes.n_rows) *
                                 static_cast<double>(in.sizes.n_cols) * sizeof(float) / 1048576.0;
        throw InputError(model.paths.input("input.txt") + ": expected map periods whose sums fit in memory, found " +
                         std::to_string(n_maps) + " maps of " + std::to_string(in.sizes.n_rows) + " x " +
                         std::to_string(in.sizes.n_cols) + " cells (" +
                         std::to_string(static_cast<long long>(megabytes)) + " MB); list fewer periods");
    }
    ScheduleOptions schedule;
    schedule.threads = options.threads;
    schedule.progress = options.progress;
    schedule.flush_progress = options.flush_progress;
    schedule.on_progress = options.on_progress;
    schedule.tile_steps = options.tile_steps;
    PhaseTimes times;
    auto t0 = clock_type::now();
    StepSchedule steps(run, state, maps, options.sinks, schedule);
    for (std::size_t t : options.state_after_steps) {
        if (t >= steps.run_steps() || t + 1 <= steps.next_step()) continue;
        steps.advance(t + 1);
        if (options.on_state) options.on_state(t, state);
    }
    steps.advance(steps.run_steps());
    const ScheduleOutcome done = steps.finish();
    // The routing to the outlets runs inside the schedule, one tile at a time.
    times.second_pass = done.routing_seconds;
    times.cell_loop = seconds_since(t0) - times.second_pass;
    t0 = clock_type::now();
    finish_maps(run, maps, options.sinks);
    for (ResultSink* sink : options.sinks) sink->end();
    times.output = seconds_since(t0);
    if (options.on_progress) options.on_progress(1.0);
    if (options.times) {
        options.times->cell_loop = times.cell_loop;
        options.times->second_pass = times.second_pass;
        options.times->output = times.output;
    }
    SimulationOutcome outcome;
    outcome.non_finite = describe_non_finite(in, done);
    if (options.keep_final_state) outcome.final_state = std::move(state);
    return outcome;
}

}  // namespace hydro
