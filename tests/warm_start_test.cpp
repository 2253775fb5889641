// Warm starts: a run split anywhere (inside a rain event, inside a snow
// period) into a first part that saves its state and a second part that
// starts from it gives the single run's records of the second part, in both
// run modes and for any number of threads; state files that do not fit the
// project are refused.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "input_error.hpp"
#include "model.hpp"
#include "model_state_file.hpp"
#include "project_builder.hpp"
#include "series_collector.hpp"
#include "test_support.hpp"

namespace {

using namespace project_builder;
using namespace hydro;
using testing_support::read_file;
using testing_support::TempDir;

// The shared snowy basin, with one interflow map period.
Project basin() {
    Project p = snowy_basin();
    p.control.periods[1] = {"2003 2 20 0 2003 3 10 0"};  // within the second part of every split below
    return p;
}

// The project with only the records [from, to) of its series.
Project part(Project p, int from, int to) {
    auto cut = [&](auto& v) {
        v = std::vector<typename std::decay_t<decltype(v)>::value_type>(v.begin() + from, v.begin() + to);
    };
    cut(p.dates);
    cut(p.precipitation);
    cut(p.pet);
    cut(p.temperature);
    return p;
}

struct MapKeeper : ResultSink {
    std::vector<std::vector<float>> interflow;
    void step(const StepResult&) override {}
    void map(const MapResult& m) override {
        if (m.kind == 1) interflow.push_back(m.values);
    }
};

struct PartRun {
    SeriesCollector series{true};
    MapKeeper maps;
    std::optional<ModelState> final_state;
};

PartRun simulate_project(const fs::path& root, int mode, int threads, const ModelState* initial, std::size_t tile = 0) {
    const Model m = load_model(ProjectPaths{root.string()}, mode);
    PartRun r;
    SimulationOptions o;
    o.threads = threads;
    o.tile_steps = tile;
    o.initial_state = initial;
    o.keep_final_state = true;
    o.sinks = {&r.series, &r.maps};
    r.final_state = simulate(m, default_parameters(m), o).final_state;
    return r;
}

TEST(WarmStart, TheSecondPartOfASplitRunGivesTheSingleRunsRecords) {
    TempDir tmp("warm");
    const Project whole = basin();
    write_project(whole, tmp.path() / "whole");
    struct Split {
        int at;
        const char* where;
    };
    const Split splits[] = {
        {8, "inside the snow period and a rain event"}, {16, "inside a rain event"}, {33, "dry days"}};
    for (const Split& split : splits) {
        write_project(part(whole, 0, split.at), tmp.path() / "first");
        write_project(part(whole, split.at, 60), tmp.path() / "second");
        for (int mode : {1, 2})
            for (int threads : {1, 2}) {
                SCOPED_TRACE(std::string(split.where) + ", mode " + std::to_string(mode) + ", threads " +
                             std::to_string(threads));
                const PartRun single = simulate_project(tmp.path() / "whole", mode, threads, nullptr);
                const PartRun first = simulate_project(tmp.path() / "first", mode, threads, nullptr, 5);
                const PartRun second = simulate_project(tmp.path() / "second", mode, 3 - threads, &*first.final_state);
                const SeriesCollector& a = single.series;
                const SeriesCollector& b = second.series;
                ASSERT_EQ(b.flow.size(), std::size_t(60 - split.at));
                for (std::size_t t = 0; t < b.flow.size(); ++t) {
                    const std::size_t u = t + std::size_t(split.at);
                    EXPECT_EQ(a.surface_flow[u], b.surface_flow[t]) << u;
                    EXPECT_EQ(a.interflow[u], b.interflow[t]) << u;
                    EXPECT_EQ(a.groundwater_flow[u], b.groundwater_flow[t]) << u;
                    EXPECT_EQ(0, std::memcmp(&a.balance[u], &b.balance[t], sizeof(BalanceRecord))) << u;
                }
                EXPECT_EQ(std::vector<float>(a.reported_flows.begin() + split.at * long(a.n_reported),
                                             a.reported_flows.end()),
                          b.reported_flows);
                EXPECT_EQ(single.maps.interflow, second.maps.interflow);
                // The state after the second part is the single run's final state.
                EXPECT_EQ(single.final_state->soil_moisture, second.final_state->soil_moisture);
                EXPECT_EQ(single.final_state->snow, second.final_state->snow);
                EXPECT_EQ(single.final_state->groundwater, second.final_state->groundwater);
            }
    }
}

TEST(WarmStart, TheCommandLineSavesAndStartsFromAStateFile) {
    TempDir tmp("warm-cli");
    const Project whole = basin();
    write_project(whole, tmp.path() / "whole");
    write_project(part(whole, 0, 16), tmp.path() / "first");
    write_project(part(whole, 16, 60), tmp.path() / "second");
    const std::string state = (tmp.path() / "after-first.state").string();
    auto gridrun = [&](const char* project, std::vector<std::string> extra) {
        std::vector<std::string> args = {"--project", (tmp.path() / project).string(), "--mode", "2", "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto r = testing_support::run_program(GRIDRUN_EXE, args, tmp.path());
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return r;
    };
    gridrun("whole", {});
    gridrun("first", {"--save-state", state});
    gridrun("second", {"--initial-state", state, "--threads", "2"});
    for (const char* file : {"q_tot.txt", "balance.txt", "q_sub.txt"}) {
        std::istringstream a(read_file(tmp.path() / "whole" / "model" / "output" / file));
        std::istringstream b(read_file(tmp.path() / "second" / "model" / "output" / file));
        std::string la, lb;
        std::getline(a, la), std::getline(b, lb);  // headers
        for (int t = 0; t < 16; ++t) std::getline(a, la);
        int lines = 0;
        while (std::getline(b, lb)) {
            ASSERT_TRUE(std::getline(a, la)) << file;
            EXPECT_EQ(la, lb) << file;
            ++lines;
        }
        EXPECT_EQ(lines, 44) << file;
    }
}

// The places --netcdf and --save-state name are checked before the run: an
// input or a result of the project, the journal or a temporary file's name,
// the same file by another path, a folder, or a file of another kind is
// refused, and nothing is written.
TEST(WarmStart, DestinationsAreCheckedBeforeAnythingIsWritten) {
    TempDir tmp("warm-dest");
    write_project(basin(), tmp.path() / "p");
    const fs::path root = tmp.path() / "p", out = root / "model" / "output";
    auto gridrun = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"--project", root.string(), "--mode", "2", "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        return testing_support::run_program(GRIDRUN_EXE, args, tmp.path());
    };
    ASSERT_EQ(gridrun({}).exit_code, 0);
    testing_support::write_file(tmp.path() / "notes.txt", "mine\n");
    fs::create_symlink(root / "model" / "input" / "p.txt", tmp.path() / "p-link.state");
    fs::create_hard_link(out / "q_tot.txt", tmp.path() / "q-hard.state");
    const std::string q_tot = read_file(out / "q_tot.txt");
    const struct {
        std::string option, path, message;
    } cases[] = {
        {"--save-state", (root / "model" / "input" / "p.txt").string(), "an input of the project"},
        {"--save-state", (out / "uh_river.txt").string(), "an input of the project"},
        {"--save-state", (out / ".." / "input" / "input.txt").string(), "an input of the project"},
        {"--save-state", (root / "arcview" / "ascii" / "watershed.asc").string(), "an input of the project"},
        {"--save-state", (out / "q_tot.txt").string(), "a result file of the run"},
        {"--save-state", (out / "q_tot.csv").string(), "a result file of the run"},
        {"--save-state", (out / "runoff0007.asc").string(), "the name of a result file"},
        {"--save-state", (out / ".result-set.journal").string(), "journal"},
        {"--save-state", (tmp.path() / ".run.nc.tmp.1.2").string(), "temporary file"},
        {"--save-state", (tmp.path() / "p-link.state").string(), "the same file as an input"},
        {"--save-state", (tmp.path() / "q-hard.state").string(), "the same file as a result"},
        {"--save-state", (tmp.path() / "notes.txt").string(), "a file of another kind"},
        {"--save-state", tmp.path().string(), "a folder"},
        {"--save-state", (tmp.path() / "no" / "such.state").string(), "a folder that does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option + " " + c.path);
        const auto r = gridrun({c.option, c.path});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(read_file(out / "q_tot.txt"), q_tot);
    }
#ifdef HYDRO_HAVE_NETCDF
    const auto r =
        gridrun({"--netcdf", (tmp.path() / "a.nc").string(), "--save-state", (tmp.path() / "a.nc").string()});
    EXPECT_NE(r.err.find("also named by another option"), std::string::npos) << r.err;
#endif
    EXPECT_EQ(read_file(tmp.path() / "notes.txt"), "mine\n");
    EXPECT_EQ(read_file(root / "model" / "input" / "p.txt").substr(0, 4), "year");
}

TEST(StateFile, ThatDoesNotFitIsRefusedWithAClearMessage) {
    TempDir tmp("state");
    write_project(basin(), tmp.path() / "p");
    Project wider = basin();
    wider = tiny_project({1, 1, 2, 2, 1, 2}, 3, 60);
    write_project(wider, tmp.path() / "other");
    const Model m2 = load_model(ProjectPaths{(tmp.path() / "p").string()}, 2);
    const Model m1 = load_model(ProjectPaths{(tmp.path() / "p").string()}, 1);
    const Model other = load_model(ProjectPaths{(tmp.path() / "other").string()}, 2);
    const std::string good = (tmp.path() / "good.state").string();
    SimulationOptions o;
    o.keep_final_state = true;
    save_state(good, m2, *simulate(m2, default_parameters(m2), o).final_state);
    // A saved state reads back as it was (here into a run of the same dates).
    const ModelState saved = *simulate(m2, default_parameters(m2), o).final_state;
    EXPECT_EQ(load_state(good, m2, true).groundwater, saved.groundwater);

    const std::string bytes = read_file(good);
    auto variant = [&](const char* name, std::string contents) {
        const std::string path = (tmp.path() / name).string();
        testing_support::write_file(path, contents);
        return path;
    };
    std::string flipped = bytes;
    flipped[bytes.size() / 2] ^= 0x10;
    std::string later = bytes;
    later[8] = 2;
    // Values with a valid checksum that no basin holds, and more routed flow
    // than the project's responses carry.
    auto crafted = [&](auto change) {
        ModelState c = saved;
        change(c);
        return encode_state(c, m2.inputs.sizes.n_rows, m2.inputs.sizes.n_cols, {2003, 1, 1, 0});
    };
    const std::string nan = crafted([](ModelState& c) { c.snow[1] = std::nanf(""); });
    const std::string huge = crafted([](ModelState& c) { c.groundwater[0] = 1e30f; });
    const std::size_t most = state_expectation(m2).max_outlet_tail;
    const std::string long_tail = crafted([most](ModelState& c) {
        c.outlet_interflow_tail.clear();
        c.outlet_surface_tail.resize(most + 1, 0.0f);
    });
    const std::string big = variant("big", bytes);
    fs::resize_file(big, std::uintmax_t{8} << 30);  // sparse
    const std::string fifo = (tmp.path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    struct Case {
        const char* name;
        std::string path;
        const Model* model;
        std::string message;
    };
    const Case cases[] = {
        {"missing", (tmp.path() / "none.state").string(), &m2, "no readable file"},
        {"another kind of file", variant("text", "year month day hour\n"), &m2, "a file of another kind"},
        {"cut short", variant("short", bytes.substr(0, bytes.size() - 20)), &m2, "damaged"},
        {"damaged", variant("flipped", flipped), &m2, "a damaged or changed file"},
        {"another version", variant("later", later), &m2, "version 2"},
        {"another run mode", good, &m1, "saved in run mode 2"},
        {"another project", good, &other, "3 columns with 6 simulated cells and 2 subbasins"},
        {"a folder", tmp.path().string(), &m2, "found a folder"},
        {"a FIFO", fifo, &m2, "found a FIFO"},
        {"larger than any state of the project", big, &m2, "found a file of 8589934592 bytes"},
        {"a value that is not a number", variant("nan", nan), &m2, "\"snow\" between -1 and 1e+06, found a value that"},
        {"a store no basin holds", variant("huge", huge), &m2, "found 1e+30"},
        {"more routed flow than the responses carry", variant("tail", long_tail), &m2,
         "values of \"outlet_surface_tail\" for this project, found " + std::to_string(most + 1)},
        {"saved after another step", good, &m2, "found a state saved after 2003-03-20 hour 0; give --any-state-date"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            load_state(c.path, *c.model);
            ADD_FAILURE() << "accepted";
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
        }
    }
}

}  // namespace
