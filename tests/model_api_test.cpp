// The model library: parameters by name, multipliers that reproduce a run
// from multiplied grid files, refused parameters, simultaneous simulations
// on one loaded model, and errors of worker threads reaching the caller.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <thread>

#include "cell_loop.hpp"
#include "input_error.hpp"
#include "model.hpp"
#include "project_builder.hpp"
#include "series_collector.hpp"
#include "test_support.hpp"

namespace {

using namespace project_builder;
using namespace hydro;
using testing_support::TempDir;

// The shared snowy basin, with three kinds of map and a cell without canopy.
Project wet_project() {
    Project p = snowy_basin();
    p.control.periods[0] = {"2003 1 25 0 2003 2 10 0"};
    p.control.periods[3] = {"2003 2 1 0 2003 3 1 0"};
    p.control.periods[4] = {"2003 1 20 0 2003 3 30 0"};
    p.set_cell("interc_max.asc", 0, 0, 0.0);
    p.set_cell("interc_min.asc", 0, 0, 0.0);
    p.set_cell("slope.asc", 2, 3, 25);
    return p;
}

SeriesCollector run(const Model& m, const Parameters& p, int threads = 1) {
    SeriesCollector c(true);
    SimulationOptions o;
    o.threads = threads;
    o.sinks = {&c};
    simulate(m, p, o);
    return c;
}

void expect_same(const SeriesCollector& a, const SeriesCollector& b) {
    ASSERT_EQ(a.flow.size(), b.flow.size());
    for (std::size_t t = 0; t < a.flow.size(); ++t) {
        EXPECT_EQ(a.surface_flow[t], b.surface_flow[t]) << t;
        EXPECT_EQ(a.interflow[t], b.interflow[t]) << t;
        EXPECT_EQ(a.groundwater_flow[t], b.groundwater_flow[t]) << t;
        EXPECT_EQ(a.balance[t].moisture, b.balance[t].moisture) << t;
        EXPECT_EQ(a.balance[t].evaporation, b.balance[t].evaporation) << t;
    }
    EXPECT_EQ(a.reported_flows, b.reported_flows);
}

TEST(Parameters, NamesReachEveryParameterAndMultiplier) {
    const std::vector<std::string> names = parameter_names();
    ASSERT_EQ(names.size(), 11u + kParameterGridCount);
    Parameters p{};
    for (std::size_t i = 0; i < names.size(); ++i) ASSERT_TRUE(set_parameter(p, names[i], 0.5 + double(i))) << names[i];
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(*get_parameter(p, names[i]), 0.5 + double(i)) << names[i];
    EXPECT_EQ(p.pet_factor, 3.5f);
    EXPECT_EQ(p.grid_multiplier[3], 14.5f);  // conductivity_multiplier
    for (const char* bad : {"", "pet", "conductivity", "_multiplier", "moisture_multiplier", "thiessen_p_multiplier"})
        EXPECT_FALSE(set_parameter(p, bad, 1)) << bad;
}

TEST(Parameters, MultipliedGridsReproduceTheRunOfMultipliedFiles) {
    TempDir tmp("api");
    Project p = wet_project();
    write_project(p, tmp.path() / "a");
    // Scaled and clipped to the physical range: runoff coefficient 0.5 x 2.5
    // becomes 1, porosity 0.45 x 1.1, conductivity 1 and 4.5 x 0.7, slope x 1.3.
    const std::pair<const char*, double> scaled[] = {
        {"runoff_co", 2.5}, {"porosity", 1.1}, {"conductivity", 0.7}, {"slope", 1.3}, {"interc_max", 0.9}};
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        const Model a = load_model(ProjectPaths{(tmp.path() / "a").string()}, mode);
        Parameters pa = default_parameters(a);
        Project q = p;
        for (const auto& [stem, m] : scaled) {
            ASSERT_TRUE(set_parameter(pa, std::string(stem) + "_multiplier", m));
            const GridDescription& d = kGridTable[grid_index(stem)];
            for (double& v : q.grid(d.file))
                if (v != kNoData) v = std::min(std::max(float(float(v) * float(m)), d.low), d.high);
        }
        write_project(q, tmp.path() / "b");
        const Model b = load_model(ProjectPaths{(tmp.path() / "b").string()}, mode);
        expect_same(run(a, pa), run(b, default_parameters(b)));
    }
}

TEST(Parameters, ChangesOfTheRunsShapeAreRefused) {
    TempDir tmp("api");
    write_project(wet_project(), tmp.path());
    const Model m = load_model(ProjectPaths{tmp.path().string()}, 2);
    const std::pair<const char*, double> refused[] = {
        {"degree_day_factor", -1},
        {"groundwater_scale", 0},
        {"initial_moisture_ratio", -1},
        {"pet_factor", NAN},
        {"porosity_multiplier", 0.5}};  // porosity below the field capacity
    for (const auto& [name, value] : refused) {
        Parameters p = default_parameters(m);
        set_parameter(p, name, value);
        EXPECT_THROW(run(m, p), std::invalid_argument) << name;
    }
}

TEST(Simulate, RunsAtTheSameTimeOnOneModelAndGivesTheSerialResults) {
    TempDir tmp("api");
    write_project(wet_project(), tmp.path());
    const Model m = load_model(ProjectPaths{tmp.path().string()}, 2);
    Parameters wetter = default_parameters(m);
    set_parameter(wetter, "pet_factor", 0.5);
    set_parameter(wetter, "fieldcap_multiplier", 0.8);
    const SeriesCollector serial = run(m, wetter);
    std::vector<SeriesCollector> got(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < got.size(); ++i)
        threads.emplace_back([&, i] { got[i] = run(m, wetter, 1 + int(i % 2)); });
    for (std::thread& t : threads) t.join();
    for (const SeriesCollector& g : got) expect_same(serial, g);
    // The default parameters give a different run.
    EXPECT_NE(run(m, default_parameters(m)).flow, serial.flow);
}

TEST(Simulate, AnErrorInAWorkerThreadReachesTheCaller) {
    TempDir tmp("api");
    Project p = tiny_project(std::vector<int>(600, 1), 30, 40);
    p.uh_cell_h.assign(600, "0 0 1");
    p.uh_cell_s.assign(600, "0 0 1");
    write_project(p, tmp.path());
    const Model m = load_model(ProjectPaths{tmp.path().string()}, 1);
    SimulationOptions o;
    o.threads = 2;
    o.on_progress = [](double) { throw std::runtime_error("stopped by the caller"); };
    EXPECT_THROW(simulate(m, default_parameters(m), o), std::runtime_error);
}

}  // namespace

namespace {

struct MapKeeper : ResultSink {
    std::vector<std::vector<float>> maps;
    void step(const StepResult&) override {}
    void map(const MapResult& m) override { maps.push_back(m.values); }
};

// Two stations in every series, so that each tile takes each cell's forcing
// from its own station's series.
Project two_station_project() {
    Project p = wet_project();
    for (std::size_t t = 0; t < p.dates.size(); ++t) {
        p.precipitation[t].push_back(t % 5 == 1 ? 9.0 : 0.5);
        p.pet[t].push_back(1.5);
        p.temperature[t].push_back(p.temperature[t][0] - 2.0);
    }
    for (const char* f : {"thiessen_p.asc", "thiessen_e.asc", "thiessen_t.asc"}) {
        p.set_cell(f, 2, 1, 2);
        p.set_cell(f, 1, 3, 2);
    }
    return p;
}

// Tiles of any length, any number of threads and every cell kernel the
// processor has (cells side by side in 4, 8 or 16 lanes), with the series
// held whole or read a tile at a time, give the same results: every sum is
// formed in cell order, every lane computes what one cell computes.
TEST(Simulate, TileLengthThreadCountKernelAndSeriesReadingDoNotChangeAnyResult) {
    TempDir tmp("tiles");
    write_project(two_station_project(), tmp.path());
    const std::string kernel_before = cell_kernel_name();
    for (int mode : {1, 2}) {
        const Model m = load_model(ProjectPaths{tmp.path().string()}, mode);
        const Model by_tile = load_model(ProjectPaths{tmp.path().string()}, mode, nullptr, SeriesReading::by_tile);
        EXPECT_TRUE(by_tile.inputs.precipitation.values.empty());
        ASSERT_TRUE(select_cell_kernel("generic"));
        SeriesCollector reference(true);
        MapKeeper reference_maps;
        SimulationOptions r;
        r.sinks = {&reference, &reference_maps};
        PhaseTimes times;  // --timings: the routing is measured apart from the cell loop
        r.times = &times;
        simulate(m, default_parameters(m), r);
        ASSERT_EQ(reference_maps.maps.size(), 3u);
        EXPECT_GT(times.second_pass, 0.0);
        EXPECT_GT(times.cell_loop, 0.0);
        for (const std::string& kernel : cell_kernel_names())
            for (std::size_t tile : {1, 7, 59, 60, 1000})
                for (int threads : {1, 2, 3})
                    for (const Model* model : {&m, &by_tile}) {
                        SCOPED_TRACE(kernel + " mode " + std::to_string(mode) + " tile " + std::to_string(tile) +
                                     " threads " + std::to_string(threads) + (model == &m ? " whole" : " by tile"));
                        ASSERT_TRUE(select_cell_kernel(kernel));
                        SeriesCollector c(true);
                        MapKeeper maps;
                        SimulationOptions o;
                        o.threads = threads;
                        o.tile_steps = tile;
                        o.sinks = {&c, &maps};
                        simulate(*model, default_parameters(*model), o);
                        expect_same(reference, c);
                        EXPECT_EQ(maps.maps, reference_maps.maps);
                        for (std::size_t t = 0; t < c.balance.size(); ++t) {
                            EXPECT_EQ(c.balance[t].groundwater_storage, reference.balance[t].groundwater_storage);
                            EXPECT_EQ(c.balance[t].interception, reference.balance[t].interception);
                        }
                    }
    }
    select_cell_kernel(kernel_before);
}

// Read a tile at a time, a fault in a series is found when its tile is read:
// the run stops with the message that reading the whole series gives when
// the model is loaded (file, line, what was expected). A date of p.txt that
// is no longer the one read at loading means the file changed during the run.
TEST(Simulate, AFaultLateInASeriesReadByTileStopsTheRunWithItsFileAndLine) {
    struct Case {
        const char* file;
        int line;  // from 1; the header is line 1, record 60 line 61
        const char* text;
        int reported;  // the line the message names
        bool after_loading;
    };
    const Case cases[] = {
        {"p.txt", 61, "2003 3 20 0 -1 0.5", 61, false},   // negative precipitation, last record
        {"pet.txt", 59, "2003 3 18 0 0.5 x", 59, false},  // not a number, station 2
        {"t.txt", 60, "2003 3 19 0 61 1", 60, false},     // above 60 degrees
        {"pet.txt", 61, "2003 3 20 0 0.5", 61, false},    // one station value short, at the file's end
        {"pet.txt", 61, "", 60, false},                   // the last record missing
        {"p.txt", 50, "2003 3 10 0 0.5 0.5", 50, true},   // a date that is not the one loaded
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.file) + " line " + std::to_string(k.line));
        TempDir tmp("late_fault");
        write_project(two_station_project(), tmp.path());
        const std::string path = (tmp.path() / "model" / "input" / k.file).string();
        auto edit = [&] {
            std::string text = testing_support::read_file(path), out;
            std::size_t at = 0;
            for (int line = 1; at < text.size(); ++line) {
                const std::size_t end = text.find('\n', at) + 1;
                out += line == k.line ? (*k.text ? std::string(k.text) + "\n" : "") : text.substr(at, end - at);
                at = end;
            }
            testing_support::write_file(path, out);
        };
        const ProjectPaths paths{tmp.path().string()};
        std::string whole_message;
        if (!k.after_loading) {
            edit();
            try {
                load_model(paths, 2);
                ADD_FAILURE() << "the whole series loaded";
            } catch (const InputError& e) {
                whole_message = e.what();
            }
        }
        const Model m = load_model(paths, 2, nullptr, SeriesReading::by_tile);
        if (k.after_loading) edit();
        SeriesCollector c(true);
        SimulationOptions o;
        o.threads = 2;
        o.tile_steps = 7;
        o.sinks = {&c};
        try {
            simulate(m, default_parameters(m), o);
            ADD_FAILURE() << "the run went to its end";
        } catch (const InputError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(path + ", line " + std::to_string(k.reported) + ":"), std::string::npos) << message;
            if (!k.after_loading) {
                EXPECT_EQ(message, whole_message);
            }
        }
        EXPECT_LT(c.flow.size(), 60u);
    }
}

// The grids, the response files and the series files are scanned and read at
// the same time; of several faulty files, the one reported is still the first
// in the order they were read one after the other.
TEST(LoadModel, OfSeveralFaultyFilesTheFirstInReadingOrderIsReported) {
    struct Fault {
        const char* file;  // under the project
        int line;          // from 1
        const char* text;  // the line it becomes
    };
    const Fault faults[] = {
        // The sizes are scanned first, then the grids in table order, the responses, the series.
        {"arcview/ascii/watershed.asc", 7, "1 x 1 2"},      {"arcview/ascii/thiessen_e.asc", 8, "1 1 x 1"},
        {"arcview/ascii/porosity.asc", 7, "0.4 x 0.4 0.4"}, {"arcview/ascii/slope.asc", 8, "10 10 10 x"},
        {"model/output/uh_cell_s.txt", 1, "0 1 x 0.3"},     {"model/output/uh_river.txt", 2, "0 1 0.8 x"},
        {"model/input/p.txt", 30, "2003 2 17 0 x 0.5"},     {"model/input/pet.txt", 30, "2003 2 17 0 0.5 x"},
        {"model/input/t.txt", 30, "2003 2 17 0 x 1"},
    };
    const std::size_t n = std::size(faults);
    for (std::size_t first = 0; first < n; ++first)
        for (std::size_t second = first + 1; second < n; ++second) {
            SCOPED_TRACE(std::string(faults[first].file) + " and " + faults[second].file);
            TempDir tmp("two_faults");
            write_project(two_station_project(), tmp.path());
            for (const Fault& f : {faults[first], faults[second]}) {
                const fs::path path = tmp.path() / f.file;
                std::string text = testing_support::read_file(path), out;
                std::size_t at = 0;
                for (int line = 1; at < text.size(); ++line) {
                    const std::size_t end = text.find('\n', at) + 1;
                    out += line == f.line ? std::string(f.text) + "\n" : text.substr(at, end - at);
                    at = end;
                }
                testing_support::write_file(path, out);
            }
            try {
                load_model(ProjectPaths{tmp.path().string()}, 2);
                ADD_FAILURE() << "loaded";
            } catch (const InputError& e) {
                const std::string message = e.what();
                const std::string first_file = (tmp.path() / faults[first].file).string();
                EXPECT_EQ(message.rfind(first_file + ", line " + std::to_string(faults[first].line), 0), 0u) << message;
            }
        }
}

}  // namespace
