// Tools of the benchmark:
//   bench_tools make-project DIR ROWS COLS STEPS   writes a deterministic synthetic project
//   bench_tools make-hourly DIR ROWS COLS STEPS [wet]
//                                                  the same basin in 20 subbasins, hourly steps
//                                                  from 1 January (snow and melt), rain events,
//                                                  cell responses of 2 or 3 ordinates; "wet": long
//                                                  frequent rain events and slowly draining soils
//                                                  that stay above field capacity (percolation and
//                                                  interflow in most steps)
//   bench_tools floor                              times logf, expf and powf alone
//   bench_tools read-responses FILE                times the parsing of a response file
//
// The synthetic basin fills a ROWS x COLS grid (a margin of no-data cells on
// the left and right), with 16 subbasins, four precipitation stations, three
// evapotranspiration and three temperature stations, daily steps from
// 1 January 2000 with rain on about a third of the days and a winter with
// snow, and ragged unit responses of 5 to 40 lags.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "calendar.hpp"
#include "free_format.hpp"
#include "responses.hpp"

namespace fs = std::filesystem;

namespace {

// A small deterministic generator (64-bit linear congruential).
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed * 6364136223846793005ULL + 1442695040888963407ULL) {}
    double uniform() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) * (1.0 / 9007199254740992.0);
    }
};

std::FILE* open_out(const fs::path& p) {
    std::FILE* f = std::fopen(p.c_str(), "w");
    if (!f) {
        std::perror(p.c_str());
        std::exit(1);
    }
    return f;
}

void grid_header(std::FILE* f, int rows, int cols) {
    std::fprintf(f, "ncols %d\nnrows %d\nxllcorner 500000\nyllcorner 4000000\ncellsize 100\nNODATA_value -9999\n", cols,
                 rows);
}

bool inside(int r, int c, int rows, int cols) {
    (void)r;
    (void)rows;
    return c >= 1 && c < cols - 1;  // a one-cell no-data margin left and right
}

// The hourly case: 20 subbasins (4 x 5), hourly steps, responses of 2 or 3 ordinates.
bool g_hourly = false;
bool g_wet = false;

int subbasin_of(int r, int c, int rows, int cols) {
    return g_hourly ? (r * 4 / rows) * 5 + (c * 5 / cols) + 1 : (r * 4 / rows) * 4 + (c * 4 / cols) + 1;
}

// Parameter grids of random values around a base, then the zone grids.
void write_grids(const fs::path& root, int rows, int cols, Random& rnd) {
    // Parameter grids: name, base value, relative spread, decimals.
    struct Param {
        const char* file;
        double base, spread;
    };
    const Param params[] = {
        {"runoff_co.asc", 0.35, 0.5},  {"fieldcap.asc", 0.30, 0.2},
        {"porosity.asc", 0.45, 0.1},   {"conductivity.asc", g_wet ? 0.4 : 3.0, 0.8},
        {"poreindex.asc", 4.0, 0.3},   {"depression.asc", 5.0, 0.6},
        {"interc_max.asc", 2.0, 0.5},  {"interc_min.asc", 0.5, 0.5},
        {"residual.asc", 0.04, 0.3},   {"rootdepth.asc", 1.0, 0.4},
        {"slope.asc", 8.0, 0.9},       {"wiltingpoint.asc", 0.12, 0.2},
        {"elevation.asc", 800.0, 0.3},
    };
    for (const Param& p : params) {
        std::FILE* f = open_out(root / "arcview" / "ascii" / p.file);
        grid_header(f, rows, cols);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                const double v = inside(r, c, rows, cols) ? p.base * (1.0 + p.spread * (rnd.uniform() - 0.5)) : -9999.0;
                std::fprintf(f, c ? " %.4f" : "%.4f", v);
            }
            std::fputc('\n', f);
        }
        std::fclose(f);
    }
    auto int_grid = [&](const char* file, auto value) {
        std::FILE* f = open_out(root / "arcview" / "ascii" / file);
        grid_header(f, rows, cols);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c)
                std::fprintf(f, c ? " %d" : "%d", inside(r, c, rows, cols) ? value(r, c) : -9999);
            std::fputc('\n', f);
        }
        std::fclose(f);
    };
    int_grid("watershed.asc", [&](int r, int c) { return subbasin_of(r, c, rows, cols); });
    int_grid("thiessen_p.asc", [&](int r, int c) { return (r * 2 / rows) * 2 + (c * 2 / cols) + 1; });
    int_grid("thiessen_e.asc", [&](int, int c) { return c * 3 / cols + 1; });
    int_grid("thiessen_t.asc", [&](int r, int) { return r * 3 / rows + 1; });
}

// Station series, daily from 1 January 2000 (hourly in the hourly case).
void write_series(const fs::path& root, int steps, Random& rnd) {
    std::FILE* p = open_out(root / "model" / "input" / "p.txt");
    std::FILE* e = open_out(root / "model" / "input" / "pet.txt");
    std::FILE* t = open_out(root / "model" / "input" / "t.txt");
    std::fprintf(p, "year month day hour 410 520 630 740\n");
    std::fprintf(e, "year month day hour 450 600 750\n");
    std::fprintf(t, "year month day hour 450 600 750\n");
    // The wet case starts in spring: the last frosts, then rain on thawed soils.
    int year = 2000, month = g_wet ? 4 : 1, day = 1, hour = 0;
    static const int len[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int storm = 0;  // hours left of a rain event (hourly case)
    for (int k = 0; k < steps; ++k) {
        const int doy = hydro::day_of_year(year, month, day);
        const double season = std::sin((doy - 110) * 2.0 * M_PI / 365.0);
        std::fprintf(p, "%d %d %d %d", year, month, day, hour);
        if (g_hourly && storm == 0 && rnd.uniform() < (g_wet ? 0.06 : 0.02))
            storm = 4 + static_cast<int>(rnd.uniform() * (g_wet ? 40 : 20));
        for (int s = 0; s < 4; ++s) {
            const double wet = rnd.uniform();
            const double rain = g_hourly
                                    ? (storm > 0 && wet < 0.8 ? -std::log(1.0 - rnd.uniform()) * (1.0 + 0.3 * s) : 0.0)
                                    : (wet < 0.33 ? -std::log(1.0 - rnd.uniform()) * (6.0 + s) : 0.0);
            std::fprintf(p, " %.2f", rain);
        }
        if (storm > 0) --storm;
        const double diurnal = g_hourly ? std::sin((hour - 9) * 2.0 * M_PI / 24.0) : 0.0;
        const double pet_scale = g_hourly ? std::max(0.0, diurnal) / 8.0 : 1.0;
        std::fprintf(e, "%d %d %d %d", year, month, day, hour);
        for (int s = 0; s < 3; ++s) std::fprintf(e, " %.3f", std::max(0.2, 2.5 + 2.0 * season + 0.3 * s) * pet_scale);
        std::fprintf(t, "%d %d %d %d", year, month, day, hour);
        for (int s = 0; s < 3; ++s)
            std::fprintf(t, " %.1f", 8.0 + 12.0 * season - 2.0 * s + 4.0 * diurnal + 4.0 * (rnd.uniform() - 0.5));
        std::fputc('\n', p);
        std::fputc('\n', e);
        std::fputc('\n', t);
        const bool leap = hydro::is_leap_year(year);
        if (g_hourly && ++hour < 24) continue;
        hour = 0;
        if (++day > len[month - 1] + (month == 2 && leap ? 1 : 0)) {
            day = 1;
            if (++month > 12) month = 1, ++year;
        }
    }
    std::fclose(p);
    std::fclose(e);
    std::fclose(t);
}

// Unit responses: ragged, normalised, longer for cells far from the outlet.
void write_responses(const fs::path& root, int rows, int cols) {
    auto response_line = [&](std::FILE* f, int first, int count) {
        std::vector<double> w(static_cast<std::size_t>(count));
        double sum = 0;
        for (int k = 0; k < count; ++k)
            sum += w[k] = std::exp(-0.5 * std::pow((k - count / 3.0) / (count / 4.0 + 0.5), 2));
        std::fprintf(f, "%d %d", first, first + count - 1);
        for (int k = 0; k < count; ++k) std::fprintf(f, " %.6f", w[k] / sum);
        std::fputc('\n', f);
    };
    std::FILE* h = open_out(root / "model" / "output" / "uh_cell_h.txt");
    std::FILE* s = open_out(root / "model" / "output" / "uh_cell_s.txt");
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            if (inside(r, c, rows, cols)) {
                const int distance = (rows - r) + c;
                const int count = 5 + (distance * 35) / (rows + cols);
                if (g_hourly) {
                    response_line(h, distance % 3, 2 + distance % 2);
                    response_line(s, distance % 2, 2 + (distance / 7) % 2);
                } else {
                    response_line(h, distance % 3, count);
                    response_line(s, distance % 2, 2 + count / 3);
                }
            }
    // The first line reaches the largest lag that any file uses.
    std::fclose(h);
    std::fclose(s);
    std::FILE* river = open_out(root / "model" / "output" / "uh_river.txt");
    const int n_subbasins = g_hourly ? 20 : 16;
    for (int sb = 1; sb <= n_subbasins; ++sb)
        if (g_hourly)
            response_line(river, sb % 2, 2 + sb % 3);  // within the cells' largest lag
        else
            response_line(river, (n_subbasins - sb) / 4, 3 + sb % 5);
    std::fclose(river);
}

void write_control(const fs::path& root) {
    std::FILE* cf = open_out(root / "model" / "input" / "input.txt");
    if (g_hourly) {
        std::fprintf(
            cf,
            "Time_step_(hours)\n1\nParameters\n"
            "%s\n"
            "Reported_subbasins 3\n1 6 20\n"
            "Runoff\n1\n2000 1 1 0 2000 12 31 23\n"
            "Interflow\n0\nRecharge\n0\n"
            "Moisture\n1\n2000 %d 1 0 2000 %d 28 23\n"
            "Evaporation\n1\n2000 1 1 0 2000 12 31 23\n",
            g_wet ? "0.1 0.001 0.85 1.0 100 500 0.0 3 0.01 3.0 5" : "0.1 0.001 0.6 1.0 100 500 0.0 3 0.01 3.0 5",
            g_wet ? 5 : 2, g_wet ? 5 : 2);
        std::fclose(cf);
        return;
    }
    std::fprintf(cf,
                 "Time_step_(hours)\n24\nParameters\n"
                 "1.5 0.02 0.6 1.0 100 500 0.0 3 0.01 3.0 20\n"
                 "Reported_subbasins 3\n1 6 16\n"
                 "Runoff\n2\n2000 1 1 0 2000 12 31 0\n2001 3 1 0 2001 5 31 0\n"
                 "Interflow\n1\n2000 1 1 0 2000 12 31 0\n"
                 "Recharge\n1\n2000 1 1 0 2000 12 31 0\n"
                 "Moisture\n2\n2000 6 1 0 2000 8 31 0\n2001 1 1 0 2001 1 31 0\n"
                 "Evaporation\n1\n2000 1 1 0 2000 12 31 0\n");
    std::fclose(cf);
}

void make_project(const fs::path& root, int rows, int cols, int steps) {
    fs::create_directories(root / "arcview" / "ascii");
    fs::create_directories(root / "model" / "input");
    fs::create_directories(root / "model" / "output");
    fs::create_directories(root / "run" / "here");
    Random rnd(42);
    write_grids(root, rows, cols, rnd);
    write_series(root, steps, rnd);
    write_responses(root, rows, cols);
    write_control(root);
}

// A value the optimiser cannot drop.
volatile float sink;

void transcendental_floor() {
    const int n = 1 << 20, reps = 20;
    std::vector<float> x(n), y(n);
    Random rnd(7);
    for (int i = 0; i < n; ++i)
        x[i] = 0.05f + 0.9f * static_cast<float>(rnd.uniform()), y[i] = 1.0f + 4.0f * static_cast<float>(rnd.uniform());
    auto time_ns = [&](auto f) {
        float acc = 0;
        const auto t0 = std::chrono::steady_clock::now();
        for (int r = 0; r < reps; ++r)
            for (int i = 0; i < n; ++i) acc += f(x[i], y[i]);
        const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
        sink = acc;
        return ns / (static_cast<double>(n) * reps);
    };
    const double overhead = time_ns([](float a, float b) { return a * b; });
    const double log_ns = time_ns([](float a, float) { return std::log(1.0f - a); }) - overhead;
    const double exp_ns = time_ns([](float a, float b) { return std::exp(0.0f - b * a); }) - overhead;
    const double pow_ns = time_ns([](float a, float b) { return std::pow(a, b); }) - overhead;
    // A wet step calls pow for the runoff fraction, log and exp for the
    // depression filling, and pow for percolation and for interflow.
    const double floor_ns = 3 * pow_ns + log_ns + exp_ns;
    std::printf("logf %.2f ns, expf %.2f ns, powf %.2f ns; floor (3 powf + logf + expf) %.2f ns per cell-step\n",
                log_ns, exp_ns, pow_ns, floor_ns);
    std::printf("FLOOR_NS=%.3f\n", floor_ns);
}

void read_responses(const std::string& path) {
    // Count the lines and the largest last lag first, as the run does.
    hydro::FreeFormatReader scan(path);
    int32_t lines = 0, uh_length = 0;
    for (;;) {
        std::string_view a, b;
        scan.begin_read();
        if (!scan.try_token(a) || !scan.try_token(b)) break;
        int32_t l;
        if (hydro::parse_int32(b, l)) uh_length = std::max(uh_length, l);
        ++lines;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const hydro::ResponseTable table = hydro::ResponseTable::read(path, lines, uh_length);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double mb = static_cast<double>(fs::file_size(path)) / 1e6;
    std::printf("%s: %d lines, %.1f MB read in %.3f s: %.0f MB/s\n", path.c_str(), static_cast<int>(table.size()), mb,
                s, mb / s);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "make-hourly" && (argc == 6 || (argc == 7 && std::string(argv[6]) == "wet"))) {
        g_hourly = true;
        g_wet = argc == 7;
        make_project(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    } else if (cmd == "make-project" && argc == 6) {
        make_project(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    } else if (cmd == "floor") {
        transcendental_floor();
    } else if (cmd == "read-responses" && argc == 3) {
        read_responses(argv[2]);
    } else {
        std::fprintf(
            stderr,
            "usage: bench_tools make-project|make-hourly DIR ROWS COLS STEPS [wet] | floor | read-responses FILE\n");
        return 2;
    }
    return 0;
}
