// The cost of stepping: one whole run against the same run advanced one step
// at a time through the BMI's engine (reading the outlet flow after every
// step), on one project, the best of a few rounds of each; every step's flow
// is checked against the whole run's.
// Usage: bench_stepping PROJECT [MODE] [THREADS] [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "model.hpp"
#include "series_collector.hpp"
#include "stepped_run.hpp"

int main(int argc, char** argv) {
    using namespace hydro;
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_stepping PROJECT [MODE] [THREADS] [ROUNDS]\n");
        return 2;
    }
    try {
        const int mode = argc > 2 ? std::atoi(argv[2]) : 2, threads = argc > 3 ? std::atoi(argv[3]) : 1;
        const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
        const Model model = load_model(ProjectPaths{argv[1]}, mode);
        const Parameters p = default_parameters(model);
        using clock = std::chrono::steady_clock;
        double whole = 1e30, stepped = 1e30;
        for (int r = 0; r < rounds; ++r) {
            SeriesCollector series;
            SimulationOptions o;
            o.threads = threads;
            o.sinks = {&series};
            auto t0 = clock::now();
            simulate(model, p, o);
            whole = std::min(whole, std::chrono::duration<double>(clock::now() - t0).count());

            t0 = clock::now();
            SteppedRun run(model, p, nullptr, threads);
            for (std::size_t t = 0; t < run.run_steps(); ++t) {
                run.advance_to(t + 1);
                if (run.last_record().outlet_flow != series.flow[t]) {
                    std::fprintf(stderr, "bench_stepping: step %zu differs from the whole run\n", t + 1);
                    return 1;
                }
            }
            stepped = std::min(stepped, std::chrono::duration<double>(clock::now() - t0).count());
        }
        std::printf("whole run %.3f s, stepped one step at a time %.3f s, ratio %.2f (threads %d, best of %d)\n", whole,
                    stepped, stepped / whole, threads, rounds);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_stepping: %s\n", e.what());
        return 1;
    }
}
