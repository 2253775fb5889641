"""The Python module against gridrun's own files on the example basin: BMI
stepping in any mix of update and update_until, Model.run, the run file of
gridrun --config, errors as exceptions, and the example script."""
import csv
import os
import shutil
import subprocess
import sys

import numpy as np
import pytest

import gridrun

EXAMPLES = os.environ.get("GRIDRUN_EXAMPLES", os.path.join(os.path.dirname(__file__), "..", "..", "examples"))
GRIDRUN = os.environ.get("GRIDRUN_EXE", "gridrun")
OUTLET = "channel_exit_water_x-section__volume_flow_rate"


def read_csv(path):
    with open(path) as f:
        rows = list(csv.reader(f))
    names = rows[0][1:]
    values = np.array([[np.float32(v) for v in r[1:]] for r in rows[1:]], dtype=np.float32)
    return [r[0] for r in rows[1:]], {n: values[:, k] for k, n in enumerate(names)}


@pytest.fixture(scope="module")
def basin(tmp_path_factory):
    """A copy of the example run by gridrun (run mode 2, CSV files)."""
    root = tmp_path_factory.mktemp("basin") / "jacksboro"
    shutil.copytree(os.path.join(EXAMPLES, "jacksboro"), root)
    subprocess.run([GRIDRUN, "--project", str(root), "--mode", "2", "--quiet", "--csv"], check=True)
    out = root / "model" / "output"
    times, q_tot = read_csv(out / "q_tot.csv")
    _, balance = read_csv(out / "balance.csv")
    _, q_sub = read_csv(out / "q_sub.csv")
    run_file = root.parent / "run.toml"
    run_file.write_text('project = "jacksboro"\nmode = 2\n')
    return {"root": root, "times": times, "q_tot": q_tot, "balance": balance, "q_sub": q_sub, "run_file": run_file}


@pytest.mark.parametrize(
    "plan",
    [
        ["update"] * 3 + [("until", 40)] + ["update"] * 5 + [("until", 46), ("until", 46), ("until", 700)] + ["update"] * 2,
        [("until", 1)] + ["state"] + ["update", "state"] * 4 + [("until", 1461)],
    ],
    ids=["mixed", "states-read-between"],
)
def test_bmi_steps_give_gridruns_outlet_flow(basin, plan):
    bmi = gridrun.Bmi()
    bmi.initialize(basin["run_file"])
    q = basin["q_tot"]["Q"]
    dt = bmi.get_time_step()
    assert bmi.get_end_time() == len(q) * dt
    flow = np.zeros(1, dtype=np.float32)
    ptr = bmi.get_value_ptr(OUTLET)
    shape = bmi.get_grid_shape(bmi.get_var_grid("soil_water__volume_fraction"))
    for action in plan:
        if action == "update":
            bmi.update()
        elif action == "state":
            moisture = bmi.get_value("soil_water__volume_fraction", np.empty(shape, dtype=np.float32))
            bmi.set_value("soil_water__volume_fraction", moisture)  # as read: nothing changes
            continue
        else:
            bmi.update_until(action[1] * dt)
        step = round(bmi.get_current_time() / dt)
        assert bmi.get_value(OUTLET, flow)[0] == q[step - 1], step
        assert ptr[0] == q[step - 1]
    while bmi.get_current_time() < bmi.get_end_time():
        bmi.update()
        step = round(bmi.get_current_time() / dt)
        assert bmi.get_value(OUTLET, flow)[0] == q[step - 1], step
    with pytest.raises(gridrun.GridrunError, match="no step left"):
        bmi.update()
    bmi.finalize()


def test_bmi_describes_its_variables_and_grids(basin):
    bmi = gridrun.Bmi()
    bmi.initialize(basin["run_file"])
    assert OUTLET in bmi.get_output_var_names()
    assert "soil_water__volume_fraction" in bmi.get_input_var_names()
    assert bmi.get_var_units(OUTLET) == "m3 s-1" and bmi.get_grid_rank(bmi.get_var_grid(OUTLET)) == 0
    grid = bmi.get_var_grid("snowpack__liquid-equivalent_depth")
    assert bmi.get_grid_type(grid) == "uniform_rectilinear"
    with open(basin["root"] / "arcview" / "ascii" / "watershed.asc") as f:
        header = dict(line.split()[:2] for line in [next(f) for _ in range(5)])
    rows, cols = int(header["nrows"]), int(header["ncols"])
    assert list(bmi.get_grid_shape(grid)) == [rows, cols]
    assert list(bmi.get_grid_spacing(grid)) == [90.0, 90.0]
    assert bmi.get_grid_origin(grid)[1] == float(header["xllcorner"]) + 45.0
    sub = bmi.get_var_grid("subbasin_channel_exit_water_x-section__volume_flow_rate")
    assert bmi.get_grid_size(sub) == 6  # the example's subbasins
    bmi.update_until(10 * bmi.get_time_step())
    flows = bmi.get_value("subbasin_channel_exit_water_x-section__volume_flow_rate")
    reported = sorted(int(k) for k in basin["q_sub"])
    for number in reported:
        assert flows[number - 1] == basin["q_sub"][str(number)][9]
    snow = bmi.get_value("snowpack__liquid-equivalent_depth")
    assert np.isnan(snow).sum() == rows * cols - 13710
    for name, value, message in [
        ("snowpack__liquid-equivalent_depth", -1.0, "at or above 0"),
        (OUTLET, 1.0, "output only"),
        ("no_such__variable", 1.0, "no variable"),
    ]:
        with pytest.raises(gridrun.GridrunError, match=message):
            bmi.set_value_at_indices(name, [0 if name == OUTLET else int(np.flatnonzero(~np.isnan(snow))[0])], [value])
    with pytest.raises(gridrun.GridrunError, match="outside the time"):
        bmi.update_until(0.0)


def test_model_run_gives_gridruns_files(basin):
    model = gridrun.Model(basin["root"], mode=2)
    assert model.parameter_names()[0] == "interflow_scale"
    defaults = model.default_parameters()
    assert defaults["conductivity_multiplier"] == 1.0
    result = model.run(threads=2)
    assert np.array_equal(result.q_tot, basin["q_tot"]["Q"])
    for name, values in list(basin["q_tot"].items()) + list(basin["balance"].items()):
        assert np.array_equal(result[name], values), name
    for number, values in basin["q_sub"].items():
        assert np.array_equal(result.q_sub[int(number)], values)
    assert str(result.time[0]) == basin["times"][0][:13]
    assert result.final_state.groundwater.shape == (6,)  # one store per subbasin
    changed = model.run({"interflow_scale": defaults["interflow_scale"] * 0.5})
    assert not np.array_equal(changed.q_tot, result.q_tot)


def test_to_xarray(basin):
    xr = pytest.importorskip("xarray")
    ds = gridrun.Model(basin["root"]).run().to_xarray()
    assert isinstance(ds, xr.Dataset)
    assert ds["Q"].shape == (len(basin["times"]),) and ds["q_sub"].dims == ("time", "subbasin")


def test_errors_are_exceptions_with_gridruns_message(tmp_path):
    with pytest.raises(gridrun.GridrunError, match="watershed.asc"):
        gridrun.Model(tmp_path / "nowhere")
    bad = tmp_path / "bad.toml"
    bad.write_text('project = "x"\n[parameters]\ninterflw_scale = 0.5\n')
    with pytest.raises(gridrun.GridrunError, match='did you mean "interflow_scale"'):
        gridrun.Bmi().initialize(bad)


def test_gridrun_config_runs_the_run_file_and_refuses_a_misspelt_key(basin, tmp_path):
    root = tmp_path / "p"
    shutil.copytree(basin["root"], root)
    run_file = tmp_path / "east.toml"
    run_file.write_text(
        'project = "p"\nmode = 1\nthreads = 2\n[parameters]\ninterflow_scale = 0.6\n'
        '[output]\ntext = false\ncsv = true\n[state]\nsave = "end.state"\nsave_at = ["2013-06-30"]\n'
    )
    # The command line overrides the file's run mode.
    subprocess.run([GRIDRUN, "--config", str(run_file), "--mode", "2", "--quiet"], check=True)
    _, q = read_csv(root / "model" / "output" / "q_tot.csv")
    expected = gridrun.Model(root, mode=2).run({"interflow_scale": 0.6}).q_tot
    assert np.array_equal(q["Q"], expected)
    assert (tmp_path / "end-2013-06-30T00.state").exists() and (tmp_path / "end.state").exists()
    # Without a mode the run file runs in run mode 2, asking nothing.
    run_file.write_text('project = "p"\n[output]\ncsv = true\n')
    subprocess.run([GRIDRUN, "--config", str(run_file), "--quiet"], check=True, stdin=subprocess.DEVNULL)
    _, q = read_csv(root / "model" / "output" / "q_tot.csv")
    assert np.array_equal(q["Q"], basin["q_tot"]["Q"])
    run_file.write_text('project = "p"\nmode = 2\n[output]\ncvs = true\n')
    r = subprocess.run([GRIDRUN, "--config", str(run_file)], capture_output=True, text=True)
    assert r.returncode == 1
    assert 'unknown key "cvs" (did you mean "csv"?)' in r.stderr and "line 4" in r.stderr


def test_example_script_runs():
    env = dict(os.environ)
    r = subprocess.run(
        [sys.executable, os.path.join(EXAMPLES, "python_example.py")], env=env, capture_output=True, text=True
    )
    assert r.returncode == 0, r.stderr
    assert "best interflow_scale: 0.6" in r.stdout
