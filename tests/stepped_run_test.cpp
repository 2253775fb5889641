// A run advanced in stretches by its caller: any stretches, with the state
// read between them, give the records and states of one whole run; an edit
// of the state between steps goes on as a warm start from the edited state;
// states handed over during a whole run are those after their steps.
#include <gtest/gtest.h>

#include <cstring>

#include "model.hpp"
#include "project_builder.hpp"
#include "series_collector.hpp"
#include "stepped_run.hpp"
#include "test_support.hpp"

namespace {

using namespace project_builder;
using namespace hydro;
using testing_support::TempDir;

struct MapKeeper : ResultSink {
    std::vector<std::vector<float>> maps;
    void step(const StepResult&) override {}
    void map(const MapResult& m) override { maps.push_back(m.values); }
};

struct WholeRun {
    SeriesCollector series{true};
    MapKeeper maps;
    std::vector<std::pair<std::size_t, ModelState>> states;  // handed over during the run
    ModelState final_state;
};

WholeRun whole_run(const Model& m, std::vector<std::size_t> state_steps = {}, const ModelState* initial = nullptr) {
    WholeRun w;
    SimulationOptions o;
    o.sinks = {&w.series, &w.maps};
    o.keep_final_state = true;
    o.initial_state = initial;
    o.state_after_steps = state_steps;
    o.on_state = [&](std::size_t t, const ModelState& s) { w.states.emplace_back(t, s); };
    w.final_state = *simulate(m, default_parameters(m), o).final_state;
    return w;
}

void expect_same_state(const ModelState& a, const ModelState& b) {
    EXPECT_EQ(a.soil_moisture, b.soil_moisture);
    EXPECT_EQ(a.snow, b.snow);
    EXPECT_EQ(a.canopy, b.canopy);
    EXPECT_EQ(a.depression, b.depression);
    EXPECT_EQ(a.surface_tail, b.surface_tail);
    EXPECT_EQ(a.interflow_tail, b.interflow_tail);
    EXPECT_EQ(a.groundwater, b.groundwater);
    EXPECT_EQ(a.outlet_surface_tail, b.outlet_surface_tail);
    EXPECT_EQ(a.outlet_groundwater_tail, b.outlet_groundwater_tail);
}

// The records of step t of a whole run, as the stepped run keeps them.
void expect_step(const SteppedRun& r, const WholeRun& w, std::size_t t) {
    const SteppedRecord& k = r.last_record();
    EXPECT_EQ(k.outlet_flow, w.series.flow[t]) << "step " << t;
    EXPECT_EQ(k.q_tot.groundwater_flow, w.series.groundwater_flow[t]) << "step " << t;
    EXPECT_EQ(0, std::memcmp(&k.balance, &w.series.balance[t], sizeof(BalanceRecord))) << "step " << t;
    // The reported subbasins 2 and 1, in that order.
    for (std::size_t p = 0; p < w.series.n_reported; ++p)
        EXPECT_EQ(r.last_subbasin_flows()[p == 0 ? 1 : 0], w.series.reported_flows[t * w.series.n_reported + p]);
}

TEST(SteppedRun, AnyStretchesGiveTheRecordsAndStatesOfOneWholeRun) {
    TempDir tmp("stepped");
    write_project(snowy_basin(), tmp.path());
    struct Case {
        const char* name;
        std::vector<std::size_t> stretches;  // taken in turn
        std::size_t read_state_every;        // advances between two reads of the state (0: never)
    };
    const Case cases[] = {
        {"one step at a time", {1}, 0},
        {"mixed stretches", {1, 3, 1, 7, 2, 20}, 0},
        {"state read inside a look-ahead", {1}, 5},
        {"state read after every stretch", {2, 1}, 1},
        {"the whole run at once", {60}, 0},
    };
    for (int mode : {1, 2})
        for (int threads : {1, 2}) {
            const Model m = load_model(ProjectPaths{tmp.path().string()}, mode);
            std::vector<std::size_t> all(60);
            for (std::size_t t = 0; t < 60; ++t) all[t] = t;
            const WholeRun w = whole_run(m, all);
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.name) + ", mode " + std::to_string(mode) + ", threads " +
                             std::to_string(threads));
                SteppedRun r(m, default_parameters(m), nullptr, threads);
                ASSERT_EQ(r.run_steps(), 60u);
                for (std::size_t k = 0; r.steps_done() < r.run_steps(); ++k) {
                    r.advance_to(r.steps_done() + c.stretches[k % c.stretches.size()]);
                    expect_step(r, w, r.steps_done() - 1);
                    if (c.read_state_every && (k + 1) % c.read_state_every == 0)
                        expect_same_state(r.state(), w.states[r.steps_done() - 1].second);
                }
                expect_same_state(r.state(), w.final_state);
            }
        }
}

TEST(SteppedRun, AnEditedStateGoesOnAsAWarmStartFromIt) {
    TempDir tmp("stepped-edit");
    const Project whole = snowy_basin();
    write_project(whole, tmp.path() / "whole");
    Project rest = whole;
    const int at = 16;
    rest.dates.erase(rest.dates.begin(), rest.dates.begin() + at);
    rest.precipitation.erase(rest.precipitation.begin(), rest.precipitation.begin() + at);
    rest.pet.erase(rest.pet.begin(), rest.pet.begin() + at);
    rest.temperature.erase(rest.temperature.begin(), rest.temperature.begin() + at);
    write_project(rest, tmp.path() / "rest");
    for (int mode : {1, 2}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const Model m = load_model(ProjectPaths{(tmp.path() / "whole").string()}, mode);
        SteppedRun r(m, default_parameters(m));
        r.advance_to(3);  // a look-ahead beyond the edit, thrown away by it
        r.advance_to(at);
        ModelState& s = r.edit_state();
        for (float& x : s.snow) x = x + 12.5f;
        s.soil_moisture[4] = 0.5f * s.soil_moisture[4];
        s.groundwater[0] = 3.0f;
        const ModelState edited = s;

        const Model rest_model = load_model(ProjectPaths{(tmp.path() / "rest").string()}, mode);
        const WholeRun w = whole_run(rest_model, {}, &edited);
        for (std::size_t t = 0; r.steps_done() < r.run_steps(); ++t) {
            r.advance_to(r.steps_done() + 1);
            expect_step(r, w, t);
        }
    }
}

TEST(SteppedRun, StatesHandedOverDuringARunAreThoseAfterTheirSteps) {
    TempDir tmp("run-states");
    Project p = snowy_basin();
    p.control.periods[1] = {"2003 2 1 0 2003 3 10 0"};  // a map period across the states' steps
    p.control.periods[4] = {"2003 1 25 0 2003 3 1 0"};
    write_project(p, tmp.path());
    const Model m = load_model(ProjectPaths{tmp.path().string()}, 2);
    const WholeRun plain = whole_run(m);
    const WholeRun with_states = whole_run(m, {9, 30, 30, 59, 75});
    ASSERT_EQ(with_states.states.size(), 3u);  // each step once; none beyond the run
    SteppedRun r(m, default_parameters(m));
    for (const auto& [t, state] : with_states.states) {
        r.advance_to(t + 1);
        expect_same_state(state, r.state());
    }
    // Handing states over changes no record.
    EXPECT_EQ(plain.series.flow, with_states.series.flow);
    EXPECT_EQ(plain.series.reported_flows, with_states.series.reported_flows);
    ASSERT_EQ(plain.maps.maps.size(), 2u);
    EXPECT_EQ(plain.maps.maps, with_states.maps.maps);
    expect_same_state(plain.final_state, with_states.final_state);
}

}  // namespace
