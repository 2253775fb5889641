// The water balance processes of one cell and step, and of a subbasin's
// groundwater store, on worked numbers (depths in mm, flows in m3/s).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "catchment.hpp"
#include "cell_routing.hpp"
#include "groundwater.hpp"
#include "interception.hpp"
#include "model.hpp"
#include "series_collector.hpp"
#include "snow.hpp"
#include "soil_water.hpp"
#include "surface_runoff.hpp"

namespace {

using namespace hydro;

// Absolute tolerance scaled to the size of the expected value.
::testing::AssertionResult close(double actual, double expected, double relative = 1e-5) {
    const double tol = relative * std::max(1.0, std::fabs(expected));
    if (std::fabs(actual - expected) <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " differs from " << expected << " by more than " << tol;
}

// ---------------------------------------------------------------- snow

TEST(Snow, StrictlyAboveTheBaseTemperatureMelts) {
    EXPECT_TRUE(is_snow_step(0.0f, 0.0f));
    EXPECT_TRUE(is_snow_step(-1.0f, 0.0f));
    EXPECT_TRUE(is_snow_step(2.0f, 3.0f));
    EXPECT_FALSE(is_snow_step(0.01f, 0.0f));
}

TEST(Snow, MeltIsTheDegreeDayAndRainTermsCappedByThePack) {
    struct Case {
        const char* name;
        float temperature, base, pack, rain, degree_day_factor, rain_melt_factor, hours;
        float melt, pack_after;
    };
    const Case cases[] = {
        {"degree days over a day", 5, 0, 100, 0, 3, 0, 24, 15, 85},
        {"rain on snow over a day: d x (ddf + rmf x rain)", 4, 1, 100, 10, 2, 0.5f, 24, 21, 79},
        {"a six-hour step melts a quarter", 5, 0, 100, 0, 4, 0, 6, 5, 95},
        {"potential above the pack melts all of it", 10, 0, 7, 0, 3, 0, 24, 7, 0},
        {"no pack, no melt", 10, 0, 0, 5, 3, 1, 24, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        float pack = c.pack;
        const float melt =
            snowmelt(pack, c.temperature, c.base, c.degree_day_factor, c.rain, c.rain_melt_factor, c.hours);
        EXPECT_TRUE(close(melt, c.melt));
        EXPECT_TRUE(close(pack, c.pack_after));
    }
}

// ---------------------------------------------------------------- interception

TEST(InterceptionCapacity, FollowsTheSeasonBetweenMinimumAndMaximum) {
    // Day 87: sin 0 = 0, so the factor is 1 and the capacity min + range / 2.55.
    EXPECT_FLOAT_EQ(interception_capacity(87, 5.0f, 1.0f), 4.0f / 2.55f + 1.0f);
    // Near day 178 the factor is 2^1.35 = 2.5491: just below the maximum.
    EXPECT_NEAR(interception_capacity(178, 10.0f, 0.0f), 9.9966, 2e-4);
    EXPECT_LT(interception_capacity(178, 10.0f, 0.0f), 10.0f);
    // Near day 361 it reaches the minimum.
    EXPECT_NEAR(interception_capacity(361, 10.0f, 2.0f), 2.0, 1e-4);
    for (int day = 1; day <= 366; ++day) {
        SCOPED_TRACE(day);
        const float c = interception_capacity(day, 4.0f, 1.5f);
        EXPECT_GE(c, 1.5f);
        EXPECT_LE(c, 4.0f);
        EXPECT_EQ(interception_capacity(day, 3.0f, 3.0f), 3.0f);  // max = min: constant
    }
}

TEST(Interception, CatchesRainUpToTheRoomAndEvaporatesTheOldStore) {
    struct Case {
        const char* name;
        float rain, pet, melt, store, capacity;
        float evaporation, interception, net_rain, store_after;
        bool capacity_needed;
    };
    const Case cases[] = {
        {"5 mm on an empty 2 mm store", 5, 0, 0, 0, 2, 0, 2, 3, 2, true},
        {"no rain: the store evaporates", 0, 0.4f, 0, 1, 2, 0.4f, 0, 0, 0.6f, true},
        {"snowmelt passes the canopy", 0, 0.4f, 1.5f, 1, 2, 0.4f, 0, 1.5f, 0.6f, true},
        {"store above the day's capacity catches nothing", 1, 0.5f, 0, 3, 2, 0.5f, 0, 1, 2.5f, true},
        {"rain beyond the room passes", 3, 0.2f, 0, 1.5f, 2, 0.2f, 0.5f, 2.5f, 1.8f, true},
        {"demand above the store empties it", 0, 1, 0, 0.3f, 2, 0.3f, 0, 0, 0, true},
        {"negative rain on an empty store", -1, 0.5f, 0.25f, 0, 2, 0, 0, 0.25f, 0, false},
        {"dry and empty", 0, 0.5f, 0, 0, 2, 0, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        float store = c.store;
        bool asked = false;
        const InterceptionStep s = intercept(c.rain, c.pet, c.melt, store, [&] {
            asked = true;
            return c.capacity;
        });
        EXPECT_TRUE(close(s.evaporation, c.evaporation));
        EXPECT_TRUE(close(s.interception, c.interception));
        EXPECT_TRUE(close(s.net_rain, c.net_rain));
        EXPECT_TRUE(close(store, c.store_after));
        EXPECT_EQ(asked, c.capacity_needed);
    }
}

// ---------------------------------------------------------------- surface runoff

TEST(RunoffSplit, FractionFollowsCoefficientMoistureAndRain) {
    const float porosity = 100;
    const float at_ninety = 0.9f * porosity;
    struct Case {
        const char* name;
        float net_rain, rain, moisture, coefficient, interception_max, dry, exponent, threshold;
        double runoff, infiltration;
    };
    const Case cases[] = {
        {"coefficient above 0.99: all runs off", 4, 4, 10, 0.995f, 1, 0, 1, 4, 4, 0},
        {"coefficient 0.99 is not above 0.99", 4, 4, 50, 0.99f, 1, 0, 1, 4, 1.98, 2.02},
        {"no interception capacity: dry coefficient is the floor", 10, 10, 50, 0.6f, 0, 0.2f, 3, 4, 4, 6},
        {"no interception capacity, dry soil", 10, 10, 0, 0.6f, 0.00005f, 0.2f, 3, 4, 2, 8},
        {"capacity 0.0001 counts: dry soil infiltrates all", 10, 10, 0, 0.6f, 0.0001f, 0.2f, 3, 4, 0, 10},
        {"net rain at the threshold: exponent 1", 4, 4, 50, 0.8f, 1, 0, 3, 4, 1.6, 2.4},
        // The test takes the net rain (3 < 4), the formula the gross rain:
        // e = 3 - (2 x 5) / 4 = 0.5, 0.25^0.5 x 0.8 = 0.4.
        {"exponent from the gross rain below the threshold", 3, 5, 25, 0.8f, 1, 0, 3, 4, 1.2, 1.8},
        {"snowmelt only: the full exponent", 2, 0, 50, 0.8f, 1, 0, 3, 4, 0.2, 1.8},
        {"snowmelt at the threshold: exponent 1", 4, 0, 50, 0.8f, 1, 0, 3, 4, 1.6, 2.4},
        {"moisture exactly 0.9 of the porosity: normal split", 2, 2, at_ninety, 0.5f, 1, 0, 2, 1, 0.9, 1.1},
        {"moisture just above 0.9 of the porosity: all runs off", 2, 2, std::nextafter(at_ninety, 1e9f), 0.5f, 1, 0, 2,
         1, 2, 0},
        {"no net rain", 0, 0, 95, 1, 1, 0, 2, 1, 0, 0},
        {"negative net rain", -1, 0, 50, 0.5f, 1, 0, 2, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunoffParameters p{c.coefficient, c.interception_max, c.dry, c.exponent, c.threshold};
        const RunoffSplit s = split_net_rain(c.net_rain, c.rain, c.moisture, porosity, p);
        EXPECT_TRUE(close(s.surface_runoff, c.runoff));
        EXPECT_TRUE(close(s.infiltration, c.infiltration));
    }
}

TEST(Depressions, FillEvaporateAndDrain) {
    const double fill_empty = 2 * std::exp(-0.5);           // E exp(-E / Smax), E = 2, Smax = 4
    const double fill_quarter = 2 * std::exp(-0.5) * 0.75;  // ln(1 - 1/4) shifts the excess
    struct Case {
        const char* name;
        float runoff_in, infiltration_in, store, capacity, demand, coefficient, moisture;
        double runoff, infiltration, evaporation, filling, store_after;
    };
    const Case cases[] = {
        {"empty depression takes E exp(-E/Smax)", 2, 1, 0, 4, 0.3f, 0.5f, 50, 2 - fill_empty, 1, 0, fill_empty,
         fill_empty},
        {"part-filled depression", 2, 1, 1, 4, 0.5f, 0.5f, 50, 2 - fill_quarter, 1, 0.5, fill_quarter,
         fill_quarter + 0.5},
        {"full at the start: nothing more fits", 2, 1, 4, 4, 0, 0.5f, 50, 2, 1, 0, 0, 4},
        {"full at the start, evaporating", 2, 1, 4, 4, 0.5f, 0.5f, 50, 2, 1, 0.5, 0, 3.5},
        // A negative demand (negative evapotranspiration) adds water: the
        // store would pass Smax, so it is set to Smax and fills Smax - Sd0.
        {"overfill stops at the capacity", 1, 0, 3.5f, 4, -1, 0.5f, 50, 0.5, 0, -1, 0.5, 4},
        {"no capacity: the excess is not routed", 2, 1, 0, 0, 0.3f, 0.5f, 50, 0, 1, 0, 0, 0},
        // (1 - 0.4 x 50 / 100) x (2 - 0.5) = 1.2 drains, replacing the infiltration.
        {"no excess: the depression drains into the soil", 0, 0.7f, 2, 4, 0.5f, 0.4f, 50, 0, 1.2, 0.5, 0, 0.3},
        {"no excess: demand above the store", 0, 0, 0.3f, 4, 1, 0.4f, 50, 0, 0, 0.3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        float store = c.store;
        const DepressionStep d = depression_step({c.runoff_in, c.infiltration_in}, store, c.capacity, c.demand,
                                                 c.coefficient, c.moisture, 100.0f);
        EXPECT_TRUE(close(d.surface_runoff, c.runoff));
        EXPECT_TRUE(close(d.infiltration, c.infiltration));
        EXPECT_TRUE(close(d.evaporation, c.evaporation));
        EXPECT_TRUE(close(d.filling, c.filling));
        EXPECT_TRUE(close(store, c.store_after));
    }
}

TEST(Depressions, AFullDepressionAtTheStartFillsExactlyNothing) {
    float store = 4.0f;
    const DepressionStep d = depression_step({2.0f, 1.0f}, store, 4.0f, 0.0f, 0.5f, 50.0f, 100.0f);
    EXPECT_EQ(d.filling, 0.0f);
    EXPECT_EQ(store, 4.0f);
    EXPECT_EQ(d.surface_runoff, 2.0f);

    float overfull = 3.5f;
    const DepressionStep o = depression_step({1.0f, 0.0f}, overfull, 4.0f, -1.0f, 0.5f, 50.0f, 100.0f);
    EXPECT_EQ(overfull, 4.0f);
    EXPECT_EQ(o.filling, 0.5f);
}

// ---------------------------------------------------------------- soil water

TEST(SoilWater, EvapotranspirationPercolationAndInterflow) {
    // Root zone of 1 m: residual 50, wilting point 100, field capacity 300,
    // saturation 450 mm; K = 2 mm per step, B = 3; interflow factor
    // scale x slope x K = 5 x 0.1 x 2 = 1.
    const double wet_perc = std::pow((359.0 - 50) / 399, 3) * 2;
    const double wet_interflow = std::pow((359.0 - wet_perc - 50) / 399, 3);
    struct Case {
        const char* name;
        float theta, demand, interception_max, slope;
        double evaporation, percolation, interflow;
    };
    const Case cases[] = {
        {"at the residual content: no evapotranspiration", 50, 2, 1, 0.1f, 0, 0, 0},
        {"below the residual content", 40, 2, 1, 0.1f, 0, 0, 0},
        {"between wilting point and field capacity", 200, 2, 1, 0.1f, 1, 0, 0},
        {"between residual and wilting point: negative", 75, 2, 1, 0.1f, -0.25, 0, 0},
        {"at field capacity: full demand, no percolation", 300, 2, 1, 0.1f, 2, 0, 0},
        {"at field capacity without demand", 300, 0, 1, 0.1f, 0, 0, 0},
        {"no interception capacity: 30 %", 300, 2, 0, 0.1f, 0.6, 0, 0},
        {"interception capacity 0.01 is full", 300, 2, 0.01f, 0.1f, 2, 0, 0},
        {"saturated without demand: percolation K", 450, 0, 1, 0.1f, 0, 2, std::pow(398.0 / 400, 3)},
        {"negative demand above field capacity: none", 450, -1, 1, 0.1f, 0, 2, std::pow(398.0 / 400, 3)},
        {"wet soil drains down and sideways", 360, 1, 1, 0.1f, 1, wet_perc, wet_interflow},
        {"no slope: no interflow", 450, 0, 1, 0, 0, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SoilParameters p{50, 100, 300, 450, 2, 3, c.slope, c.interception_max};
        const SoilFluxes f = soil_fluxes(c.theta, c.demand, p, 5.0f);
        EXPECT_TRUE(close(f.evaporation, c.evaporation));
        EXPECT_TRUE(close(f.percolation, c.percolation));
        EXPECT_TRUE(close(f.interflow, c.interflow));
        // The store is not clipped: a negative evapotranspiration adds water.
        EXPECT_TRUE(close(updated_soil_moisture(c.theta, 1.5f, f),
                          c.theta + 1.5 - c.evaporation - c.percolation - c.interflow));
    }
}

TEST(SoilWater, SaturatedSoilWithoutDemandPercolatesExactlyTheConductivity) {
    const SoilParameters p{40, 80, 240, 360, 7.5f, 4.2f, 0.2f, 1};
    EXPECT_EQ(soil_fluxes(360.0f, 0.0f, p, 1.0f).percolation, 7.5f);
}

// ---------------------------------------------------------------- routing

// The floor of the store: losses cut in turn (ET, percolation, interflow) to
// the water above the residual content, only when the step would end below it.
TEST(SoilWater, LossesBeyondTheWaterAboveTheResidualContentAreCutInTurn) {
    struct Case {
        const char* name;
        float theta, infiltration, residual;
        SoilFluxes in, out;
    };
    const std::vector<Case> cases = {
        // 30 + 5 - 4 - 20 - 8 = 3 < 20: A = 15, ET 4, percolation 11, interflow 0; the store ends at 20.
        {"percolation and interflow cut", 30, 5, 20, {4, 20, 8}, {4, 11, 0}},
        // 22 - 5 - 1 - 1 = 15 < 20: A = 2, ET 2, nothing else.
        {"evapotranspiration cut", 22, 0, 20, {5, 1, 1}, {2, 0, 0}},
        // A store already below the residual content loses nothing: A = max(-1, 0) = 0.
        {"store below the residual content", 18, 1, 20, {0.5f, 0, 0}, {0, 0, 0}},
        // Condensation (negative ET) adds to what may percolate: A = 5, percolation 5 + 1.
        {"negative evapotranspiration", 25, 0, 20, {-1, 10, 0}, {-1, 6, 0}},
        // Interflow cut alone: A = 10, 10 - 2 - 3 = 5.
        {"interflow cut", 28, 2, 20, {2, 3, 7}, {2, 3, 5}},
        // Ending exactly at the residual content is not below it: nothing changes.
        {"ends at the residual content", 30, 0, 20, {4, 4, 2}, {4, 4, 2}},
        // Ending above it: nothing changes, bit for bit.
        {"ends above", 30, 0.1f, 20, {1.1f, 2.3f, 0.7f}, {1.1f, 2.3f, 0.7f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoilFluxes f = c.in;
        keep_store_above_residual(c.theta, c.infiltration, c.residual, f);
        EXPECT_EQ(f.evaporation, c.out.evaporation);
        EXPECT_EQ(f.percolation, c.out.percolation);
        EXPECT_EQ(f.interflow, c.out.interflow);
        if (c.theta + c.infiltration >= c.residual) {
            EXPECT_GE(updated_soil_moisture(c.theta, c.infiltration, f), c.residual);
        }
    }
}

// The example basin with every conductivity x 1.8 (a value a calibration
// tries): a storm drains some soils below their residual content unless the
// floor holds. Every step stays finite and the balance closes as closely as
// in the run with the conductivities as they are: from the end of step 1 to
// the end of the run, rain = change of soil and groundwater storage +
// evaporation + runoff, up to the canopy, depression and snow stores.
double balance_gap(const Model& model, float conductivity_multiplier, bool& finite) {
    Parameters p = default_parameters(model);
    EXPECT_TRUE(set_parameter(p, "conductivity_multiplier", conductivity_multiplier));
    SeriesCollector series(true);
    SimulationOptions o;
    o.threads = 2;
    o.sinks.push_back(&series);
    const SimulationOutcome outcome = simulate(model, p, o);
    finite = !outcome.non_finite.found;
    const std::vector<BalanceRecord>& b = series.balance;
    double rain = 0, evaporation = 0, runoff = 0;
    for (std::size_t t = 1; t < b.size(); ++t) {
        for (float v : {b[t].rain, b[t].moisture, b[t].evaporation, b[t].surface_runoff, b[t].interflow,
                        b[t].groundwater_runoff, b[t].groundwater_storage})
            finite = finite && std::isfinite(v);
        rain += b[t].rain, evaporation += b[t].evaporation;
        runoff += double(b[t].surface_runoff) + b[t].interflow + b[t].groundwater_runoff;
    }
    const double storage =
        (double(b.back().moisture) - b[0].moisture) + (double(b.back().groundwater_storage) - b[0].groundwater_storage);
    return rain - (storage + evaporation + runoff);
}

TEST(SoilWater, ExampleBasinWithConductivityTimesOnePointEightStaysFiniteAndBalanced) {
    ProjectPaths paths;
    paths.root = std::string(EXAMPLES_DIR) + "/jacksboro";
    const Model model = load_model(paths, 2);
    bool finite_as_is = false, finite_scaled = false;
    const double gap_as_is = balance_gap(model, 1.0f, finite_as_is);
    const double gap_scaled = balance_gap(model, 1.8f, finite_scaled);
    EXPECT_TRUE(finite_as_is);
    EXPECT_TRUE(finite_scaled);
    EXPECT_LT(std::fabs(gap_scaled), std::fabs(gap_as_is) + 1.0) << gap_scaled << " mm against " << gap_as_is;
}

TEST(CellRouting, ArrivesOneStepAfterTheLagAndIsCutAtTheLastStep) {
    const float one[] = {1.0f};
    // 1 mm on 1 000 000 m2 in one hour, ordinate 1 at lag 2: 1000 m3 over
    // 3600 s, arriving at step 1 + 2 + 1 = 4 (index 3).
    std::vector<float> series(6, 0.0f);
    route_into_series(1.0f, one, 2, 2, 0, 6, 1.0e6f, 1.0f, series.data());
    for (std::size_t i = 0; i < series.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(series[i], i == 3 ? 0.2777778f : 0.0f);
    }

    // 3.6 mm in one hour is 1 m3/s in all. Step 3 of 5 with lags 1..3: lag 1
    // arrives at step 5 (added to what is there), lags 2 and 3 are dropped.
    const float spread[] = {0.2f, 0.5f, 0.3f};
    std::vector<float> cut = {0, 0, 0, 0, 0.1f};
    route_into_series(3.6f, spread, 1, 3, 2, 5, 1.0e6f, 1.0f, cut.data());
    EXPECT_FLOAT_EQ(cut[4], 0.3f);
    EXPECT_EQ(cut[3], 0.0f);

    // Excess of the last step, or an empty response, reaches nothing.
    std::vector<float> none(4, 0.0f);
    route_into_series(5.0f, one, 0, 0, 3, 4, 1.0e6f, 1.0f, none.data());
    route_into_series(5.0f, one, 1, 0, 0, 4, 1.0e6f, 1.0f, none.data());
    EXPECT_EQ(none, std::vector<float>(4, 0.0f));
}

// ---------------------------------------------------------------- groundwater

TEST(Groundwater, LinearStoreDrainsAndLosesUnmetDemand) {
    struct Case {
        const char* name;
        float storage, recession, recharge, pet, actual, cells, area, hours, scale;
        double outflow, flow, evaporation, storage_after;
    };
    const Case cases[] = {
        // 1 mm over 1000 cells of 10 000 m2 is 10 000 m3 in 86 400 s.
        {"100 mm, recession 0.01, 1000 cells of 1 ha, one day", 100, 0.01f, 0, 0, 0, 1000, 10000, 24, 100, 1,
         10000.0 / 86400, 0, 99},
        {"recharge drains only from the next step", 0, 0.5f, 5, 0, 0, 10, 10000, 24, 100, 0, 0, 0, 5},
        {"unmet demand scaled by the store", 100, 0, 0, 3, 1, 10, 10000, 24, 200, 0, 0, 1, 99},
        {"evaporation above the potential adds water", 100, 0, 0, 1, 3, 10, 10000, 24, 200, 0, 0, -1, 101},
        {"recession above 1 empties past zero", 10, 1.5f, 0, 0, 0, 1, 1.0e6f, 1, 100, 15, 15000.0 / 3600, 0, -5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const GroundwaterStep g =
            groundwater_step(c.storage, c.recession, c.recharge, c.pet, c.actual, c.cells, c.area, c.hours, c.scale);
        EXPECT_TRUE(close(g.outflow, c.outflow));
        EXPECT_TRUE(close(g.flow, c.flow));
        EXPECT_TRUE(close(g.evaporation, c.evaporation));
        EXPECT_TRUE(close(g.storage, c.storage_after));
    }
}

// ---------------------------------------------------------------- load-time coefficients

TEST(SoilRunoffCoefficient, TableBoundariesAreStrict) {
    const std::pair<float, float> table[] = {
        {100.5f, 0.14f}, {100, 0.18f}, {50.5f, 0.18f}, {50, 0.21f},   {20, 0.24f},
        {10, 0.28f},     {5, 0.31f},   {4, 0.34f},     {3, 0.38f},    {2, 0.41f},
        {1.3f, 0.44f},   {1, 0.48f},   {0.5f, 0.51f},  {0.3f, 0.51f}, {0, 0.51f},
    };
    for (const auto& [conductivity, coefficient] : table) {
        SCOPED_TRACE(conductivity);
        EXPECT_EQ(soil_runoff_coefficient_for(conductivity), coefficient);
    }
}

TEST(DryRunoffCoefficient, ShareBeyondTheSoilCutToTwoDecimals) {
    struct Case {
        float dry_cell_minimum, soil_coefficient, expected;
    };
    const Case cases[] = {
        {0.6f, 0.28f, 0.44f},                             // 100 x 0.32 / 0.72 = 44.44
        {0.7f, 0.14f, 0.65f},                             // 65.12
        {1.0f, 0.51f, 1.0f},                              // no cell without interception capacity
        {0.51f, 0.51f, 0.0f}, {0.48207f, 0.51f, -0.05f},  // -5.7 is cut toward zero
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dry_cell_minimum);
        EXPECT_FLOAT_EQ(dry_runoff_coefficient_for(c.dry_cell_minimum, c.soil_coefficient), c.expected);
    }
}

}  // namespace
