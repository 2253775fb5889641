// Whole projects through the gridrun executable: the menu, a snow season
// worked out by hand, a two-subbasin basin checked against an independent
// double-precision calculation in both run modes, the basin water balance,
// and input errors that must stop the run before any result file changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "calendar.hpp"
#include "catchment.hpp"
#include "project_builder.hpp"
#include "test_support.hpp"

namespace {

using namespace project_builder;
using testing_support::read_file;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::write_file;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// ---------------------------------------------------------------- menu

TEST(Menu, AnyAnswerButOneOrTwoEndsTheProgramBeforeReadingTheProject) {
    for (const char* answer : {"3", "0", "-1", "7", "\n  \n3"}) {
        SCOPED_TRACE(answer);
        TempDir tmp("menu");
        // Only the subbasin grid: the scan would fail on the missing files.
        write_file(tmp.path() / "arcview" / "ascii" / "watershed.asc",
                   "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 100\nNODATA_value -9999\n1 1\n");
        const RunResult r = run_gridrun(tmp.path(), answer);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "");
        ASSERT_GE(r.out.size(), 21u);
        EXPECT_EQ(r.out.substr(r.out.size() - 21), "Your Choice (1/2/3):\n");
        EXPECT_FALSE(fs::exists(tmp.path() / "model"));
    }
}

// ---------------------------------------------------------------- snow

// One cell of 1 km2 with daily steps from 10 January (35 mm of snow on the
// ground), degree-day factor 2, base 0, no PET. Runoff coefficient 1 sends all
// net rain off; a depression capacity of 0.001 mm passes it all
// (exp(-E/0.001) = 0); the canopy holds 1 mm.
//   step  T   rain  melt  canopy  runoff          arrives (lag 1) at
//   1     5   10    10    1       9 + 10 = 19     step 3: 19000 m3 / 86400 s
//   2     5   0     10    1       10              step 4
//   3    -1   4     snow step: pack 19, canopy emptied, nothing new
//   4     3   0     6     0       6               step 6
//   5     0   0     snow step (at the base temperature)
//   6    10   2     13    1       1 + 13 = 14     step 8, after the run
Project snow_project() {
    Project p = tiny_project({1, -9999}, 2, 6);
    p.dates = dates_from({2001, 1, 10, 0}, 6, 24);
    p.control.degree_day_factor = 2;
    p.control.initial_moisture_ratio = 0.5;
    p.control.reported_subbasins = {1};
    p.set_basin_value("runoff_co.asc", 1);
    p.set_basin_value("interc_max.asc", 1);
    p.set_basin_value("interc_min.asc", 1);
    p.set_basin_value("depression.asc", 0.001);
    p.precipitation = {{10}, {0}, {4}, {0}, {0}, {2}};
    p.pet.assign(6, {0});
    p.temperature = {{5}, {5}, {-1}, {3}, {0}, {10}};
    p.uh_cell_h = {"1 1 1"};
    p.uh_cell_s = {"0 0 1"};
    p.uh_river = {"1 1 1"};  // cell lag 0 plus river lag 1: the same arrivals
    return p;
}

TEST(SnowSeason, SnowStepsRouteNothingNewWhileEarlierFlowArrives) {
    const std::string q_tot =
        "    year   month      day     hour   rain       Qs        Qi       Qg         Q        temp\n"
        "    2001       1      10       0    10.000     0.000     0.000     0.000     0.000     5.000\n"
        "    2001       1      11       0     0.000     0.000     0.000     0.000     0.000     5.000\n"
        "    2001       1      12       0     4.000     0.220     0.000     0.000     0.220    -1.000\n"
        "    2001       1      13       0     0.000     0.116     0.000     0.000     0.116     3.000\n"
        "    2001       1      14       0     0.000     0.000     0.000     0.000     0.000     0.000\n"
        "    2001       1      15       0     2.000     0.069     0.000     0.000     0.069    10.000\n";
    const std::string balance =
        "    year   month      day     hour   rain      inte     s_mo       infi      evap      perc      RS        RI"
        "        RG        R        GT        temp\n"
        "    2001       1      10       0    10.000     1.000   150.000     0.000     0.000     0.000    19.000"
        "     0.000     0.000    19.000     0.000     5.000\n"
        "    2001       1      11       0     0.000     0.000   150.000     0.000     0.000     0.000    10.000"
        "     0.000     0.000    10.000     0.000     5.000\n"
        "    2001       1      12       0     4.000     0.000   150.000     0.000     0.000     0.000     0.000"
        "     0.000     0.000     0.000     0.000    -1.000\n"
        "    2001       1      13       0     0.000     0.000   150.000     0.000     0.000     0.000     6.000"
        "     0.000     0.000     6.000     0.000     3.000\n"
        "    2001       1      14       0     0.000     0.000   150.000     0.000     0.000     0.000     0.000"
        "     0.000     0.000     0.000     0.000     0.000\n"
        "    2001       1      15       0     2.000     1.000   150.000     0.000     0.000     0.000    14.000"
        "     0.000     0.000    14.000     0.000    10.000\n";
    // At the subbasin outlet the flows arrive one step earlier (cell lag 0).
    const std::string q_sub =
        "    year   month      day     hour       1\n"
        "    2001       1      10       0     0.000\n"
        "    2001       1      11       0     0.220\n"
        "    2001       1      12       0     0.116\n"
        "    2001       1      13       0     0.000\n"
        "    2001       1      14       0     0.069\n"
        "    2001       1      15       0     0.000\n";
    TempDir tmp("snow");
    write_project(snow_project(), tmp.path());
    const fs::path out = tmp.path() / "model" / "output";
    write_file(out / "q_sub.txt", "from an earlier run\n");

    const RunResult mode1 = run_gridrun(tmp.path(), "1");
    ASSERT_EQ(mode1.exit_code, 0) << mode1.err;
    EXPECT_EQ(read_file(out / "q_tot.txt"), q_tot);
    EXPECT_EQ(read_file(out / "balance.txt"), balance);
    EXPECT_EQ(read_file(out / "q_sub.txt"), "from an earlier run\n");

    const RunResult mode2 = run_gridrun(tmp.path(), "2");
    ASSERT_EQ(mode2.exit_code, 0) << mode2.err;
    EXPECT_EQ(read_file(out / "q_tot.txt"), q_tot);
    EXPECT_EQ(read_file(out / "balance.txt"), balance);
    EXPECT_EQ(read_file(out / "q_sub.txt"), q_sub);
}

TEST(SnowSeason, RunModeTwoWithoutReportedSubbasinsWritesNoSubbasinFile) {
    Project p = snow_project();
    p.control.reported_subbasins.clear();
    TempDir tmp("noreport");
    write_project(p, tmp.path());
    const RunResult r = run_gridrun(tmp.path(), "2");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_FALSE(fs::exists(tmp.path() / "model" / "output" / "q_sub.txt"));
    EXPECT_TRUE(fs::exists(tmp.path() / "model" / "output" / "q_tot.txt"));
}

// ---------------------------------------------------------------- two subbasins

// Subbasin 1 is the top-left cell, subbasin 2 the two cells beside and below
// it; the bottom-right position lies outside. Hourly steps in July, PET factor
// 0.8, soils above field capacity at the start (ratio 1.2), so every cell
// percolates and drains sideways from the first step. The first cell has a
// seasonal canopy (1 to 3 mm), the third none (so the dry runoff coefficient,
// from its coefficient 0.4 and conductivity 3: c = 0.38, applies, and its
// evapotranspiration is cut to 30 %). The first cell is twice as steep as the
// others, so its subbasin's recession is 0.1 x 0.2 / (0.4 / 3). No
// evaporation demand in the first step (PET 0), then rising demand.
Project two_subbasin_project() {
    Project p = tiny_project({1, 2, 2, -9999}, 2, 8);
    p.dates = dates_from({2001, 7, 1, 0}, 8, 1);
    Control& c = p.control;
    c.time_step_hours = 1;
    // The parameter line: interflow scale 5, groundwater recession 0.1, initial moisture ratio 1.2 (wetter than
    // field capacity), PET factor 0.8, initial groundwater 50 mm, groundwater scale 200 mm, no snow, runoff
    // exponent 2, runoff rain threshold 6 mm.
    const float line[hydro::kControlParameterCount] = {5, 0.1f, 1.2f, 0.8f, 50, 200, 0, -1, 0, 2, 6};
    for (std::size_t i = 0; i < hydro::kControlParameterCount; ++i) c.*hydro::kControlParameters[i].field = line[i];
    c.reported_subbasins = {2, 1};
    c.periods = {{{"2001 7 1 0 2001 7 1 2"},
                  {},
                  {"2001 7 1 1 2001 7 1 7"},
                  {"2001 7 1 3 2001 7 1 3", "2002 1 1 0 2002 1 2 0"},
                  {"2001 7 1 0 2001 7 1 7", "2001 7 1 2 2001 7 1 3"}}};
    p.grid("thiessen_p.asc") = {1, 2, 2, kNoData};
    p.grid("runoff_co.asc") = {0.5, 0.3, 0.4, kNoData};
    p.grid("rootdepth.asc") = {1, 0.8, 1, kNoData};
    p.grid("conductivity.asc") = {2, 2, 3, kNoData};
    p.grid("depression.asc") = {5, 2, 5, kNoData};
    p.grid("interc_max.asc") = {3, 1.5, 0, kNoData};
    p.grid("interc_min.asc") = {1, 1.5, 0, kNoData};
    p.grid("slope.asc") = {20, 10, 10, kNoData};
    p.precipitation = {{10, 0}, {0, 8}, {5, 0}, {0, 0}, {0, 3}, {0, 0}, {2, 0}, {0, 0}};
    p.pet = {{0}, {0.5}, {0.2}, {0.3}, {0}, {0.4}, {0.1}, {0.6}};
    p.uh_cell_h = {"0 1 0.6 0.4", "1 2 0.5 0.5", "0 0 1"};
    p.uh_cell_s = {"0 0 1", "0 1 0.5 0.5", "1 1 1"};
    p.uh_river = {"1 1 1", "0 1 0.7 0.3"};
    return p;
}

struct Response {
    int first = 0, last = -1;
    std::vector<double> ordinates;
};

Response parse_response(const std::string& line) {
    std::istringstream in(line);
    Response r;
    in >> r.first >> r.last;
    for (double v; in >> v;) r.ordinates.push_back(v);
    return r;
}

int code_of(int y, int m, int d, int h) { return y * 1000000 + m * 10000 + d * 100 + h; }

std::pair<int, int> period_codes(const std::string& line) {
    std::istringstream in(line);
    int f[8];
    for (int& v : f) in >> v;
    return {code_of(f[0], f[1], f[2], f[3]), code_of(f[4], f[5], f[6], f[7])};
}

// What the result files must hold: per step q_tot (rain, Qs, Qi, Qg, Q),
// balance (rain, inte, s_mo, infi, evap, perc, RS, RI, RG, R, GT), the
// reported subbasins' flows, and the maps by file name.
struct Expected {
    std::vector<std::vector<double>> q_tot, balance, q_sub;
    std::map<std::string, std::vector<double>> maps;
};

// The model of one run worked out in double precision from the project's
// description (temperature off).
Expected expected_run(const Project& p, int mode) {
    const Control& c = p.control;
    const std::size_t n_pos = p.grids.at("watershed.asc").size(), T = p.dates.size();
    auto grid = [&](const char* f, std::size_t i) { return p.grids.at(f)[i]; };
    const double dt = c.time_step_hours, area = double(p.cell_size) * p.cell_size;
    // The values of the parameter line the reference uses, by their place on the line.
    const auto value = [&c](int position) { return double(c.*hydro::kControlParameters[position - 1].field); };
    const double a = value(1), recession_base = value(2), moisture_ratio = value(3), pet_factor = value(4);
    const double gw_start = value(5), gw_scale = value(6), runoff_exp = value(10), rain_threshold = value(11);
    const double n = double(p.uh_cell_h.size());

    // Conversions of the converted cells, slope statistics, dry coefficient.
    std::vector<double> fc(n_pos), por(n_pos), wp(n_pos), res(n_pos), K(n_pos), slope(n_pos);
    int n_sub = 0;
    for (std::size_t i = 0; i < n_pos; ++i) n_sub = std::max(n_sub, int(grid("watershed.asc", i)));
    std::vector<double> count(n_sub), slope_sum(n_sub);
    double basin_slope = 0, dry_minimum = 1, reference_k = 0;
    for (std::size_t i = 0; i < n_pos; ++i) {
        const double rc = grid("runoff_co.asc", i), d = grid("rootdepth.asc", i);
        const int sb = int(grid("watershed.asc", i));
        if (rc > 0 && grid("interc_max.asc", i) < 0.01)
            dry_minimum = std::min(dry_minimum, rc), reference_k = grid("conductivity.asc", i);
        const bool converted = rc > 0 && sb > 0 && d > 0;
        const double mm = converted ? d * 1000 : 1;  // fractions to mm of the root zone
        fc[i] = grid("fieldcap.asc", i) * mm, por[i] = grid("porosity.asc", i) * mm;
        wp[i] = grid("wiltingpoint.asc", i) * mm, res[i] = grid("residual.asc", i) * mm;
        K[i] = grid("conductivity.asc", i) * (converted ? dt : 1);
        slope[i] = grid("slope.asc", i) / (converted ? 100 : 1);
        if (converted) basin_slope += slope[i], slope_sum[sb - 1] += slope[i], count[sb - 1] += 1;
    }
    const double dry =
        hydro::dry_runoff_coefficient_for(float(dry_minimum), hydro::soil_runoff_coefficient_for(float(reference_k)));

    std::vector<int> codes(T);
    for (std::size_t t = 0; t < T; ++t)
        codes[t] = code_of(p.dates[t].year, p.dates[t].month, p.dates[t].day, p.dates[t].hour);
    std::array<std::vector<std::vector<double>>, 5> sums;  // [kind][period][position]
    std::vector<int> moisture_steps(c.periods[3].size());
    for (int k = 0; k < 5; ++k) sums[k].assign(c.periods[k].size(), std::vector<double>(n_pos, 0.0));

    std::vector<double> rain(T), inte(T), smo(T), infi(T), evap(T), rs_mean(T), ri_mean(T);
    std::vector<double> outlet_s(T), outlet_i(T), outlet_g(T);
    std::vector<std::vector<double>> sub_s(n_sub, std::vector<double>(T)), sub_i = sub_s, recharge = sub_s,
                                                                           sub_pet = sub_s, sub_evap = sub_s;
    int cell = 0;
    for (std::size_t i = 0; i < n_pos; ++i) {
        const char* tested[] = {"rootdepth.asc",  "porosity.asc",  "slope.asc",
                                "thiessen_p.asc", "watershed.asc", "runoff_co.asc"};
        if (std::any_of(std::begin(tested), std::end(tested), [&](const char* f) { return grid(f, i) < 0; })) continue;
        const Response uh = parse_response(mode == 1 ? p.uh_cell_h[cell] : p.uh_cell_s[cell]);
        ++cell;
        const int sb = int(grid("watershed.asc", i)) - 1;
        const double rc = grid("runoff_co.asc", i), imax = grid("interc_max.asc", i), imin = grid("interc_min.asc", i),
                     smax = grid("depression.asc", i), B = grid("poreindex.asc", i);
        double theta = fc[i] > 0 ? moisture_ratio * fc[i] : 0, canopy = 0, depression = 0;
        std::vector<double> series_s(T), series_i(T);
        for (std::size_t t = 0; t < T; ++t) {
            const double r = p.precipitation[t][int(grid("thiessen_p.asc", i)) - 1];
            const double pet = pet_factor * p.pet[t][int(grid("thiessen_e.asc", i)) - 1];
            double ie = 0, ic = 0, net = 0;
            if (r > 0 || canopy > 0) {
                const int day = hydro::day_of_year(p.dates[t].year, p.dates[t].month, p.dates[t].day);
                const double b = std::pow(1 + std::sin((day - 87) * 6.28318 / 365), 1.35);
                const double cap = (imax - imin) * b / 2.55 + imin;
                ie = std::min(pet, canopy);
                ic = cap - canopy < r ? std::max(cap - canopy, 0.0) : r;
                canopy = std::max(ic + canopy - ie, 0.0);
                net = r - ic;
            } else {
                canopy = 0;
            }
            double rs = 0, inf = 0, de = 0;
            if (net > 0) {
                const double e = net >= rain_threshold ? 1 : runoff_exp - (runoff_exp - 1) * r / rain_threshold;
                const double we = std::pow(theta / por[i], e);
                const double f = rc > 0.99 ? 1 : imax < 0.0001 ? we * (rc - dry) + dry : we * rc;
                rs = f * net, inf = (1 - f) * net;
                if (theta > 0.9 * por[i]) rs = net, inf = 0;
            }
            if (rs > 0 && smax > 0) {
                de = std::min(pet - ie, depression);
                const double before = depression;
                double fill = std::exp(-(rs - std::log(1 - depression / smax) * smax) / smax) * rs;
                depression = std::max(fill + depression - de, 0.0);
                if (depression >= smax) fill = smax - before, depression = smax;
                rs -= fill;
            } else if (depression > 0) {
                de = std::min(pet - ie, depression);
                inf = std::max((1 - rc * theta / por[i]) * (depression - de), 0.0);
                depression -= de + inf, rs = 0;
            } else {
                depression = 0, rs = 0;
            }
            const double D = pet - ie - de;
            double et = theta <= res[i] ? 0 : theta >= fc[i] ? std::max(D, 0.0) : D * (theta - wp[i]) / (fc[i] - wp[i]);
            if (imax < 0.01) et *= 0.3;
            const double pores = por[i] - et - res[i];
            const double perc = theta - et > fc[i] ? std::pow((theta - et - res[i]) / pores, B) * K[i] : 0;
            const double drainable = theta - et - perc - res[i];
            const double ri = theta - et - perc > fc[i] ? std::pow(drainable / pores, B) * a * slope[i] * K[i] : 0;
            for (int k = uh.first; k <= uh.last; ++k) {
                const std::size_t a = t + k + 1;
                if (a >= T) break;
                series_s[a] += rs / 1000 * uh.ordinates[k - uh.first] * area / dt / 3600;
                series_i[a] += ri / 1000 * uh.ordinates[k - uh.first] * area / dt / 3600;
            }
            (mode == 1 ? outlet_s[t] : sub_s[sb][t]) += series_s[t];
            (mode == 1 ? outlet_i[t] : sub_i[sb][t]) += series_i[t];
            theta = inf + theta - et - perc - ri;
            const double E = de + ie + et;
            rain[t] += r / n, inte[t] += ic / n, smo[t] += theta / n, infi[t] += inf / n, evap[t] += E / n;
            rs_mean[t] += rs / n, ri_mean[t] += ri / n;
            recharge[sb][t] += perc / count[sb], sub_pet[sb][t] += pet / count[sb], sub_evap[sb][t] += E / count[sb];
            const double value[5] = {rs, ri, perc, theta, E};
            for (int k = 0; k < 5; ++k)
                for (std::size_t j = 0; j < c.periods[k].size(); ++j) {
                    const auto [start, end] = period_codes(c.periods[k][j]);
                    if (start > codes[t] || codes[t] > end) continue;
                    sums[k][j][i] += value[k];
                    if (k == 3 && cell == 1) ++moisture_steps[j];
                }
        }
    }

    // Groundwater stores and the river to the basin outlet.
    Expected x;
    std::vector<double> storage(n_sub, gw_start), loss(n_sub);
    for (std::size_t t = 0; t < T; ++t) {
        double perc = 0, rg = 0, gt = 0;
        std::vector<double> reported(c.reported_subbasins.size(), 0.0);
        auto route = [&](double flow, int s, std::vector<double>& outlet) {
            const Response river = parse_response(p.uh_river[s]);
            for (int m = river.first; m <= river.last && t + m < T; ++m)
                outlet[t + m] += flow * river.ordinates[m - river.first];
        };
        for (int s = 0; s < n_sub; ++s) {
            const double m = count[s], G = storage[s];
            const double recession = recession_base * (slope_sum[s] / m) / (basin_slope / n);
            const double outflow = recession * G, flow = m * outflow * area / 1000 / dt / 3600;
            loss[s] = (sub_pet[s][t] - sub_evap[s][t]) * G / gw_scale;
            storage[s] = G + recharge[s][t] - outflow - loss[s];
            perc += m * recharge[s][t] / n, rg += m * outflow / n, gt += m * storage[s] / n;
            if (loss[s] > 0) evap[t] += m * loss[s] / n;
            route(flow, s, outlet_g);
            if (mode == 2) {
                for (std::size_t q = 0; q < reported.size(); ++q)
                    if (c.reported_subbasins[q] == s + 1) reported[q] = sub_s[s][t] + sub_i[s][t] + flow;
                route(sub_s[s][t], s, outlet_s);
                route(sub_i[s][t], s, outlet_i);
            }
        }
        if (*std::max_element(loss.begin(), loss.end()) > 0)
            for (std::size_t j = 0; j < c.periods[4].size(); ++j) {
                const auto [start, end] = period_codes(c.periods[4][j]);
                if (start <= codes[t] && codes[t] <= end)
                    for (std::size_t i = 0; i < n_pos; ++i)
                        if (grid("watershed.asc", i) > 0) sums[4][j][i] += loss[int(grid("watershed.asc", i)) - 1];
            }
        x.q_tot.push_back({rain[t], outlet_s[t], outlet_i[t], outlet_g[t], outlet_s[t] + outlet_i[t] + outlet_g[t]});
        x.balance.push_back({rain[t], inte[t], smo[t], infi[t], evap[t], perc, rs_mean[t], ri_mean[t], rg,
                             rs_mean[t] + ri_mean[t] + rg, gt});
        x.q_sub.push_back(reported);
    }

    static const char* const prefix[5] = {"runoff", "interflow", "recharge", "moisture", "evaporation"};
    for (int k = 0; k < 5; ++k)
        for (std::size_t j = 0; j < sums[k].size(); ++j) {
            std::vector<double> v = sums[k][j];
            for (std::size_t i = 0; i < n_pos; ++i) {
                const bool masked =
                    grid("watershed.asc", i) < 0 || v[i] < 0 || (k == 3 && (moisture_steps[j] == 0 || !(por[i] > 0)));
                v[i] = masked ? -1 : k == 3 ? v[i] / moisture_steps[j] / por[i] : v[i];
            }
            char name[32];
            std::snprintf(name, sizeof name, "%s%04zu.asc", prefix[k], j + 1);
            x.maps[name] = v;
        }
    return x;
}

// Compares the records of a result file with the expected values: the dates
// exactly, every value within the rounding of its field.
void expect_records(const std::string& text, const std::vector<StepDate>& dates,
                    const std::vector<std::vector<double>>& expected) {
    const std::vector<std::string> lines = lines_of(text);
    ASSERT_EQ(lines.size(), dates.size() + 1);
    for (std::size_t t = 0; t < dates.size(); ++t) {
        SCOPED_TRACE("step " + std::to_string(t + 1));
        const std::string& line = lines[t + 1];
        ASSERT_EQ(line.size(), 32 + 10 * expected[t].size());
        const int date[4] = {dates[t].year, dates[t].month, dates[t].day, dates[t].hour};
        for (int f = 0; f < 4; ++f) EXPECT_EQ(std::stoi(line.substr(8 * f, 8)), date[f]);
        for (std::size_t f = 0; f < expected[t].size(); ++f) {
            const double x = expected[t][f];
            EXPECT_NEAR(std::stod(line.substr(32 + 10 * f, 10)), x, 1e-3 + 1e-5 * std::fabs(x)) << "field " << f + 5;
        }
    }
}

void expect_map(const std::string& text, int n_rows, const std::vector<double>& expected) {
    const std::vector<std::string> lines = lines_of(text);
    ASSERT_EQ(lines.size(), 6u + n_rows);
    std::vector<double> values;
    for (int r = 0; r < n_rows; ++r)
        for (std::size_t pos = 0; pos + 10 <= lines[6 + r].size(); pos += 10)
            values.push_back(std::stod(lines[6 + r].substr(pos, 10)));
    ASSERT_EQ(values.size(), expected.size());
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_NEAR(values[i], expected[i], 0.0051) << "position " << i;
}

class TwoSubbasins : public ::testing::TestWithParam<int> {};

TEST_P(TwoSubbasins, ResultFilesMatchAnIndependentCalculation) {
    const int mode = GetParam();
    const Project p = two_subbasin_project();
    TempDir tmp("two");
    write_project(p, tmp.path());
    // The maps carry the header texts of the last parameter grid read.
    const fs::path elevation = tmp.path() / "arcview" / "ascii" / "elevation.asc";
    std::string text = read_file(elevation);
    text.replace(text.find("xllcorner 500000.0"), 18, "XLLCORNER 123456.789012345");
    write_file(elevation, text);

    const RunResult r = run_gridrun(tmp.path(), std::to_string(mode));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("cell:         3   rows:      2   cols:      1\n"), std::string::npos);
    EXPECT_EQ(r.out.find("cell:         4"), std::string::npos);

    const Expected x = expected_run(p, mode);
    const fs::path out = tmp.path() / "model" / "output";
    expect_records(read_file(out / "q_tot.txt"), p.dates, x.q_tot);
    expect_records(read_file(out / "balance.txt"), p.dates, x.balance);
    if (mode == 2)
        expect_records(read_file(out / "q_sub.txt"), p.dates, x.q_sub);
    else
        EXPECT_FALSE(fs::exists(out / "q_sub.txt"));
    ASSERT_EQ(x.maps.size(), 6u);  // no interflow periods: no interflow map
    for (const auto& [name, values] : x.maps) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(out / name));
        const std::string map = read_file(out / name);
        EXPECT_EQ(map.substr(0, 81),
                  "ncols        2            \nnrows        2            \n"
                  "XLLCORNER    123456.789012\n");
        expect_map(map, 2, values);
    }
}

INSTANTIATE_TEST_SUITE_P(RunModes, TwoSubbasins, ::testing::Values(1, 2),
                         [](const auto& info) { return "mode" + std::to_string(info.param); });

// ---------------------------------------------------------------- water balance

// With the canopy and the depressions emptied by a strong demand in the last
// two steps, and every cell evaporating at most its PET (so that groundwater
// evaporation is never negative), what falls is what the soils and the
// groundwater gained plus what evaporated and ran off: sum(rain) =
// delta(s_mo) + delta(GT) + sum(evap) + sum(R), all basin means in mm.
TEST(WaterBalance, RainEqualsStorageChangePlusEvaporationPlusRunoff) {
    Project p = two_subbasin_project();
    p.pet[0] = {0};
    p.pet[6] = {12.5};
    p.pet[7] = {12.5};
    TempDir tmp("balance");
    write_project(p, tmp.path());
    const fs::path out = tmp.path() / "model" / "output";
    ASSERT_EQ(run_gridrun(tmp.path(), "1").exit_code, 0);
    const std::string mode1 = read_file(out / "balance.txt");
    ASSERT_EQ(run_gridrun(tmp.path(), "2").exit_code, 0);
    EXPECT_EQ(read_file(out / "balance.txt"), mode1);  // routing does not enter the balance

    const std::vector<std::string> lines = lines_of(mode1);
    ASSERT_EQ(lines.size(), 9u);
    auto field = [&](std::size_t line, int f) { return std::stod(lines[line].substr(32 + 10 * (f - 5), 10)); };
    double rain = 0, evaporation = 0, runoff = 0;
    for (std::size_t t = 1; t < lines.size(); ++t) {
        rain += field(t, 5), evaporation += field(t, 9), runoff += field(t, 14);
        EXPECT_NEAR(field(t, 14), field(t, 11) + field(t, 12) + field(t, 13), 0.0015);
    }
    // Soils start at 1.2 x field capacity: (360 + 288 + 360) / 3; groundwater at 50.
    const double soil_change = field(8, 7) - 336.0, groundwater_change = field(8, 15) - 50.0;
    EXPECT_GT(runoff, 1.0);
    EXPECT_GT(evaporation, 5.0);
    EXPECT_NEAR(rain, soil_change + groundwater_change + evaporation + runoff, 0.015);
}

// ---------------------------------------------------------------- input errors

struct InputErrorCase {
    const char* name;
    const char* menu;
    std::function<void(Project&)> edit;           // on the description
    std::function<void(const fs::path&)> damage;  // on the written files
    const char* file;                             // named in the message
};

void replace_in_file(const fs::path& path, const std::string& from, const std::string& to) {
    std::string text = read_file(path);
    const std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::logic_error("no '" + from + "' in " + path.string());
    write_file(path, text.replace(at, from.size(), to));
}

class InputErrors : public ::testing::TestWithParam<InputErrorCase> {};

TEST_P(InputErrors, StopTheRunWithOneLineAndLeaveEarlierResultsAlone) {
    const InputErrorCase& c = GetParam();
    TempDir tmp("errors");
    Project p = two_subbasin_project();
    write_project(p, tmp.path());
    ASSERT_EQ(run_gridrun(tmp.path(), "2").exit_code, 0);
    const auto before = result_files(tmp.path());
    ASSERT_EQ(before.count("q_sub.txt"), 1u);

    if (c.edit) c.edit(p), write_project(p, tmp.path());
    if (c.damage) c.damage(tmp.path());
    const RunResult r = run_gridrun(tmp.path(), c.menu);
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.file), std::string::npos) << r.err;
    EXPECT_EQ(result_files(tmp.path()), before);
}

const fs::path kGrids = fs::path("arcview") / "ascii";
const fs::path kInput = fs::path("model") / "input";
const fs::path kOutput = fs::path("model") / "output";

const InputErrorCase kInputErrorCases[] = {
    {"missing_parameter_grid", "2", nullptr, [](const fs::path& root) { fs::remove(root / kGrids / "porosity.asc"); },
     "porosity.asc"},
    {"decimal_point_in_an_integer_grid", "2", nullptr,
     [](const fs::path& root) { replace_in_file(root / kGrids / "thiessen_e.asc", "\n1 1\n", "\n1.0 1\n"); },
     "thiessen_e.asc"},
    {"truncated_grid", "2", nullptr,
     [](const fs::path& root) { replace_in_file(root / kGrids / "slope.asc", "10 -9999\n", ""); }, "slope.asc"},
    {"station_beyond_the_series_columns", "1",
     [](Project& p) {
         for (auto& r : p.precipitation) r.pop_back();
     },
     nullptr, "p.txt"},
    {"station_zero_at_a_simulated_cell", "1", [](Project& p) { p.set_cell("thiessen_e.asc", 1, 0, 0); }, nullptr,
     "thiessen_e.asc"},
    {"subbasin_zero_at_a_simulated_cell", "1", [](Project& p) { p.set_cell("watershed.asc", 1, 0, 0); }, nullptr,
     "watershed.asc"},
    {"subbasin_without_a_converted_cell", "1", [](Project& p) { p.set_cell("rootdepth.asc", 0, 0, 0); }, nullptr,
     "watershed.asc"},
    {"cell_response_beyond_uh_length", "2", [](Project& p) { p.uh_cell_s[1] = "0 3 0.25 0.25 0.25 0.25"; }, nullptr,
     "uh_cell_s.txt"},
    {"river_response_beyond_uh_length", "1", [](Project& p) { p.uh_river[0] = "2 3 0.5 0.5"; }, nullptr,
     "uh_river.txt"},
    {"river_response_before_lag_zero", "1", [](Project& p) { p.uh_river[1] = "-1 0 0.5 0.5"; }, nullptr,
     "uh_river.txt"},
    {"fewer_response_lines_than_cells", "1", [](Project& p) { p.uh_cell_h.pop_back(); }, nullptr, "uh_cell_h.txt"},
    {"fewer_subbasin_response_lines_than_cells", "2", [](Project& p) { p.uh_cell_s.pop_back(); }, nullptr,
     "uh_cell_s.txt"},
    {"pet_series_shorter_than_p", "1", nullptr,
     [](const fs::path& root) { replace_in_file(root / kInput / "pet.txt", "2001 7 1 7 0.6\n", ""); }, "pet.txt"},
    {"groundwater_scale_zero", "1", [](Project& p) { p.control.groundwater_scale = 0; }, nullptr, "input.txt"},
    {"more_reported_subbasins_than_subbasins", "2",
     [](Project& p) {
         p.control.reported_subbasins = {1, 2, 1};
     },
     nullptr, "input.txt"},
};

INSTANTIATE_TEST_SUITE_P(Gridrun, InputErrors, ::testing::ValuesIn(kInputErrorCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
