// run_summary: a short account of a finished gridrun run, read back from its
// result files: the peak discharge and its date, the volumes of surface
// flow, interflow and groundwater flow at the outlet, and the basin water
// balance with its closure error.
//
// Usage: run_summary PROJECT_ROOT (or --project PROJECT_ROOT) [--observed FILE [--warmup N]]
//
// With an observed discharge file (CSV date,discharge) it adds the fit of the
// outlet flow Q to the gauge: NSE, KGE with its components, NSE of log flows,
// percent bias, RMSE and the error of the highest peak, over the steps that
// have an observation, after the first N steps.
//
// The balance is taken over steps 2..N of balance.txt (storages are given at
// the end of each step, so the first record is the starting point):
//   closure = rain - evaporation - (RS + RI + RG) - (change of s_mo + change of GT)
// It is not zero by design: the snow pack, the canopy and the depressions
// are not in the files, water held in canopy and depressions is dropped on
// snow steps, and flow routed beyond the last step never reaches the outlet.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "ascii_grid.hpp"
#include "command_options.hpp"
#include "fit_scores.hpp"
#include "free_format.hpp"
#include "input_error.hpp"
#include "observed_discharge.hpp"
#include "project_check.hpp"
#include "project_paths.hpp"

namespace {

using namespace hydro;

struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<double>> rows;
    int column(const std::string& name) const {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i] == name) return static_cast<int>(i);
        throw std::runtime_error("column " + name + " missing");
    }
};

// A result file as gridrun writes it: a header naming the columns, then per
// step the date in four fields of 8 characters and the values in fields of
// 10, which a value may fill whole (no blank before it). A value too wide for
// its field is written as asterisks and is refused.
Table read_table(const std::string& path) {
    const std::string text = read_plain_file(path);
    Table t;
    std::size_t pos = 0, line_number = 0;
    auto next_line = [&](std::string_view& line) {
        if (pos >= text.size()) return false;
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        line = std::string_view(text).substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        ++line_number;
        return true;
    };
    std::string_view line;
    if (!next_line(line)) throw InputError(path, 0, "a header line and one record per step", "an empty file");
    FreeFormatReader header(path, std::string(line));
    header.begin_read();
    for (std::string_view tok; header.try_token(tok);) t.columns.emplace_back(tok);
    if (t.columns.size() < 5)
        throw InputError(path, 1, "a header naming the date fields and the columns", "fewer names");
    while (next_line(line)) {
        if (line.find_first_not_of(' ') == std::string_view::npos) continue;
        std::vector<double> row;
        for (std::size_t c = 0; c < t.columns.size(); ++c) {
            const std::size_t at = c < 4 ? 8 * c : 32 + 10 * (c - 4), width = c < 4 ? 8 : 10;
            if (at + width > line.size())
                throw InputError(path, static_cast<int>(line_number), "a value of every column", "a line cut short");
            std::string_view field = line.substr(at, width);
            field.remove_prefix(std::min(field.find_first_not_of(' '), field.size()));
            float v;
            if (!parse_float(field, v))
                throw InputError(path, static_cast<int>(line_number), "a number in column " + t.columns[c],
                                 field.find('*') != std::string_view::npos
                                     ? "asterisks (a value too wide for its field)"
                                     : quote_token(field));
            row.push_back(v);
        }
        t.rows.push_back(std::move(row));
    }
    return t;
}

std::string date_of(const Table& t, std::size_t r) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d hour %d", static_cast<int>(t.rows[r][0]),
                  static_cast<int>(t.rows[r][1]), static_cast<int>(t.rows[r][2]), static_cast<int>(t.rows[r][3]));
    return buf;
}

// Scores are computed before anything is printed, so that a bad observed
// file stops the program without a partial summary.
std::string fit_text(const Table& q, const std::string& observed_path, std::size_t warmup) {
    const ObservedDischarge observed = read_observed_discharge(observed_path);
    std::vector<int64_t> keys;
    std::vector<double> flow;
    const int qt = q.column("Q");
    for (const auto& row : q.rows) {
        keys.push_back(step_key(static_cast<int32_t>(row[0]), static_cast<int32_t>(row[1]),
                                static_cast<int32_t>(row[2]), static_cast<int32_t>(row[3])));
        flow.push_back(row[qt]);
    }
    const FitScores f = score_run(flow, match_observations(observed, keys), warmup, observed_path);
    auto num = [](double v, const char* format) {
        char b[64];
        if (std::isnan(v)) return std::string("undefined");
        std::snprintf(b, sizeof b, format, v);
        return std::string(b);
    };
    std::string out;
    auto line = [&out](const char* format, auto... args) {
        char b[512];
        std::snprintf(b, sizeof b, format, args...);
        out += b;
    };
    line("Fit to the observed discharge %s (%zu steps with an observation after a warm-up of %zu steps)\n",
         observed_path.c_str(), f.n, warmup);
    line("  NSE                 %s\n", num(f.nse, "%.3f").c_str());
    line("  KGE                 %s  (r %s, alpha %s, beta %s)\n", num(f.kge, "%.3f").c_str(),
         num(f.kge_r, "%.3f").c_str(), num(f.kge_alpha, "%.3f").c_str(), num(f.kge_beta, "%.3f").c_str());
    line("  NSE of log flows    %s\n", num(f.log_nse, "%.3f").c_str());
    line("  percent bias        %s %%\n", num(f.percent_bias, "%+.1f").c_str());
    line("  RMSE                %s m3/s\n", num(f.rmse, "%.3f").c_str());
    line("  highest peak        observed %.3f m3/s on %s, simulated %.3f m3/s on %s (%s %%)\n", f.observed_peak,
         date_of(q, f.observed_peak_step).c_str(), f.simulated_peak, date_of(q, f.simulated_peak_step).c_str(),
         num(f.peak_error_percent, "%+.1f").c_str());
    return out;
}

}  // namespace

namespace {

struct Options {
    std::string root, observed_path;
    std::size_t warmup = 0;
    bool warmup_given = false;
};

const CommandLineSpec kCommandLine{
    "run_summary",
    "Usage: run_summary PROJECT_ROOT [--observed FILE [--warmup N]]\n"
    "       run_summary --project PROJECT_ROOT [--observed FILE [--warmup N]]\n",
    "Summarises a finished gridrun run from its result files in PROJECT_ROOT/model/output: the peak discharge and "
    "its date, the volumes of surface flow, interflow and groundwater flow at the outlet, and the basin water "
    "balance with its closure error.",
    "PROJECT_ROOT"};

std::vector<CommandOption> option_table(Options& o) {
    return {
        {"--project", "DIR", "the project root (the same as PROJECT_ROOT)",
         [&o](const OptionValues& v) {
             if (!o.root.empty()) throw UsageError("give the project root once");
             o.root = v[0];
         }},
        {"--observed", "FILE",
         "also score the outlet flow Q against the observed discharge in FILE (NSE, KGE, NSE of log flows, percent "
         "bias, RMSE, peaks)",
         [&o](const OptionValues& v) { o.observed_path = v[0]; }},
        {"--warmup", "N", "leave the first N steps out of the scores",
         [&o](const OptionValues& v) {
             int32_t n = -1;
             if (!parse_int32(v[0], n) || n < 0)
                 throw UsageError("--warmup takes a number of steps (0 or more), not '" + v[0] + "'");
             o.warmup = static_cast<std::size_t>(n);
             o.warmup_given = true;
         }},
    };
}

Options parse_options(int argc, char** argv) {
    Options o;
    const std::vector<std::string> operands = read_command_line(kCommandLine, option_table(o), argc, argv);
    std::string problem;
    if (operands.size() + (o.root.empty() ? 0 : 1) > 1)
        problem = "give the project root once";
    else if (operands.empty() && o.root.empty())
        problem = "expected the project root (PROJECT_ROOT or --project PROJECT_ROOT)";
    else if (o.warmup_given && o.observed_path.empty())
        problem = "--warmup needs --observed";
    if (!problem.empty()) {
        std::fputs(usage_error_text(kCommandLine, problem).c_str(), stderr);
        std::exit(2);
    }
    if (o.root.empty()) o.root = operands.front();
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse_options(argc, argv);
    const std::string& root = options.root;
    const std::string& observed_path = options.observed_path;
    const std::size_t warmup = options.warmup;
    try {
        ProjectPaths paths;
        paths.root = root;
        check_project_root(paths, "project root");
        const GridGeometry geometry = read_grid_geometry(paths.grid("watershed.asc"));
        FreeFormatReader control(paths.input("input.txt"));
        control.begin_read();
        control.token("a title");
        control.begin_read();
        const double hours = control.real("the time step in hours");
        // The basin's cells: one line each in the cell response file.
        int cells = 0;
        {
            FreeFormatReader uh(paths.output("uh_cell_h.txt"));
            for (std::string_view tok;; ++cells) {
                uh.begin_read();
                if (!uh.try_token(tok)) break;
            }
        }
        const double area_m2 = static_cast<double>(cells) * geometry.cell_size * geometry.cell_size;

        const Table q = read_table(paths.output("q_tot.txt"));
        const Table b = read_table(paths.output("balance.txt"));
        if (q.rows.empty() || b.rows.size() != q.rows.size()) throw std::runtime_error("result files hold no steps");
        const int qs = q.column("Qs"), qi = q.column("Qi"), qg = q.column("Qg"), qt = q.column("Q");
        std::size_t peak = 0;
        double vs = 0, vi = 0, vg = 0;
        for (std::size_t r = 0; r < q.rows.size(); ++r) {
            if (q.rows[r][qt] > q.rows[peak][qt]) peak = r;
            vs += q.rows[r][qs] * hours * 3600.0;
            vi += q.rows[r][qi] * hours * 3600.0;
            vg += q.rows[r][qg] * hours * 3600.0;
        }
        const double vt = vs + vi + vg;
        const std::string fit = observed_path.empty() ? std::string() : fit_text(q, observed_path, warmup);
        auto mm = [&](double m3) { return m3 / area_m2 * 1000.0; };

        const int rain = b.column("rain"), evap = b.column("evap"), rs = b.column("RS"), ri = b.column("RI"),
                  rg = b.column("RG"), smo = b.column("s_mo"), gt = b.column("GT");
        double sum_rain = 0, sum_evap = 0, sum_rs = 0, sum_ri = 0, sum_rg = 0;
        for (std::size_t r = 1; r < b.rows.size(); ++r) {
            sum_rain += b.rows[r][rain];
            sum_evap += b.rows[r][evap];
            sum_rs += b.rows[r][rs];
            sum_ri += b.rows[r][ri];
            sum_rg += b.rows[r][rg];
        }
        const double d_soil = b.rows.back()[smo] - b.rows.front()[smo];
        const double d_gw = b.rows.back()[gt] - b.rows.front()[gt];
        const double runoff = sum_rs + sum_ri + sum_rg;
        const double closure = sum_rain - sum_evap - runoff - (d_soil + d_gw);

        std::printf("Run summary of %s\n", root.c_str());
        std::printf("  period              %s to %s, %zu steps of %g h\n", date_of(q, 0).c_str(),
                    date_of(q, q.rows.size() - 1).c_str(), q.rows.size(), hours);
        std::printf("  basin               %.2f km2 (%d cells of %d m)\n", area_m2 / 1e6, cells, geometry.cell_size);
        std::printf("  peak discharge      %.3f m3/s on %s\n", q.rows[peak][qt], date_of(q, peak).c_str());
        std::printf("Volumes at the outlet (whole run)\n");
        std::printf("  surface flow        %14.0f m3  %9.1f mm\n", vs, mm(vs));
        std::printf("  interflow           %14.0f m3  %9.1f mm\n", vi, mm(vi));
        std::printf("  groundwater flow    %14.0f m3  %9.1f mm\n", vg, mm(vg));
        std::printf("  total               %14.0f m3  %9.1f mm\n", vt, mm(vt));
        std::printf("Basin water balance (mm, basin means, steps 2..%zu)\n", b.rows.size());
        std::printf("  rain                %9.1f\n", sum_rain);
        std::printf("  evaporation         %9.1f\n", sum_evap);
        std::printf("  runoff generated    %9.1f  (surface %.1f, interflow %.1f, groundwater %.1f)\n", runoff, sum_rs,
                    sum_ri, sum_rg);
        std::printf("  storage change      %9.1f  (soil moisture %+.1f, groundwater %+.1f)\n", d_soil + d_gw, d_soil,
                    d_gw);
        std::printf("  closure error       %9.1f  (%.1f %% of the rain)\n", closure,
                    sum_rain != 0 ? 100.0 * closure / sum_rain : 0.0);
        std::printf(
            "  The closure error holds what the files do not show: the change of the snow pack,\n"
            "  of the canopy and depression stores, and the water those stores lose on snow steps.\n");
        std::fputs(fit.c_str(), stdout);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "run_summary: error: %s\n", e.what());
        return 1;
    }
}
