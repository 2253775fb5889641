// The engine against the classic serial loop, in one process on one loaded
// project:
//   bench_engine PROJECT_ROOT MODE
// 1. the classic loop: every cell through every step (the one-cell form of
//    the step's processes, the code the engine runs cells side by side), its
//    runoff routed into two series of the whole run's length, every sum added in place into
//    series of the whole run's length, then groundwater and river routing
//    step by step (compiled -O2); it counts the calls of powf, expf and logf;
// 2. the transcendental floor of the case: those calls, each timed alone;
// 3. gridrun's simulate with 1 and with 2 threads, three times each, the
//    fastest kept (results compared with the classic loop's, value for value);
// 4. the arrays the run needs (grids, forcing, responses, state), for the
//    peak memory measured outside.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cell_loop.hpp"
#include "cell_routing.hpp"
#include "cell_step.hpp"
#include "groundwater.hpp"
#include "model.hpp"
#include "series_collector.hpp"

using namespace hydro;

namespace {

struct Calls {
    double pow = 0, exp = 0, log = 0;
};

// The C library's powf, expf and logf, counted, as a classic program calls
// them. On the GNU C library of an x86-64 processor with FMA they give the
// bits of the model's own (exact_math.hpp), so the results compare equal;
// elsewhere the comparison at the end may say they differ.
struct CountingMath {
    static inline Calls calls;
    static float pow(bool m, float x, float y) {
        if (!m) return 0.0f;
        calls.pow += 1;
        return std::pow(x, y);
    }
    static float exp(bool m, float x) {
        if (!m) return 0.0f;
        calls.exp += 1;
        return std::exp(x);
    }
    static float log(bool m, float x) {
        if (!m) return 0.0f;
        calls.log += 1;
        return std::log(x);
    }
};

struct ClassicResult {
    std::vector<float> qs, qi, qg;
    Calls calls;
};

ClassicResult classic(const Model& model) {
    const ModelInputs& in = model.inputs;
    const ControlFile& cf = in.control;
    const Catchment& g = in.catchment;
    const std::size_t steps = static_cast<std::size_t>(in.sizes.n_steps);
    const std::size_t n_sub = static_cast<std::size_t>(in.sizes.n_subbasins);
    const bool mode2 = in.sizes.run_mode == 2;
    const bool temperature_used = cf.temperature_used();
    const float n = static_cast<float>(in.sizes.n_cells);
    const float area = g.cell_area, dt = cf.time_step_hours;
    std::vector<float> rain(steps), temp(steps), inte(steps), moist(steps), infil(steps), evap(steps), rs(steps),
        ri(steps), out_s(steps), out_i(steps), out_g(steps);
    std::vector<float> sub_s(n_sub * steps), sub_i(n_sub * steps), rech(n_sub * steps), spet(n_sub * steps),
        sevap(n_sub * steps);
    std::vector<float> cell_s(steps), cell_i(steps), factor(steps);
    for (std::size_t t = 0; t < steps; ++t) factor[t] = interception_seasonal_factor(in.calendar.day_of_year[t]);
    const std::size_t grid = static_cast<std::size_t>(in.sizes.n_rows) * static_cast<std::size_t>(in.sizes.n_cols);
    std::vector<std::vector<float>> map_sum(kSnapshotKinds);
    for (int k = 0; k < kSnapshotKinds; ++k) map_sum[k].assign(cf.periods[k].size() * grid, 0.0f);
    CountingMath::calls = Calls{};
    std::size_t cell_number = 0;
    for (int32_t r = 0; r < in.sizes.n_rows; ++r)
        for (int32_t col = 0; col < in.sizes.n_cols; ++col) {
            const std::size_t i = g.index(r, col);
            if (!is_valid_cell(g, i)) continue;
            const std::size_t c = cell_number++;
            const std::size_t sb = static_cast<std::size_t>(g.subbasin_id[i] - 1);
            const float m = static_cast<float>(g.subbasin_cell_count[sb]);
            const float* p_of = &in.precipitation.values[static_cast<std::size_t>(g.station_zone_p[i] - 1) * steps];
            const float* e_of = &in.pet.values[static_cast<std::size_t>(g.station_zone_e[i] - 1) * steps];
            const float* t_of = temperature_used
                                    ? &in.temperature.values[static_cast<std::size_t>(g.station_zone_t[i] - 1) * steps]
                                    : nullptr;
            const CellParameters<float> cell = cell_parameters(cell_grids(g, i), g.dry_runoff_coefficient, cf);
            const int32_t first = in.cell_responses.first(c), last = in.cell_responses.last(c);
            const float* uh = in.cell_responses.ordinates(c);
            std::fill(cell_s.begin(), cell_s.end(), 0.0f);
            std::fill(cell_i.begin(), cell_i.end(), 0.0f);
            CellStores<float> stores{in.initial_soil_moisture[i],
                                     steps ? initial_snow_storage(in.calendar.month[0]) : 0.0f, 0.0f, 0.0f};
            const int32_t n_steps = static_cast<int32_t>(steps);
            for (std::size_t t = 0; t < steps; ++t) {
                const float p = p_of[t], pet = cf.pet_factor * e_of[t];
                const float temperature = temperature_used ? t_of[t] : 0.0f;
                const StepFluxes<float> f =
                    water_balance_step<float, CountingMath>(cf, cell, p, pet, temperature, factor[t], stores);
                const int32_t step = static_cast<int32_t>(t);
                if (f.runoff > 0.0f)
                    route_into_series(f.runoff, uh, first, last, step, n_steps, area, dt, cell_s.data());
                if (f.soil.interflow > 0.0f)
                    route_into_series(f.soil.interflow, uh, first, last, step, n_steps, area, dt, cell_i.data());
                if (mode2) {
                    sub_s[sb * steps + t] = sub_s[sb * steps + t] + cell_s[t];
                    sub_i[sb * steps + t] = sub_i[sb * steps + t] + cell_i[t];
                } else {
                    out_s[t] = out_s[t] + cell_s[t];
                    out_i[t] = out_i[t] + cell_i[t];
                }
                const float theta = stores.soil_moisture =
                    updated_soil_moisture(stores.soil_moisture, f.infiltration, f.soil);
                const float e = total_evaporation(f);
                rain[t] = p / n + rain[t];
                if (temperature_used) temp[t] = temperature / n + temp[t];
                inte[t] = f.interception / n + inte[t];
                moist[t] = theta / n + moist[t];
                infil[t] = f.infiltration / n + infil[t];
                evap[t] = e / n + evap[t];
                rs[t] = f.runoff / n + rs[t];
                ri[t] = f.soil.interflow / n + ri[t];
                rech[sb * steps + t] = f.soil.percolation / m + rech[sb * steps + t];
                spet[sb * steps + t] = pet / m + spet[sb * steps + t];
                sevap[sb * steps + t] = e / m + sevap[sb * steps + t];
                const float value[kSnapshotKinds] = {f.runoff, f.soil.interflow, f.soil.percolation, theta, e};
                for (int k = 0; k < kSnapshotKinds; ++k)
                    for (std::size_t j = 0; j < cf.periods[k].size(); ++j)
                        if (cf.periods[k][j].contains(in.calendar.date_code[t]))
                            map_sum[k][j * grid + i] = map_sum[k][j * grid + i] + value[k];
            }
        }
    // Groundwater and river routing, step by step.
    std::vector<float> storage(n_sub, cf.initial_groundwater), recession(n_sub);
    for (std::size_t s = 0; s < n_sub; ++s)
        recession[s] = (cf.groundwater_recession * g.subbasin_mean_slope[s]) / g.basin_mean_slope;
    auto to_outlet = [&](float flow, std::size_t s, std::size_t t, std::vector<float>& outlet) {
        const int32_t first = in.river_responses.first(s), last = in.river_responses.last(s);
        const float* uh = in.river_responses.ordinates(s);
        for (int32_t k = first; k <= last; ++k) {
            if (t + static_cast<std::size_t>(k) >= steps) break;
            outlet[t + k] = flow * uh[k - first] + outlet[t + k];
        }
    };
    for (std::size_t t = 0; t < steps; ++t)
        for (std::size_t s = 0; s < n_sub; ++s) {
            const std::size_t st = s * steps + t;
            const GroundwaterStep gw =
                groundwater_step(storage[s], recession[s], rech[st], spet[st], sevap[st],
                                 static_cast<float>(g.subbasin_cell_count[s]), area, dt, cf.groundwater_scale);
            storage[s] = gw.storage;
            to_outlet(gw.flow, s, t, out_g);
            if (mode2) {
                to_outlet(sub_s[st], s, t, out_s);
                to_outlet(sub_i[st], s, t, out_i);
            }
        }
    return {out_s, out_i, out_g, CountingMath::calls};
}

volatile float g_sink;

// Nanoseconds of one call of each function, with arguments like the model's.
Calls call_ns() {
    const int n = 1 << 18, reps = 8;
    std::vector<float> x(n), y(n);
    uint64_t state = 7;
    auto uniform = [&] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<float>(static_cast<double>(state >> 11) * (1.0 / 9007199254740992.0));
    };
    for (int i = 0; i < n; ++i) x[i] = 0.05f + 0.9f * uniform(), y[i] = 1.0f + 4.0f * uniform();
    auto time_ns = [&](auto f) {
        float acc = 0;
        const auto t0 = std::chrono::steady_clock::now();
        for (int r = 0; r < reps; ++r)
            for (int i = 0; i < n; ++i) acc += f(x[i], y[i]);
        g_sink = acc;
        return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() /
               (double(n) * reps);
    };
    const double overhead = time_ns([](float a, float b) { return a * b; });
    return {time_ns([](float a, float b) { return std::pow(a, b); }) - overhead,
            time_ns([](float a, float b) { return std::exp(0.0f - b * a); }) - overhead,
            time_ns([](float a, float) { return std::log(1.0f - a); }) - overhead};
}

double seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_engine PROJECT_ROOT MODE\n");
        return 2;
    }
    const Model model = load_model(ProjectPaths{argv[1]}, std::atoi(argv[2]));
    const ModelInputs& in = model.inputs;
    const double cell_steps = double(in.sizes.n_cells) * in.sizes.n_steps;

    auto t0 = std::chrono::steady_clock::now();
    const ClassicResult reference = classic(model);
    const double classic_s = seconds(t0);
    // gridrun with 1 and 2 threads, three times each in turn: the fastest of
    // each (a shared machine only ever adds time).
    double engine_s[3] = {1e300, 1e300, 1e300};
    bool same = true;
    for (int round = 0; round < 3; ++round)
        for (int threads : {1, 2}) {
            SeriesCollector series;
            SimulationOptions o;
            o.threads = threads;
            o.sinks = {&series};
            t0 = std::chrono::steady_clock::now();
            simulate(model, default_parameters(model), o);
            engine_s[threads] = std::min(engine_s[threads], seconds(t0));
            same = same && series.surface_flow == reference.qs && series.interflow == reference.qi &&
                   series.groundwater_flow == reference.qg;
        }
    Calls ns = call_ns();
    for (int round = 0; round < 2; ++round) {
        const Calls again = call_ns();
        ns.pow = std::min(ns.pow, again.pow);
        ns.exp = std::min(ns.exp, again.exp);
        ns.log = std::min(ns.log, again.log);
    }
    const Calls& c = reference.calls;
    const double floor_s = (c.pow * ns.pow + c.exp * ns.exp + c.log * ns.log) * 1e-9;

    const double mb = 1.0 / (1024.0 * 1024.0);
    const double grid = double(in.sizes.n_rows) * in.sizes.n_cols * 4.0;
    const double grids = grid * (17 + 17) * mb;  // as read and converted
    const double forcing =
        static_cast<double>(in.precipitation.values.size() + in.pet.values.size() + in.temperature.values.size()) *
            4.0 * mb +
        static_cast<double>(in.calendar.size()) * 6 * 4.0 * mb;
    double responses = 0;
    for (std::size_t l = 0; l < in.cell_responses.size(); ++l)
        responses += 16.0 + 4.0 * std::max(0, in.cell_responses.last(l) - in.cell_responses.first(l) + 1);
    responses *= mb;
    const double state = double(in.sizes.n_cells) * (4 * 4 + 8 + 2 * 4 * 3) * mb;

    std::printf("cells %d, steps %d, mode %d: %.3g cell-steps; cell kernel %s\n", in.sizes.n_cells, in.sizes.n_steps,
                in.sizes.run_mode, cell_steps, cell_kernel_name());
    std::printf("calls per cell-step: powf %.2f, expf %.2f, logf %.2f; ns per call: %.2f, %.2f, %.2f\n",
                c.pow / cell_steps, c.exp / cell_steps, c.log / cell_steps, ns.pow, ns.exp, ns.log);
    std::printf("classic serial loop (-O2)   %8.3f s  %6.1f ns/cell-step\n", classic_s, classic_s * 1e9 / cell_steps);
    std::printf("transcendental floor        %8.3f s  %6.1f ns/cell-step\n", floor_s, floor_s * 1e9 / cell_steps);
    std::printf("gridrun 1 thread            %8.3f s  %6.1f ns/cell-step  %.2f x classic, %.2f x floor\n", engine_s[1],
                engine_s[1] * 1e9 / cell_steps, engine_s[1] / classic_s, engine_s[1] / floor_s);
    std::printf("gridrun 2 threads           %8.3f s  %6.1f ns/cell-step  %.2f x classic, speed-up 1->2: %.2f\n",
                engine_s[2], engine_s[2] * 1e9 / cell_steps, engine_s[2] / classic_s, engine_s[1] / engine_s[2]);
    std::printf("arrays needed: grids %.1f MB, forcing and dates %.1f MB, responses %.1f MB, state %.1f MB: %.1f MB\n",
                grids, forcing, responses, state, grids + forcing + responses + state);
    std::printf("outlet flows of gridrun (1 and 2 threads) and the classic loop: %s\n",
                same ? "identical" : "DIFFERENT");
    return same ? 0 : 1;
}
