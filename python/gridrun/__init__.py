"""gridrun from Python: a grid-based, fully distributed rainfall-runoff model.

Two ways in:

* ``Model(project, mode=2)`` loads a project once; ``.run(parameters)`` runs it
  as often as wanted (calibration, ensembles) and returns the series as numpy
  arrays, the numbers gridrun writes, bit for bit.
* ``Bmi()`` is the Basic Model Interface (BMI 2.0): initialize from a run
  file, step with update/update_until, read and set variables by their
  CSDMS standard names.

Errors of the model are raised as ``GridrunError`` (a RuntimeError) with the
message gridrun prints.
"""

import numpy as np

from ._gridrun import GridrunError, State, _Bmi, _Model, __version__
from ._gridrun import parameter_names as _parameter_names

__all__ = ["Bmi", "GridrunError", "Model", "RunResult", "State", "__version__"]


class RunResult:
    """The series of one run, one value per step, as 32-bit floats.

    ``time`` (datetime64, the date and hour of each step), ``q_tot`` (m3/s at
    the basin outlet, column Q of q_tot.txt), ``columns`` (every column of
    q_tot.txt and balance.txt by its header name: rain, Qs, Qi, Qg, Q, inte,
    s_mo, infi, evap, perc, RS, RI, RG, R, GT and temp when the project uses
    temperature), ``q_sub`` (run mode 2: the flow of each reported subbasin,
    by its number), ``final_state`` (the state after the last step, a
    warm start for a later run) and ``non_finite`` (where a value that is not
    a finite number first appeared, or "").
    """

    def __init__(self, raw):
        date = raw["date"]
        self.time = np.array(
            ["%04d-%02d-%02dT%02d" % tuple(d) for d in date], dtype="datetime64[h]"
        )
        self.columns = dict(raw["q_tot"])
        self.columns.update(raw["balance"])
        self.q_tot = self.columns["Q"]
        self.balance = dict(raw["balance"])
        self.q_sub = {int(k): v for k, v in raw["q_sub"].items()}
        self.final_state = raw["final_state"]
        self.non_finite = raw["non_finite"]

    def __getitem__(self, name):
        return self.columns[name]

    def to_xarray(self):
        """The series as an xarray Dataset (needs xarray)."""
        import xarray as xr

        data = {name: ("time", values) for name, values in self.columns.items()}
        if self.q_sub:
            numbers = sorted(self.q_sub)
            data["q_sub"] = (("time", "subbasin"), np.stack([self.q_sub[n] for n in numbers], axis=1))
            return xr.Dataset(data, coords={"time": self.time, "subbasin": numbers})
        return xr.Dataset(data, coords={"time": self.time})


class Model:
    """A project loaded once (every input read and checked), run many times."""

    def __init__(self, project, mode=2):
        self._model = _Model(str(project), int(mode))
        self.mode = int(mode)

    @staticmethod
    def parameter_names():
        """The eleven control-file parameters, then one multiplier per parameter grid."""
        return list(_parameter_names())

    def default_parameters(self):
        """The control file's values and every multiplier 1, as a dict."""
        return dict(self._model.default_parameters())

    def load_state(self, path, any_date=False):
        """A state file saved by gridrun --save-state (or State.save) for this project.

        The state must have been saved after the step just before the project's
        first step; any_date=True takes a state saved after another step.
        """
        return self._model.load_state(str(path), bool(any_date))

    def save_state(self, state, path):
        self._model.save_state(state, str(path))

    def run(self, parameters=None, threads=1, initial_state=None):
        """Runs the model; returns a RunResult.

        parameters: a dict of parameter names to values; those not named keep
        the control file's values (multipliers 1). initial_state: a State (a
        run's final_state) or the path of a state file.
        """
        if isinstance(initial_state, (str, bytes)) or hasattr(initial_state, "__fspath__"):
            initial_state = self.load_state(initial_state)
        params = None if parameters is None else {str(k): float(v) for k, v in parameters.items()}
        return RunResult(self._model.run(params, int(threads), initial_state))


def _fill(dest, values):
    if dest is None:
        return values
    if dest.size != values.size:
        raise GridrunError("the destination holds %d values, the variable %d" % (dest.size, values.size))
    np.copyto(dest, values.reshape(dest.shape), casting="unsafe")
    return dest


class Bmi:
    """The Basic Model Interface (BMI 2.0) of gridrun.

    Time is in hours since the start of the run; values are float32 (values
    given as other numbers are converted). See docs/python.md for the
    variables and grids.
    """

    def __init__(self):
        self._bmi = _Bmi()

    # Model control
    def initialize(self, config_file=None):
        self._bmi.initialize(str(config_file))

    def update(self):
        self._bmi.update()

    def update_until(self, time):
        self._bmi.update_until(float(time))

    def finalize(self):
        self._bmi.finalize()

    # Model information
    def get_component_name(self):
        return self._bmi.get_component_name()

    def get_input_item_count(self):
        return len(self._bmi.get_input_var_names())

    def get_output_item_count(self):
        return len(self._bmi.get_output_var_names())

    def get_input_var_names(self):
        return tuple(self._bmi.get_input_var_names())

    def get_output_var_names(self):
        return tuple(self._bmi.get_output_var_names())

    # Variable information
    def get_var_grid(self, name):
        return self._bmi.get_var_grid(name)

    def get_var_type(self, name):
        self._bmi.get_var_grid(name)
        return "float32"

    def get_var_units(self, name):
        return self._bmi.get_var_units(name)

    def get_var_itemsize(self, name):
        return self._bmi.get_var_itemsize(name)

    def get_var_nbytes(self, name):
        return self._bmi.get_var_nbytes(name)

    def get_var_location(self, name):
        return self._bmi.get_var_location(name)

    # Time information
    def get_current_time(self):
        return self._bmi.get_current_time()

    def get_start_time(self):
        return self._bmi.get_start_time()

    def get_end_time(self):
        return self._bmi.get_end_time()

    def get_time_units(self):
        return self._bmi.get_time_units()

    def get_time_step(self):
        return self._bmi.get_time_step()

    # Getters and setters
    def get_value(self, name, dest=None):
        """Fills dest (a numpy array of the variable's size) and returns it."""
        return _fill(dest, self._bmi.get_value(name))

    def get_value_ptr(self, name):
        """A view of the model's memory (outlet and subbasin flows only)."""
        return self._bmi.get_value_ptr(name, self._bmi)

    def get_value_at_indices(self, name, dest, inds):
        return _fill(dest, self._bmi.get_value_at_indices(name, np.asarray(inds, dtype=np.intc).ravel()))

    def set_value(self, name, src):
        self._bmi.set_value(name, np.asarray(src, dtype=np.float32).ravel())

    def set_value_at_indices(self, name, inds, src):
        self._bmi.set_value_at_indices(
            name, np.asarray(inds, dtype=np.intc).ravel(), np.asarray(src, dtype=np.float32).ravel()
        )

    # Grid information
    def get_grid_rank(self, grid):
        return self._bmi.get_grid_rank(grid)

    def get_grid_size(self, grid):
        return self._bmi.get_grid_size(grid)

    def get_grid_type(self, grid):
        return self._bmi.get_grid_type(grid)

    def get_grid_shape(self, grid, shape=None):
        return _fill(shape, self._bmi.get_grid_shape(grid))

    def get_grid_spacing(self, grid, spacing=None):
        return _fill(spacing, self._bmi.get_grid_spacing(grid))

    def get_grid_origin(self, grid, origin=None):
        return _fill(origin, self._bmi.get_grid_origin(grid))

    def get_grid_x(self, grid, x=None):
        return _fill(x, self._bmi.get_grid_x(grid))

    def get_grid_y(self, grid, y=None):
        return _fill(y, self._bmi.get_grid_y(grid))

    def get_grid_z(self, grid, z=None):
        return _fill(z, self._bmi.get_grid_z(grid))

    def get_grid_node_count(self, grid):
        return self._bmi.get_grid_node_count(grid)

    def get_grid_edge_count(self, grid):
        return self._bmi.get_grid_edge_count(grid)

    def get_grid_face_count(self, grid):
        return self._bmi.get_grid_face_count(grid)

    def get_grid_edge_nodes(self, grid, edge_nodes=None):
        return _fill(edge_nodes, self._bmi.get_grid_edge_nodes(grid))

    def get_grid_face_edges(self, grid, face_edges=None):
        return _fill(face_edges, self._bmi.get_grid_face_edges(grid))

    def get_grid_face_nodes(self, grid, face_nodes=None):
        return _fill(face_nodes, self._bmi.get_grid_face_nodes(grid))

    def get_grid_nodes_per_face(self, grid, nodes_per_face=None):
        return _fill(nodes_per_face, self._bmi.get_grid_nodes_per_face(grid))
