#include "bmi.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

#include "input_error.hpp"
#include "model_state_file.hpp"
#include "project_check.hpp"
#include "run_file.hpp"

namespace hydro {

namespace {

enum class Quantity { outlet_flow, subbasin_flow, soil_fraction, snow, canopy, depression, groundwater };
enum Grid { kScalarGrid = 0, kCellGrid = 1, kSubbasinGrid = 2 };

}  // namespace

struct Bmi::Variable {
    const char* name;
    const char* units;
    int grid;
    bool settable;
    Quantity quantity;
};

namespace {

constexpr Bmi::Variable kVariables[] = {
    {"channel_exit_water_x-section__volume_flow_rate", "m3 s-1", kScalarGrid, false, Quantity::outlet_flow},
    {"subbasin_channel_exit_water_x-section__volume_flow_rate", "m3 s-1", kSubbasinGrid, false,
     Quantity::subbasin_flow},
    {"soil_water__volume_fraction", "1", kCellGrid, true, Quantity::soil_fraction},
    {"snowpack__liquid-equivalent_depth", "mm", kCellGrid, true, Quantity::snow},
    {"canopy_surface_water__depth", "mm", kCellGrid, true, Quantity::canopy},
    {"land_surface_water__depth", "mm", kCellGrid, true, Quantity::depression},
    {"aquifer_water__depth", "mm", kSubbasinGrid, true, Quantity::groundwater},
};

std::vector<float>* cell_store(ModelState& s, Quantity q) {
    switch (q) {
        case Quantity::soil_fraction:
            return &s.soil_moisture;
        case Quantity::snow:
            return &s.snow;
        case Quantity::canopy:
            return &s.canopy;
        case Quantity::depression:
            return &s.depression;
        default:
            return nullptr;
    }
}

// Depth of the root zone in mm, of which soil moisture is a fraction.
float root_zone_mm(const Catchment& g, std::size_t position) { return g.root_depth[position] * 1000.0f; }

}  // namespace

Bmi::Bmi() = default;
Bmi::~Bmi() = default;

SteppedRun& Bmi::run() {
    if (!run_) throw std::logic_error("gridrun BMI: call initialize first");
    return *run_;
}

void Bmi::Initialize(std::string config_file) {
    const RunFile file = read_run_file(config_file);
    if (file.project.empty()) throw InputError(config_file, 0, "the project's folder (project = \"...\")", "none");
    const ProjectPaths paths{file.project};
    check_project_root(paths, "project (" + config_file + ")");
    auto model = std::make_unique<Model>(load_model(paths, file.mode ? file.mode : 2));
    Parameters p = default_parameters(*model);
    for (const auto& [name, value] : file.parameters) set_parameter(p, name, value);
    std::optional<ModelState> initial;
    if (!file.initial_state.empty()) initial = load_state(file.initial_state, *model);
    run_ = std::make_unique<SteppedRun>(*model, p, initial ? &*initial : nullptr, file.threads ? file.threads : 1);
    model_ = std::move(model);
    save_state_ = file.save_state;
    georeference_ = read_grid_georeference(paths.grid("watershed.asc"));
    const ModelInputs& in = model_->inputs;
    cell_at_.assign(static_cast<std::size_t>(in.sizes.n_rows) * static_cast<std::size_t>(in.sizes.n_cols), -1);
    for (std::size_t c = 0; c < run_->cells().size(); ++c) cell_at_[run_->cells()[c].index] = static_cast<int>(c);
    outlet_flow_ = 0;
}

void Bmi::Update() {
    SteppedRun& r = run();
    if (r.steps_done() == r.run_steps())
        throw std::out_of_range("gridrun BMI: the run has no step left (it ends at " + std::to_string(GetEndTime()) +
                                " h)");
    r.advance_to(r.steps_done() + 1);
    outlet_flow_ = r.last_record().outlet_flow;
}

void Bmi::UpdateUntil(double time) {
    SteppedRun& r = run();
    const double dt = GetTimeStep();
    // Times a little off a step's end (from adding steps in floating point) mean that step.
    const double tolerance = 1e-6 * dt;
    if (!(time >= GetCurrentTime() - tolerance) || time > GetEndTime() + tolerance)
        throw std::out_of_range("gridrun BMI: update_until(" + std::to_string(time) +
                                ") lies outside the time still to run, from " + std::to_string(GetCurrentTime()) +
                                " to " + std::to_string(GetEndTime()) + " h");
    const std::size_t end = static_cast<std::size_t>(std::floor(time / dt + 1e-6));
    if (end <= r.steps_done()) return;
    r.advance_to(end);
    outlet_flow_ = r.last_record().outlet_flow;
}

void Bmi::Finalize() {
    if (run_ && !save_state_.empty() && run_->steps_done() > 0)
        save_state(save_state_, *model_, run_->state(), run_->steps_done() - 1);
    run_.reset();
    model_.reset();
}

std::string Bmi::GetComponentName() { return "gridrun"; }

std::vector<std::string> Bmi::GetInputVarNames() {
    std::vector<std::string> names;
    for (const Variable& v : kVariables)
        if (v.settable) names.emplace_back(v.name);
    return names;
}

std::vector<std::string> Bmi::GetOutputVarNames() {
    std::vector<std::string> names;
    const bool mode2 = run().model().inputs.sizes.run_mode == 2;
    for (const Variable& v : kVariables)
        if (v.quantity != Quantity::subbasin_flow || mode2) names.emplace_back(v.name);
    return names;
}

int Bmi::GetInputItemCount() { return static_cast<int>(GetInputVarNames().size()); }
int Bmi::GetOutputItemCount() { return static_cast<int>(GetOutputVarNames().size()); }

const Bmi::Variable& Bmi::variable(const std::string& name) const {
    for (const Variable& v : kVariables)
        if (name == v.name) {
            if (v.quantity == Quantity::subbasin_flow && model_ && model_->inputs.sizes.run_mode != 2)
                throw std::invalid_argument("gridrun BMI: " + name + " exists in run mode 2 only");
            return v;
        }
    throw std::invalid_argument("gridrun BMI: no variable named \"" + name + "\"");
}

int Bmi::GetVarGrid(std::string name) { return variable(name).grid; }
std::string Bmi::GetVarType(std::string name) {
    variable(name);
    return "float";
}
int Bmi::GetVarItemsize(std::string name) {
    variable(name);
    return static_cast<int>(sizeof(float));
}
std::string Bmi::GetVarUnits(std::string name) { return variable(name).units; }
int Bmi::GetVarNbytes(std::string name) { return GetGridSize(variable(name).grid) * static_cast<int>(sizeof(float)); }
std::string Bmi::GetVarLocation(std::string name) {
    variable(name);
    return "node";
}

double Bmi::GetStartTime() { return 0.0; }
double Bmi::GetTimeStep() { return static_cast<double>(run().time_step_hours()); }
double Bmi::GetCurrentTime() { return static_cast<double>(run().steps_done()) * GetTimeStep(); }
double Bmi::GetEndTime() { return static_cast<double>(run().run_steps()) * GetTimeStep(); }
std::string Bmi::GetTimeUnits() { return "h"; }

void Bmi::read_values(const Variable& v, float* dest) {
    SteppedRun& r = run();
    switch (v.quantity) {
        case Quantity::outlet_flow:
            dest[0] = outlet_flow_;
            return;
        case Quantity::subbasin_flow:
            std::copy(r.last_subbasin_flows().begin(), r.last_subbasin_flows().end(), dest);
            return;
        case Quantity::groundwater:
            std::copy(r.state().groundwater.begin(), r.state().groundwater.end(), dest);
            return;
        default:
            break;
    }
    const std::vector<float>& store = *cell_store(const_cast<ModelState&>(r.state()), v.quantity);
    std::fill(dest, dest + cell_at_.size(), std::numeric_limits<float>::quiet_NaN());
    const Catchment& g = r.catchment();
    for (std::size_t c = 0; c < r.cells().size(); ++c) {
        const std::size_t i = r.cells()[c].index;
        if (v.quantity != Quantity::soil_fraction)
            dest[i] = store[c];
        else
            dest[i] = root_zone_mm(g, i) > 0.0f ? store[c] / root_zone_mm(g, i) : 0.0f;
    }
}

void Bmi::GetValue(std::string name, void* dest) { read_values(variable(name), static_cast<float*>(dest)); }

void* Bmi::GetValuePtr(std::string name) {
    const Variable& v = variable(name);
    if (v.quantity == Quantity::outlet_flow) return &outlet_flow_;
    if (v.quantity == Quantity::subbasin_flow) return const_cast<float*>(run().last_subbasin_flows().data());
    throw std::invalid_argument("gridrun BMI: get_value_ptr is not available for " + name +
                                ": states are kept per simulated cell, not as the grid; use get_value");
}

void Bmi::GetValueAtIndices(std::string name, void* dest, int* inds, int count) {
    const Variable& v = variable(name);
    const int size = GetGridSize(v.grid);
    scratch_.resize(static_cast<std::size_t>(size));
    read_values(v, scratch_.data());
    float* out = static_cast<float*>(dest);
    for (int k = 0; k < count; ++k) {
        if (inds[k] < 0 || inds[k] >= size)
            throw std::out_of_range("gridrun BMI: index " + std::to_string(inds[k]) + " of " + name +
                                    " lies outside its grid of " + std::to_string(size) + " values");
        out[k] = scratch_[static_cast<std::size_t>(inds[k])];
    }
}

void Bmi::write_values(const Variable& v, const float* src, const int* inds, int count) {
    if (!v.settable) throw std::invalid_argument(std::string("gridrun BMI: ") + v.name + " is an output only");
    SteppedRun& r = run();
    const int size = GetGridSize(v.grid);
    // The values are checked before any is set: a refused call changes nothing.
    auto check = [&](int at, float x) {
        if (at < 0 || at >= size)
            throw std::out_of_range("gridrun BMI: index " + std::to_string(at) + " of " + v.name +
                                    " lies outside its grid of " + std::to_string(size) + " values");
        if (v.grid == kCellGrid && cell_at_[static_cast<std::size_t>(at)] < 0) return false;
        if (!(x >= 0.0f) || !std::isfinite(x))
            throw std::invalid_argument("gridrun BMI: " + std::string(v.name) + " at index " + std::to_string(at) +
                                        " must be a finite number at or above 0, not " + std::to_string(x));
        return true;
    };
    const int n = inds ? count : size;
    for (int k = 0; k < n; ++k) check(inds ? inds[k] : k, src[k]);
    ModelState& s = r.edit_state();
    const Catchment& g = r.catchment();
    for (int k = 0; k < n; ++k) {
        const int at = inds ? inds[k] : k;
        if (!check(at, src[k])) continue;
        if (v.quantity == Quantity::groundwater) {
            s.groundwater[static_cast<std::size_t>(at)] = src[k];
            continue;
        }
        const std::size_t c = static_cast<std::size_t>(cell_at_[static_cast<std::size_t>(at)]);
        std::vector<float>& store = *cell_store(s, v.quantity);
        if (v.quantity != Quantity::soil_fraction) {
            store[c] = src[k];
            continue;
        }
        // A fraction given back as read leaves the moisture as it was, to the bit.
        const float depth = root_zone_mm(g, static_cast<std::size_t>(at));
        if (depth > 0.0f && store[c] / depth != src[k]) store[c] = src[k] * depth;
    }
}

void Bmi::SetValue(std::string name, void* src) {
    write_values(variable(name), static_cast<const float*>(src), nullptr, 0);
}

void Bmi::SetValueAtIndices(std::string name, int* inds, int count, void* src) {
    write_values(variable(name), static_cast<const float*>(src), inds, count);
}

void Bmi::check_grid(int grid) const {
    if (!run_) throw std::logic_error("gridrun BMI: call initialize first");
    if (grid < kScalarGrid || grid > kSubbasinGrid)
        throw std::invalid_argument("gridrun BMI: no grid " + std::to_string(grid) + " (grids 0, 1 and 2)");
}

int Bmi::GetGridRank(const int grid) {
    check_grid(grid);
    return grid == kScalarGrid ? 0 : grid == kCellGrid ? 2 : 1;
}

int Bmi::GetGridSize(const int grid) {
    check_grid(grid);
    if (grid == kScalarGrid) return 1;
    if (grid == kCellGrid) return static_cast<int>(cell_at_.size());
    return model_->inputs.sizes.n_subbasins;
}

std::string Bmi::GetGridType(const int grid) {
    check_grid(grid);
    return grid == kScalarGrid ? "scalar" : grid == kCellGrid ? "uniform_rectilinear" : "vector";
}

void Bmi::GetGridShape(const int grid, int* shape) {
    check_grid(grid);
    if (grid == kCellGrid) {
        shape[0] = georeference_.n_rows;
        shape[1] = georeference_.n_cols;
    } else if (grid == kSubbasinGrid) {
        shape[0] = GetGridSize(grid);
    }
}

void Bmi::GetGridSpacing(const int grid, double* spacing) {
    check_grid(grid);
    if (grid != kCellGrid) throw std::invalid_argument("gridrun BMI: only grid 1 has a spacing");
    spacing[0] = spacing[1] = georeference_.cell_size;
}

void Bmi::GetGridOrigin(const int grid, double* origin) {
    check_grid(grid);
    if (grid != kCellGrid) throw std::invalid_argument("gridrun BMI: only grid 1 has an origin");
    // The centre of the first value: the top-left cell, as rows run from the top.
    origin[0] = georeference_.y_centre(0);
    origin[1] = georeference_.x_centre(0);
}

void Bmi::GetGridX(const int grid, double* x) {
    check_grid(grid);
    if (grid != kCellGrid) throw std::invalid_argument("gridrun BMI: only grid 1 has coordinates");
    for (int32_t c = 0; c < georeference_.n_cols; ++c) x[c] = georeference_.x_centre(c);
}

void Bmi::GetGridY(const int grid, double* y) {
    check_grid(grid);
    if (grid != kCellGrid) throw std::invalid_argument("gridrun BMI: only grid 1 has coordinates");
    for (int32_t r = 0; r < georeference_.n_rows; ++r) y[r] = georeference_.y_centre(r);
}

void Bmi::GetGridZ(const int grid, double*) {
    check_grid(grid);
    throw std::invalid_argument("gridrun BMI: the grids have no third dimension");
}

int Bmi::GetGridNodeCount(const int grid) { return GetGridSize(grid); }

namespace {
[[noreturn]] void not_unstructured() {
    throw std::invalid_argument("gridrun BMI: edges and faces belong to unstructured grids; gridrun has none");
}
}  // namespace

int Bmi::GetGridEdgeCount(const int) { not_unstructured(); }
int Bmi::GetGridFaceCount(const int) { not_unstructured(); }
void Bmi::GetGridEdgeNodes(const int, int*) { not_unstructured(); }
void Bmi::GetGridFaceEdges(const int, int*) { not_unstructured(); }
void Bmi::GetGridFaceNodes(const int, int*) { not_unstructured(); }
void Bmi::GetGridNodesPerFace(const int, int*) { not_unstructured(); }

}  // namespace hydro
