// The water balance processes of one cell and step, and of a subbasin's
// groundwater store, on worked numbers (depths in mm, flows in m3/s). Every
// process table runs for one cell (float) and for 16 cells side by side,
// each case in every lane position next to the other cases: each lane must
// give the bits of the one-cell form.
#pragma GCC diagnostic ignored "-Wpsabi"  // 16 lanes built for any x86-64; nothing crosses a call

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "catchment.hpp"
#include "cell_lanes.hpp"
#include "cell_routing.hpp"
#include "cell_step.hpp"
#include "groundwater.hpp"
#include "interception.hpp"
#include "model.hpp"
#include "project_builder.hpp"
#include "series_collector.hpp"
#include "snow.hpp"
#include "soil_water.hpp"
#include "surface_runoff.hpp"
#include "test_support.hpp"

namespace {

using namespace hydro;

using Wide = lane_vector<16>;

// Absolute tolerance scaled to the size of the expected value.
::testing::AssertionResult close(double actual, double expected, double relative = 1e-5) {
    const double tol = relative * std::max(1.0, std::fabs(expected));
    if (std::fabs(actual - expected) <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " differs from " << expected << " by more than " << tol;
}

uint32_t bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, 4);
    return b;
}

template <class T>
T flag(mask_of<T> m) {
    return pick(m, splat<T>(1.0f), splat<T>(0.0f));
}

// `process` (a generic lambda from an array of NI inputs of a lane type to
// an array of NO outputs) for each row of `in` as one cell, then for 16 cells
// side by side with the rows rotated through every lane; every lane must give
// the one-cell bits. Returns the one-cell outputs.
template <std::size_t NI, std::size_t NO, class Process>
std::vector<std::array<float, NO>> one_cell_and_lanes(const std::vector<std::array<float, NI>>& in, Process process) {
    const std::size_t n = in.size();
    std::vector<std::array<float, NO>> one(n);
    for (std::size_t i = 0; i < n; ++i) one[i] = process(in[i]);
    for (std::size_t r = 0; r < 16; ++r) {
        std::array<Wide, NI> x;
        for (std::size_t k = 0; k < NI; ++k)
            for (std::size_t l = 0; l < 16; ++l) x[k][l] = in[(l + r) % n][k];
        const std::array<Wide, NO> y = process(x);
        for (std::size_t l = 0; l < 16; ++l)
            for (std::size_t o = 0; o < NO; ++o)
                EXPECT_EQ(bits(y[o][l]), bits(one[(l + r) % n][o]))
                    << "row " << (l + r) % n << " in lane " << l << ", output " << o;
    }
    return one;
}

// ---------------------------------------------------------------- snow

TEST(Snow, MeltIsTheDegreeDayAndRainTermsCappedByThePack) {
    struct Case {
        const char* name;
        float temperature, base, pack, rain, degree_day_factor, rain_melt_factor, hours;
        float melt, pack_after;
        bool snow_step;
    };
    const Case cases[] = {
        {"degree days over a day", 5, 0, 100, 0, 3, 0, 24, 15, 85, false},
        {"rain on snow over a day: d x (ddf + rmf x rain)", 4, 1, 100, 10, 2, 0.5f, 24, 21, 79, false},
        {"a six-hour step melts a quarter", 5, 0, 100, 0, 4, 0, 6, 5, 95, false},
        {"potential above the pack melts all of it", 10, 0, 7, 0, 3, 0, 24, 7, 0, false},
        {"no pack, no melt", 10, 0, 0, 5, 3, 1, 24, 0, 0, false},
        {"at the base temperature: the rain is stored", 0, 0, 10, 4, 3, 1, 24, 0, 14, true},
        {"below the base: stored", 2, 3, 0, 1.5f, 3, 1, 24, 0, 1.5f, true},
        {"just above the base melts", 0.01f, 0, 10, 0, 2.4f, 0, 24, 0.024f, 9.976f, false},
    };
    std::vector<std::array<float, 3>> rows;
    for (const Case& c : cases) rows.push_back({c.temperature, c.pack, c.rain});
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const auto out = one_cell_and_lanes<3, 3>(rows, [&](const auto& x) {
            using T = std::decay_t<decltype(x[0])>;
            T pack = x[1];
            const SnowStep<T> s = snow_step(pack, x[0], x[2], c.base, c.degree_day_factor, c.rain_melt_factor, c.hours);
            return std::array<T, 3>{s.melt, pack, flag<T>(s.stores)};
        });
        EXPECT_TRUE(close(out[i][0], c.melt));
        EXPECT_TRUE(close(out[i][1], c.pack_after));
        EXPECT_EQ(out[i][2], c.snow_step ? 1.0f : 0.0f);
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
    };
    const Case cases[] = {
        {"5 mm on an empty 2 mm store", 5, 0, 0, 0, 2, 0, 2, 3, 2},
        {"no rain: the store evaporates", 0, 0.4f, 0, 1, 2, 0.4f, 0, 0, 0.6f},
        {"snowmelt passes the canopy", 0, 0.4f, 1.5f, 1, 2, 0.4f, 0, 1.5f, 0.6f},
        {"store above the day's capacity catches nothing", 1, 0.5f, 0, 3, 2, 0.5f, 0, 1, 2.5f},
        {"rain beyond the room passes", 3, 0.2f, 0, 1.5f, 2, 0.2f, 0.5f, 2.5f, 1.8f},
        {"rain within the room is all caught", 1, 0.2f, 0.5f, 0.5f, 2, 0.2f, 1, 0.5f, 1.3f},
        {"demand above the store empties it", 0, 1, 0, 0.3f, 2, 0.3f, 0, 0, 0},
        {"negative rain on an empty store", -1, 0.5f, 0.25f, 0, 2, 0, 0, 0.25f, 0},
        // -1 caught (it fits the room) + 1 - 0.5 evaporated is below 0: the store ends empty.
        {"negative rain on a wet canopy", -1, 0.5f, 0, 1, 2, 0.5f, -1, 0, 0},
        {"dry and empty", 0, 0.5f, 0, 0, 2, 0, 0, 0, 0},
    };
    std::vector<std::array<float, 5>> rows;
    for (const Case& c : cases) rows.push_back({c.rain, c.pet, c.melt, c.store, c.capacity});
    const auto out = one_cell_and_lanes<5, 4>(rows, [](const auto& x) {
        using T = std::decay_t<decltype(x[0])>;
        T store = x[3];
        const InterceptionStep<T> s = intercept(x[0], x[1], x[2], store, x[4]);
        return std::array<T, 4>{s.evaporation, s.interception, s.net_rain, store};
    });
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(close(out[i][0], c.evaporation));
        EXPECT_TRUE(close(out[i][1], c.interception));
        EXPECT_TRUE(close(out[i][2], c.net_rain));
        EXPECT_TRUE(close(out[i][3], c.store_after));
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
    std::vector<std::array<float, 5>> rows;
    for (const Case& c : cases) rows.push_back({c.net_rain, c.rain, c.moisture, c.coefficient, c.interception_max});
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const auto out = one_cell_and_lanes<5, 2>(rows, [&](const auto& x) {
            using T = std::decay_t<decltype(x[0])>;
            const RunoffParameters<T> p = runoff_parameters(x[3], x[4], c.dry, c.exponent, c.threshold);
            const RunoffSplit<T> s = split_net_rain(x[0], x[1], x[2], splat<T>(porosity), p);
            return std::array<T, 2>{s.surface_runoff, s.infiltration};
        });
        EXPECT_TRUE(close(out[i][0], c.runoff));
        EXPECT_TRUE(close(out[i][1], c.infiltration));
    }
}

TEST(Depressions, FillEvaporateAndDrain) {
    const double fill_empty = 2 * std::exp(-0.5);           // E exp(-E / Smax), E = 2, Smax = 4
    const double fill_quarter = 2 * std::exp(-0.5) * 0.75;  // ln(1 - 1/4) shifts the excess
    struct Case {
        const char* name;
        float runoff_in, infiltration_in, store, capacity, demand, coefficient, moisture;
        double runoff, infiltration, evaporation, filling, store_after;
        bool exact;  // the expected values are exact
    };
    const Case cases[] = {
        {"empty depression takes E exp(-E/Smax)", 2, 1, 0, 4, 0.3f, 0.5f, 50, 2 - fill_empty, 1, 0, fill_empty,
         fill_empty, false},
        {"part-filled depression", 2, 1, 1, 4, 0.5f, 0.5f, 50, 2 - fill_quarter, 1, 0.5, fill_quarter,
         fill_quarter + 0.5, false},
        // ln(0) = -inf: an infinite excess and exactly no filling.
        {"full at the start: nothing more fits", 2, 1, 4, 4, 0, 0.5f, 50, 2, 1, 0, 0, 4, true},
        {"full at the start, evaporating", 2, 1, 4, 4, 0.5f, 0.5f, 50, 2, 1, 0.5, 0, 3.5, true},
        // A negative demand (negative evapotranspiration) adds water: the
        // store would pass Smax, so it is set to Smax and fills Smax - Sd0.
        {"overfill stops at the capacity", 1, 0, 3.5f, 4, -1, 0.5f, 50, 0.5, 0, -1, 0.5, 4, true},
        {"no capacity: the excess is not routed", 2, 1, 0, 0, 0.3f, 0.5f, 50, 0, 1, 0, 0, 0, true},
        // (1 - 0.4 x 50 / 100) x (2 - 0.5) = 1.2 drains, replacing the infiltration.
        {"no excess: the depression drains into the soil", 0, 0.7f, 2, 4, 0.5f, 0.4f, 50, 0, 1.2, 0.5, 0, 0.3, false},
        {"no excess: demand above the store", 0, 0, 0.3f, 4, 1, 0.4f, 50, 0, 0, 0.3, 0, 0, false},
        {"no excess, no capacity, water held: drains", 0, 0, 1, 0, 0.2f, 0.5f, 50, 0, 0.6, 0.2, 0, 0.2, false},
        {"no excess, empty: nothing", 0, 0.4f, 0, 4, 0.2f, 0.5f, 50, 0, 0.4, 0, 0, 0, true},
    };
    std::vector<std::array<float, 7>> rows;
    for (const Case& c : cases)
        rows.push_back({c.runoff_in, c.infiltration_in, c.store, c.capacity, c.demand, c.coefficient, c.moisture});
    const auto out = one_cell_and_lanes<7, 5>(rows, [](const auto& x) {
        using T = std::decay_t<decltype(x[0])>;
        T store = x[2];
        const DepressionStep<T> d =
            depression_step(RunoffSplit<T>{x[0], x[1]}, store, x[3], x[4], x[5], x[6], splat<T>(100.0f));
        return std::array<T, 5>{d.surface_runoff, d.infiltration, d.evaporation, d.filling, store};
    });
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const double expected[5] = {c.runoff, c.infiltration, c.evaporation, c.filling, c.store_after};
        for (int o = 0; o < 5; ++o) {
            if (c.exact)
                EXPECT_EQ(out[i][o], static_cast<float>(expected[o])) << "output " << o;
            else
                EXPECT_TRUE(close(out[i][o], expected[o])) << "output " << o;
        }
    }
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
        // 301 - 2 = 299 is not above field capacity: no percolation, no interflow.
        {"evapotranspiration takes it below field capacity", 301, 2, 1, 0.1f, 2, 0, 0},
        // Percolation of 2 x (251 / 400)^3 = 0.494 leaves 300.506, above 300: (250.506 / 400)^3 sideways.
        {"percolation leaves it just above field capacity", 301, 0, 1, 0.1f, 0, 2 * std::pow(251.0 / 400, 3),
         std::pow((301 - 2 * std::pow(251.0 / 400, 3) - 50) / 400, 3)},
        {"no slope: no interflow", 450, 0, 1, 0, 0, 2, 0},
    };
    std::vector<std::array<float, 4>> rows;
    for (const Case& c : cases) rows.push_back({c.theta, c.demand, c.interception_max, c.slope});
    const auto out = one_cell_and_lanes<4, 4>(rows, [](const auto& x) {
        using T = std::decay_t<decltype(x[0])>;
        auto v = [](float f) { return splat<T>(f); };
        const SoilParameters<T> p = soil_parameters(v(50), v(100), v(300), v(450), v(2), v(3), x[3], x[2], 5.0f);
        const SoilFluxes<T> f = soil_fluxes(x[0], x[1], p);
        return std::array<T, 4>{f.evaporation, f.percolation, f.interflow, updated_soil_moisture(x[0], v(1.5f), f)};
    });
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(close(out[i][0], c.evaporation));
        EXPECT_TRUE(close(out[i][1], c.percolation));
        EXPECT_TRUE(close(out[i][2], c.interflow));
        // The store is not clipped: a negative evapotranspiration adds water.
        EXPECT_TRUE(close(out[i][3], c.theta + 1.5 - c.evaporation - c.percolation - c.interflow));
    }
}

TEST(SoilWater, SaturatedSoilWithoutDemandPercolatesExactlyTheConductivity) {
    const SoilParameters<float> p = soil_parameters(40.0f, 80.0f, 240.0f, 360.0f, 7.5f, 4.2f, 0.2f, 1.0f, 1.0f);
    EXPECT_EQ(soil_fluxes(360.0f, 0.0f, p).percolation, 7.5f);
}

// The floor of the store: losses cut in turn (ET, percolation, interflow) to
// the water above the residual content, only when the step would end below it.
TEST(SoilWater, LossesBeyondTheWaterAboveTheResidualContentAreCutInTurn) {
    struct Case {
        const char* name;
        float theta, infiltration, residual;
        SoilFluxes<float> in, out;
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
    std::vector<std::array<float, 6>> rows;
    for (const Case& c : cases)
        rows.push_back({c.theta, c.infiltration, c.residual, c.in.evaporation, c.in.percolation, c.in.interflow});
    const auto out = one_cell_and_lanes<6, 4>(rows, [](const auto& x) {
        using T = std::decay_t<decltype(x[0])>;
        SoilFluxes<T> f{x[3], x[4], x[5]};
        keep_store_above_residual(x[0], x[1], x[2], f);
        return std::array<T, 4>{f.evaporation, f.percolation, f.interflow, updated_soil_moisture(x[0], x[1], f)};
    });
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(out[i][0], c.out.evaporation);
        EXPECT_EQ(out[i][1], c.out.percolation);
        EXPECT_EQ(out[i][2], c.out.interflow);
        if (c.theta + c.infiltration >= c.residual) {
            EXPECT_GE(out[i][3], c.residual);
        }
    }
}

// ---------------------------------------------------------------- the whole step

// One step of cells drawn at random from the physical ranges (dry, wet and
// saturated soils, snow and melt, full and empty stores, cells without
// canopy or depressions) gives the same bits for one cell at a time and for
// every cell kernel of this processor, cells side by side.
TEST(CellStep, OneCellAndEveryKernelGiveTheSameBits) {
    std::mt19937 random(20240611);
    auto u = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(random); };
    auto one_of = [&](std::initializer_list<float> v) { return *(v.begin() + random() % v.size()); };
    std::vector<CellStepCase> cases(997);
    for (CellStepCase& c : cases) {
        CellGrids<float>& g = c.grids;
        g.porosity = u(50, 600);
        g.field_capacity = g.porosity * u(0.3f, 0.85f);
        g.wilting_point = g.field_capacity * u(0.2f, 0.7f);
        g.residual = g.wilting_point * u(0, 0.8f);
        g.conductivity = one_of({u(0, 3), u(0, 60)});
        g.pore_index = u(1, 12);
        g.slope = u(0, 0.4f);
        g.runoff_coefficient = one_of({u(0, 1), 1.0f, 0.99f});
        g.interception_max = one_of({0.0f, 0.00005f, u(0.01f, 4)});
        g.interception_min = g.interception_max * u(0, 1);
        g.depression_capacity = one_of({0.0f, u(0.5f, 20)});
        c.stores.soil_moisture = one_of({u(0, g.porosity * 1.05f), g.residual, g.field_capacity, g.porosity});
        c.stores.snow = one_of({0.0f, u(0, 40)});
        c.stores.canopy = one_of({0.0f, u(0, g.interception_max * 1.5f)});
        c.stores.depression = one_of({0.0f, g.depression_capacity, u(0, g.depression_capacity)});
        c.rain = one_of({0.0f, u(0, 3), u(0, 40)});
        c.pet = one_of({0.0f, u(0, 0.8f), u(0, 8)});
        c.temperature = u(-4, 8);
    }
    const std::string kernel_before = cell_kernel_name();
    for (float degree_day_factor : {2.5f, -1.0f}) {
        ControlFile cf;
        cf.time_step_hours = 3;
        cf.interflow_scale = 4;
        cf.melt_base_temperature = 0.5f;
        cf.degree_day_factor = degree_day_factor;
        cf.rain_melt_factor = 0.12f;
        cf.runoff_exponent = 2.5f;
        cf.runoff_rain_threshold = 6;
        const float dry = 0.31f, seasonal_factor = 1.73f;
        std::vector<CellStepCase> one = cases;
        for (CellStepCase& c : one) {
            c.fluxes = water_balance_step(cf, cell_parameters(c.grids, dry, cf), c.rain, c.pet, c.temperature,
                                          seasonal_factor, c.stores);
            c.stores.soil_moisture =
                updated_soil_moisture(c.stores.soil_moisture, c.fluxes.infiltration, c.fluxes.soil);
        }
        for (const std::string& kernel : cell_kernel_names()) {
            SCOPED_TRACE(kernel + (degree_day_factor < 0 ? " without temperature" : " with temperature"));
            ASSERT_TRUE(select_cell_kernel(kernel));
            std::vector<CellStepCase> lanes = cases;
            water_balance_lanes(cf, dry, seasonal_factor, lanes);
            for (std::size_t i = 0; i < cases.size(); ++i) {
                const CellStepCase &a = one[i], &b = lanes[i];
                const float x[] = {a.stores.soil_moisture,    a.stores.snow,
                                   a.stores.canopy,           a.stores.depression,
                                   a.fluxes.temperature,      a.fluxes.canopy_evaporation,
                                   a.fluxes.interception,     a.fluxes.infiltration,
                                   a.fluxes.runoff,           a.fluxes.depression_evaporation,
                                   a.fluxes.soil.evaporation, a.fluxes.soil.percolation,
                                   a.fluxes.soil.interflow};
                const float y[] = {b.stores.soil_moisture,    b.stores.snow,
                                   b.stores.canopy,           b.stores.depression,
                                   b.fluxes.temperature,      b.fluxes.canopy_evaporation,
                                   b.fluxes.interception,     b.fluxes.infiltration,
                                   b.fluxes.runoff,           b.fluxes.depression_evaporation,
                                   b.fluxes.soil.evaporation, b.fluxes.soil.percolation,
                                   b.fluxes.soil.interflow};
                for (std::size_t k = 0; k < std::size(x); ++k)
                    ASSERT_EQ(bits(x[k]), bits(y[k]))
                        << "case " << i << ", value " << k << ": " << x[k] << " / " << y[k];
            }
        }
    }
    select_cell_kernel(kernel_before);
}

// One cell of 1 m root zone (residual 50, wilting point 100, field capacity
// 300, saturation 450 mm) starting saturated, one daily step without rain,
// PET 10 mm, conductivity 20 mm/h = 480 mm per step, no groundwater:
//   ET = 10 (at or above field capacity: the whole demand)
//   percolation = ((450 - 10 - 50) / ((450 - 10) - 50))^3 x 480 = 480
//   450 - 10 - 480 = -40 is below the residual content: A = 450 - 50 = 400,
//   ET stays 10, percolation is cut to 400 - 10 = 390, no interflow;
// the store ends at 50, the groundwater holds the 390.
TEST(SoilWater, AStepDrainingBelowTheResidualContentEndsAtItThroughTheWholeRun) {
    project_builder::Project p = project_builder::tiny_project({1}, 1, 1);
    p.control.initial_moisture_ratio = 1.5;
    p.set_basin_value("conductivity.asc", 20);
    p.pet = {{10}};
    testing_support::TempDir tmp("floor");
    project_builder::write_project(p, tmp.path());
    const Model model = load_model(ProjectPaths{tmp.path().string()}, 1);
    SeriesCollector series(true);
    SimulationOptions o;
    o.sinks.push_back(&series);
    simulate(model, default_parameters(model), o);
    ASSERT_EQ(series.balance.size(), 1u);
    const BalanceRecord& b = series.balance[0];
    EXPECT_EQ(b.moisture, 50.0f);
    EXPECT_EQ(b.evaporation, 10.0f);
    EXPECT_EQ(b.percolation, 390.0f);
    EXPECT_EQ(b.interflow, 0.0f);
    EXPECT_EQ(b.groundwater_storage, 390.0f);
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
