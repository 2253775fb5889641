#include "full_model.hpp"

#include <chrono>
#include <memory>
#include <string>

#include "ascii_grid.hpp"
#include "cell_loop.hpp"
#include "model_loading.hpp"
#include "outlet_routing.hpp"
#include "result_series.hpp"
#include "snapshots.hpp"
#include "text_output.hpp"

namespace hydro {

namespace {

std::string step_name(const ModelInputs& in, std::size_t t) {
    const StepCalendar& c = in.calendar;
    return "step " + std::to_string(t + 1) + " (" + std::to_string(c.year[t]) + "-" + std::to_string(c.month[t]) + "-" +
           std::to_string(c.day[t]) + " hour " + std::to_string(c.hour[t]) + ")";
}

NonFiniteReport describe_non_finite(const ModelInputs& in, const RunAccumulators& acc) {
    NonFiniteReport r;
    const FirstNonFinite& cell = acc.cell_non_finite;
    const FirstNonFinite& gw = acc.groundwater_non_finite;
    if (cell.found() && (!gw.found() || cell.step <= gw.step)) {
        r.found = true;
        r.where = "cell " + std::to_string(cell.cell + 1) + " (row " + std::to_string(cell.row) + ", column " +
                  std::to_string(cell.col) + "), " + step_name(in, cell.step);
    } else if (gw.found()) {
        r.found = true;
        r.where = "the groundwater store of subbasin " + std::to_string(gw.subbasin + 1) + ", " + step_name(in, gw.step);
    }
    return r;
}

}  // namespace

NonFiniteReport run_full_model(const ProjectPaths& paths, const RunSizes& sizes, const RunOptions& options) {
    using clock = std::chrono::steady_clock;
    auto seconds_since = [](clock::time_point t0) { return std::chrono::duration<double>(clock::now() - t0).count(); };
    PhaseTimes times;
    auto t0 = clock::now();
    const ModelInputs in = load_model_inputs(paths, sizes);
    times.input = seconds_since(t0);
    const std::size_t steps = static_cast<std::size_t>(in.sizes.n_steps);

    RunAccumulators acc;
    acc.basin.resize(steps);
    acc.subbasin.resize(static_cast<std::size_t>(in.sizes.n_subbasins), steps);
    prepare_snapshot_sums(in, acc.snapshots);

    CellLoopOptions loop;
    loop.threads = options.threads;
    loop.progress = options.progress;
    loop.flush_progress = options.flush_progress;
    t0 = clock::now();
    run_cell_loop(in, acc, loop);
    times.cell_loop = seconds_since(t0);
    t0 = clock::now();
    const ResultTexts records = run_second_pass(in, acc);
    times.second_pass = seconds_since(t0);
    t0 = clock::now();

    const bool with_temperature = in.control.temperature_used();
    if (in.sizes.run_mode == 2 && !in.control.reported_subbasins.empty())
        write_text_file(paths.output("q_sub.txt"), q_sub_header(in.control.reported_subbasins) + records.q_sub);
    write_text_file(paths.output("balance.txt"), balance_header(with_temperature) + records.balance);
    write_text_file(paths.output("q_tot.txt"), q_tot_header(with_temperature) + records.q_tot);
    write_snapshots(in, acc.snapshots, paths);
    times.output = seconds_since(t0);
    if (options.times) *options.times = times;
    return describe_non_finite(in, acc);
}

}  // namespace hydro
