// The compiled part of the Python package gridrun: the model library (load
// once, run many) and the BMI, with numbers handed over as numpy arrays of
// 32-bit floats, the model's own bits. The package's __init__.py builds the
// Python-facing classes on top.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>

#include "bmi.hpp"
#include "model.hpp"
#include "model_state_file.hpp"
#include "series_columns.hpp"

namespace py = pybind11;
using namespace hydro;

namespace {

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;

// Every record of a run, column by column, in the files' column order.
using NamedSeries = std::vector<std::pair<std::string, std::vector<float>>>;

class Columns : public ResultSink {
  public:
    void begin(const RunInfo& info) override {
        with_temperature_ = info.with_temperature;
        for (const SeriesColumn& c : q_tot_columns(with_temperature_)) q_tot.emplace_back(c.name, std::vector<float>{});
        for (const SeriesColumn& c : balance_columns(with_temperature_))
            balance.emplace_back(c.name, std::vector<float>{});
        if (info.run_mode == 2)
            for (int32_t s : info.reported_subbasins) q_sub.emplace_back(std::to_string(s), std::vector<float>{});
    }
    void step(const StepResult& r) override {
        for (int32_t v : {r.year, r.month, r.day, r.hour}) date.push_back(v);
        add(q_tot_values(r.q_tot, with_temperature_), q_tot);
        add(balance_values(r.balance, with_temperature_), balance);
        for (std::size_t p = 0; p < r.reported_flows.size() && p < q_sub.size(); ++p)
            q_sub[p].second.push_back(r.reported_flows[p]);
    }
    std::vector<int32_t> date;  // year, month, day, hour of each step
    NamedSeries q_tot, balance, q_sub;

  private:
    static void add(const ColumnValues& values, NamedSeries& to) {
        for (std::size_t k = 0; k < values.count && k < to.size(); ++k) to[k].second.push_back(values.value[k]);
    }
    bool with_temperature_ = false;
};

FloatArray to_numpy(const std::vector<float>& v) {
    FloatArray a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

py::dict to_dict(const NamedSeries& m) {
    py::dict d;
    for (const auto& [k, v] : m) d[py::str(k)] = to_numpy(v);
    return d;
}

// A loaded project.
class PyModel {
  public:
    PyModel(const std::string& project, int mode) {
        if (mode != 1 && mode != 2) throw std::invalid_argument("mode must be 1 or 2, not " + std::to_string(mode));
        model_ = std::make_shared<Model>(load_model(ProjectPaths{project}, mode));
    }
    py::dict default_parameters() const {
        const Parameters p = hydro::default_parameters(*model_);
        py::dict d;
        for (const std::string& n : parameter_names()) d[py::str(n)] = static_cast<double>(*get_parameter(p, n));
        return d;
    }
    std::shared_ptr<ModelState> load_state_file(const std::string& path, bool any_date) const {
        return std::make_shared<ModelState>(load_state(path, *model_, any_date));
    }
    void save_state_file(const ModelState& s, const std::string& path) const { save_state(path, *model_, s); }
    py::dict run(const std::optional<py::dict>& parameters, int threads, const ModelState* initial) const {
        Parameters p = hydro::default_parameters(*model_);
        if (parameters)
            for (const auto& [key, value] : *parameters) {
                const std::string name = py::str(key);
                if (!set_parameter(p, name, value.cast<double>()))
                    throw std::invalid_argument("no parameter named \"" + name + "\" (see parameter_names())");
            }
        Columns c;
        SimulationOptions o;
        o.threads = std::max(1, threads);
        o.sinks = {&c};
        o.initial_state = initial;
        o.keep_final_state = true;
        SimulationOutcome outcome;
        {
            py::gil_scoped_release unlocked;
            outcome = simulate(*model_, p, o);
        }
        py::dict r;
        py::array_t<int32_t> date({static_cast<py::ssize_t>(c.date.size() / 4), py::ssize_t{4}});
        std::copy(c.date.begin(), c.date.end(), date.mutable_data());
        r["date"] = date;
        r["q_tot"] = to_dict(c.q_tot);
        r["balance"] = to_dict(c.balance);
        r["q_sub"] = to_dict(c.q_sub);
        r["final_state"] = std::make_shared<ModelState>(std::move(*outcome.final_state));
        r["non_finite"] = outcome.non_finite.found ? py::str(outcome.non_finite.where) : py::str("");
        return r;
    }

  private:
    std::shared_ptr<Model> model_;
};

// The BMI with arrays: values are read into new arrays and set from arrays.
class PyBmi {
  public:
    void initialize(const std::string& config) { bmi_.Initialize(config); }
    FloatArray get_value(const std::string& name) {
        FloatArray a(bmi_.GetGridSize(bmi_.GetVarGrid(name)));
        bmi_.GetValue(name, a.mutable_data());
        return a;
    }
    FloatArray get_value_at_indices(const std::string& name,
                                    py::array_t<int, py::array::c_style | py::array::forcecast> inds) {
        FloatArray a(inds.size());
        bmi_.GetValueAtIndices(name, a.mutable_data(), const_cast<int*>(inds.data()), static_cast<int>(inds.size()));
        return a;
    }
    void set_value(const std::string& name, FloatArray src) {
        const int size = bmi_.GetGridSize(bmi_.GetVarGrid(name));
        if (src.size() != size)
            throw std::invalid_argument(name + " takes " + std::to_string(size) + " values, not " +
                                        std::to_string(src.size()));
        bmi_.SetValue(name, const_cast<float*>(src.data()));
    }
    void set_value_at_indices(const std::string& name, py::array_t<int, py::array::c_style | py::array::forcecast> inds,
                              FloatArray src) {
        if (src.size() != inds.size())
            throw std::invalid_argument("set_value_at_indices: " + std::to_string(inds.size()) + " indices but " +
                                        std::to_string(src.size()) + " values");
        bmi_.SetValueAtIndices(name, const_cast<int*>(inds.data()), static_cast<int>(inds.size()),
                               const_cast<float*>(src.data()));
    }
    // A view of the model's own memory; `owner` keeps the model alive while the view lives.
    py::array get_value_ptr(const std::string& name, py::object owner) {
        float* p = static_cast<float*>(bmi_.GetValuePtr(name));
        return py::array_t<float>(bmi_.GetGridSize(bmi_.GetVarGrid(name)), p, owner);
    }
    template <class T>
    py::array_t<T> grid_values(int grid, int count, void (Bmi::*get)(int, T*)) {
        py::array_t<T> a(count);
        (bmi_.*get)(grid, a.mutable_data());
        return a;
    }
    Bmi bmi_;
};

}  // namespace

PYBIND11_MODULE(_gridrun, m) {
    m.doc() = "gridrun: grid-based, fully distributed rainfall-runoff model (compiled part)";
    // Every error of the model reaches Python as GridrunError with gridrun's own message.
    static py::exception<std::runtime_error> gridrun_error(m, "GridrunError", PyExc_RuntimeError);
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const py::error_already_set&) {
            throw;
        } catch (const py::builtin_exception&) {
            throw;
        } catch (const std::exception& e) {
            gridrun_error(e.what());
        }
    });
    m.def("parameter_names", &parameter_names);
    m.attr("__version__") = HYDRO_VERSION;

    py::class_<ModelState, std::shared_ptr<ModelState>>(m, "State")
        .def_property_readonly("run_mode", [](const ModelState& s) { return s.run_mode; })
        .def_property_readonly("groundwater", [](const ModelState& s) { return to_numpy(s.groundwater); })
        .def_property_readonly("soil_moisture", [](const ModelState& s) { return to_numpy(s.soil_moisture); })
        .def_property_readonly("snow", [](const ModelState& s) { return to_numpy(s.snow); });

    py::class_<PyModel>(m, "_Model")
        .def(py::init<const std::string&, int>(), py::arg("project"), py::arg("mode") = 2)
        .def("default_parameters", &PyModel::default_parameters)
        .def("load_state", &PyModel::load_state_file, py::arg("path"), py::arg("any_date") = false)
        .def("save_state", &PyModel::save_state_file)
        .def("run", &PyModel::run, py::arg("parameters"), py::arg("threads"), py::arg("initial_state"));

    py::class_<PyBmi>(m, "_Bmi")
        .def(py::init<>())
        .def("initialize", &PyBmi::initialize)
        .def("update", [](PyBmi& b) { b.bmi_.Update(); })
        .def("update_until", [](PyBmi& b, double t) { b.bmi_.UpdateUntil(t); })
        .def("finalize", [](PyBmi& b) { b.bmi_.Finalize(); })
        .def("get_component_name", [](PyBmi& b) { return b.bmi_.GetComponentName(); })
        .def("get_input_var_names", [](PyBmi& b) { return b.bmi_.GetInputVarNames(); })
        .def("get_output_var_names", [](PyBmi& b) { return b.bmi_.GetOutputVarNames(); })
        .def("get_var_grid", [](PyBmi& b, const std::string& n) { return b.bmi_.GetVarGrid(n); })
        .def("get_var_units", [](PyBmi& b, const std::string& n) { return b.bmi_.GetVarUnits(n); })
        .def("get_var_itemsize", [](PyBmi& b, const std::string& n) { return b.bmi_.GetVarItemsize(n); })
        .def("get_var_nbytes", [](PyBmi& b, const std::string& n) { return b.bmi_.GetVarNbytes(n); })
        .def("get_var_location", [](PyBmi& b, const std::string& n) { return b.bmi_.GetVarLocation(n); })
        .def("get_current_time", [](PyBmi& b) { return b.bmi_.GetCurrentTime(); })
        .def("get_start_time", [](PyBmi& b) { return b.bmi_.GetStartTime(); })
        .def("get_end_time", [](PyBmi& b) { return b.bmi_.GetEndTime(); })
        .def("get_time_units", [](PyBmi& b) { return b.bmi_.GetTimeUnits(); })
        .def("get_time_step", [](PyBmi& b) { return b.bmi_.GetTimeStep(); })
        .def("get_value", &PyBmi::get_value)
        .def("get_value_ptr", &PyBmi::get_value_ptr)
        .def("get_value_at_indices", &PyBmi::get_value_at_indices)
        .def("set_value", &PyBmi::set_value)
        .def("set_value_at_indices", &PyBmi::set_value_at_indices)
        .def("get_grid_rank", [](PyBmi& b, int g) { return b.bmi_.GetGridRank(g); })
        .def("get_grid_size", [](PyBmi& b, int g) { return b.bmi_.GetGridSize(g); })
        .def("get_grid_type", [](PyBmi& b, int g) { return b.bmi_.GetGridType(g); })
        .def("get_grid_shape",
             [](PyBmi& b, int g) { return b.grid_values<int>(g, b.bmi_.GetGridRank(g), &Bmi::GetGridShape); })
        .def("get_grid_spacing",
             [](PyBmi& b, int g) { return b.grid_values<double>(g, b.bmi_.GetGridRank(g), &Bmi::GetGridSpacing); })
        .def("get_grid_origin",
             [](PyBmi& b, int g) { return b.grid_values<double>(g, b.bmi_.GetGridRank(g), &Bmi::GetGridOrigin); })
        .def("get_grid_x",
             [](PyBmi& b, int g) {
                 int shape[2] = {0, 0};
                 b.bmi_.GetGridShape(g, shape);
                 return b.grid_values<double>(g, shape[1], &Bmi::GetGridX);
             })
        .def("get_grid_y",
             [](PyBmi& b, int g) {
                 int shape[2] = {0, 0};
                 b.bmi_.GetGridShape(g, shape);
                 return b.grid_values<double>(g, shape[0], &Bmi::GetGridY);
             })
        .def("get_grid_z", [](PyBmi& b, int g) { return b.grid_values<double>(g, 0, &Bmi::GetGridZ); })
        .def("get_grid_node_count", [](PyBmi& b, int g) { return b.bmi_.GetGridNodeCount(g); })
        .def("get_grid_edge_count", [](PyBmi& b, int g) { return b.bmi_.GetGridEdgeCount(g); })
        .def("get_grid_face_count", [](PyBmi& b, int g) { return b.bmi_.GetGridFaceCount(g); })
        .def("get_grid_edge_nodes", [](PyBmi& b, int g) { return b.grid_values<int>(g, 0, &Bmi::GetGridEdgeNodes); })
        .def("get_grid_face_edges", [](PyBmi& b, int g) { return b.grid_values<int>(g, 0, &Bmi::GetGridFaceEdges); })
        .def("get_grid_face_nodes", [](PyBmi& b, int g) { return b.grid_values<int>(g, 0, &Bmi::GetGridFaceNodes); })
        .def("get_grid_nodes_per_face",
             [](PyBmi& b, int g) { return b.grid_values<int>(g, 0, &Bmi::GetGridNodesPerFace); });
}
