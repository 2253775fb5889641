// gridrun: grid-based, fully distributed rainfall-runoff model of a river
// basin. Started from a working folder two levels below the project root (or
// given the root with --project), it reads the basin's grids, the control
// file, the station series and the precomputed responses, asks for the
// routing scheme, simulates every cell and step, and writes the outlet
// hydrograph, the basin water balance, the reported subbasin outflows and the
// maps of the control file's periods.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "ascii_grid.hpp"
#include "free_format.hpp"
#include "cell_loop.hpp"
#include "model.hpp"
#include "model_state_file.hpp"
#include "input_error.hpp"
#include "project_run.hpp"
#include "command_options.hpp"
#include "project_paths.hpp"
#include "csv_results.hpp"
#include "grid_georeference.hpp"
#include "netcdf_results.hpp"
#include "progress_line.hpp"
#include "result_destinations.hpp"
#include "result_set.hpp"
#include "run_file.hpp"
#include "state_dates.hpp"
#include "text_results.hpp"

namespace {

using namespace hydro;

void write_menu() {
    std::string s;
    for (int i = 0; i < 5; ++i) s += " \n";
    s += " \t\t     Model simulation on grid scale\n \n";
    s += " " + std::string(14, ' ') + std::string(47, '-') + "\n \n";
    s += " " + std::string(16, ' ') + "1. Give outflow at basin outlet\n \n";
    s += " " + std::string(16, ' ') + "2. Give outflow at subbasin and basin outlet\n \n";
    s += " " + std::string(16, ' ') + "3. Return\n \n";
    s += " " + std::string(14, ' ') + std::string(48, '-') + "\n \n";
    s += " " + std::string(16, ' ') + "Your Choice (1/2/3):\n";
    std::fputs(s.c_str(), stdout);
    std::fflush(stdout);
}

void write_run_title(int32_t run_mode, bool padded) {
    std::string s;
    if (padded)
        for (int i = 0; i < 30; ++i) s += " \n";
    s += " " + std::string(21, ' ') + "Fully-distributed model simulation\n";
    if (run_mode == 1)
        s += " " + std::string(27, ' ') + "Cells ->Basin Outlet\n";
    else
        s += " " + std::string(20, ' ') + "Cells -> Main River -> Basin Outlet\n";
    if (padded)
        for (int i = 0; i < 12; ++i) s += " \n";
    std::fputs(s.c_str(), stdout);
}

// The run mode from the keyboard: the first value after any blank lines.
int32_t read_run_mode() {
    std::string line;
    int line_number = 0;
    while (std::getline(std::cin, line)) {
        ++line_number;
        FreeFormatReader in("standard input", line);
        std::string_view tok;
        in.begin_read();
        if (!in.try_token(tok)) continue;
        int32_t mode = 0;
        if (!parse_int32(tok, mode))
            throw InputError("standard input", line_number, "the run mode (a whole number: 1, 2 or 3)",
                             quote_token(tok));
        return mode;
    }
    throw InputError("standard input", line_number, "the run mode (1, 2 or 3)", "the end of the input");
}

struct Options {
    ProjectRunOptions project;
    int32_t mode = 0;  // 0: ask
    bool quiet = false;
    bool timings = false;
    int threads = 0;  // 0: default
    std::string initial_state, save_state;
    bool any_state_date = false;
    bool csv = false;
    bool text = true;    // the fixed-width files
    std::string netcdf;  // "" : none
    std::vector<std::string> save_state_at;
    std::string save_state_at_source = "--save-state-at";
    std::vector<std::pair<std::string, float>> parameters;  // from a run file
    std::string run_file;
};

const CommandLineSpec kCommandLine{
    "gridrun",
    "Usage: gridrun [--project DIR] [--mode 1|2] [--quiet] [--threads N] [--timings]\n"
    "               [--csv] [--netcdf FILE] [--no-wait] [--recover]\n"
    "               [--initial-state FILE [--any-state-date]] [--save-state FILE]\n"
    "               [--save-state-at DATE,...] [--config RUNFILE]\n",
    "Simulates the water balance of every cell of a basin and routes it to the outlets. Without options it runs "
    "from a working folder two levels below the project root (for example PROJECT/run/here) and asks for the run "
    "mode.",
    ""};

int thread_count(const std::string& text, const char* source) {
    int32_t n = 0;
    if (!parse_int32(text, n) || n < 1 || n > 1024)
        throw UsageError(std::string(source) + " must be a whole number from 1 to 1024, not \"" + text + "\"");
    return n;
}

std::string file_name(const OptionValues& v, const char* option) {
    if (v[0].empty()) throw UsageError(std::string(option) + " needs a file name");
    return v[0];
}

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        items.push_back(text.substr(start, comma - start));
    items.push_back(text.substr(start));
    return items;
}

std::vector<CommandOption> option_table(Options& o) {
    std::vector<CommandOption> t = project_run_options(o.project);
    const std::vector<CommandOption> own = {
        {"--mode", "1|2",
         "1: cells drain straight to the basin outlet; 2: cells drain to their subbasin outlet and the river carries "
         "the water on. No menu.",
         [&o](const OptionValues& v) {
             if (v[0] != "1" && v[0] != "2") throw UsageError("--mode must be 1 or 2, not \"" + v[0] + "\"");
             o.mode = v[0] == "1" ? 1 : 2;
         }},
        {"--quiet", "",
         "nothing on the console but errors and warnings (no title, no progress line per cell, no progress bar)",
         [&o](const OptionValues&) { o.quiet = true; }},
        {"--csv", "",
         "also write q_tot.csv, balance.csv and (run mode 2) q_sub.csv: a column time (ISO 8601), then the text "
         "file's columns, values in full precision",
         [&o](const OptionValues&) { o.csv = true; }},
        {"--netcdf", "FILE", "also write every series and map into one NetCDF-4 file (CF-1.8)",
         [&o](const OptionValues& v) {
             o.netcdf = file_name(v, "--netcdf");
             if (!netcdf_available())
                 throw UsageError(
                     "--netcdf is not available: this gridrun was built without the netCDF library "
                     "(install it with: sudo apt-get install -y libnetcdf-dev, then build again)");
         }},
        {"--threads", "N",
         "number of threads of the cell loop (default: all hardware threads, or the environment variable "
         "GRIDRUN_THREADS); results are identical for every number of threads",
         [&o](const OptionValues& v) { o.threads = thread_count(v[0], "--threads"); }},
        {"--timings", "",
         "print the time of each phase (input, cell loop, routing, output) and the cell kernel used to standard "
         "error at the end",
         [&o](const OptionValues&) { o.timings = true; }},
        {"--initial-state", "FILE",
         "start from a state saved by --save-state (a run of the series just before this run's) instead of the "
         "control file's initial moisture and groundwater and the first month's snow",
         [&o](const OptionValues& v) { o.initial_state = file_name(v, "--initial-state"); }},
        {"--any-state-date", "",
         "start from the --initial-state even when it was saved after another step than the one just before this "
         "run's first step",
         [&o](const OptionValues&) { o.any_state_date = true; }},
        {"--save-state", "FILE",
         "save the state after the last step (cell stores, groundwater, flow still on its way) for a later run to "
         "go on from",
         [&o](const OptionValues& v) { o.save_state = file_name(v, "--save-state"); }},
        {"--save-state-at", "DATE,...",
         "also save the state after each step of these dates (2020-06-30T23:00, or 2020-06-30 for hour 0), each in a "
         "file named after --save-state's (or \"state\") with the date added: end-2020-2020-06-30T23.state",
         [&o](const OptionValues& v) { o.save_state_at = split_list(v[0]); }},
        {"--config", "RUNFILE",
         "take the run from a run file (TOML: project, mode, threads, [parameters], [output], [state]; see "
         "docs/run-file.md); options given on the command line override the file",
         [&o](const OptionValues& v) { o.run_file = file_name(v, "--config"); }},
    };
    t.insert(t.begin() + 1, own.begin(), own.end());  // after --project, before --no-wait and --recover
    return t;
}

// The run file's values where the command line gave none.
void take_run_file(const std::string& path, const std::set<std::string>& given, Options& o) {
    if (!run_files_available())
        throw UsageError(
            "--config is not available: this gridrun was built without the toml++ library "
            "(install it with: sudo apt-get install -y libtomlplusplus-dev, then build again)");
    RunFile f;
    try {
        f = read_run_file(path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gridrun: error: %s\n", printable(e.what()).c_str());
        std::exit(1);
    }
    auto unset = [&](const char* option) { return given.count(option) == 0; };
    if (unset("--project") && !f.project.empty()) o.project.paths.root = project_root_argument(f.project);
    if (unset("--mode")) o.mode = f.mode ? f.mode : 2;  // a run file runs unattended: mode 2 unless it says
    if (unset("--threads") && f.threads) o.threads = f.threads;
    if (unset("--csv")) o.csv = f.csv;
    o.text = f.text;
    if (unset("--netcdf") && !f.netcdf.empty()) {
        if (!netcdf_available())
            throw UsageError(path +
                             ": [output] netcdf is not available: this gridrun was built without the netCDF "
                             "library (install it with: sudo apt-get install -y libnetcdf-dev, then build again)");
        o.netcdf = f.netcdf;
    }
    if (unset("--initial-state")) o.initial_state = f.initial_state;
    if (unset("--save-state")) o.save_state = f.save_state;
    if (unset("--save-state-at") && !f.save_at.empty()) {
        o.save_state_at = f.save_at;
        o.save_state_at_source = path + ": [state] save_at";
    }
    o.parameters = f.parameters;
}

Options parse_options(int argc, char** argv) {
    Options o;
    // Each row notes that its option was given: a run file fills in only the others.
    std::set<std::string> given;
    std::vector<CommandOption> table = option_table(o);
    for (CommandOption& row : table)
        row.apply = [&given, name = std::string(row.name), apply = row.apply](const OptionValues& v) {
            given.insert(name);
            apply(v);
        };
    read_command_line(kCommandLine, table, argc, argv);
    try {
        if (!o.run_file.empty()) take_run_file(o.run_file, given, o);
        if (o.any_state_date && o.initial_state.empty()) throw UsageError("--any-state-date needs --initial-state");
    } catch (const UsageError& e) {
        std::fputs(usage_error_text(kCommandLine, e.what()).c_str(), stderr);
        std::exit(2);
    }
    if (o.threads == 0) {
        try {
            if (const char* env = std::getenv("GRIDRUN_THREADS"); env && *env)
                o.threads = thread_count(env, "GRIDRUN_THREADS");
            else
                o.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        } catch (const UsageError& e) {
            std::fputs(usage_error_text(kCommandLine, e.what()).c_str(), stderr);
            std::exit(2);
        }
    }
    return o;
}

// A kernel asked for by name that this processor does not have is said, not
// silently replaced.
void warn_of_unknown_kernel() {
    const char* wanted = std::getenv("HYDRO_CELL_KERNEL");
    if (!wanted || !*wanted) return;
    const std::vector<std::string> names = cell_kernel_names();
    if (std::find(names.begin(), names.end(), wanted) != names.end()) return;
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
    std::fprintf(stderr,
                 "gridrun: warning: HYDRO_CELL_KERNEL=%s names no cell kernel of this processor (%s); using %s\n",
                 printable(wanted).c_str(), list.c_str(), cell_kernel_name());
}

// The places --netcdf and --save-state name, checked before anything is
// read or written; what stopped runs left beside them is removed.
std::vector<Destination> checked_destinations(const Options& options) {
    std::vector<Destination> d;
    if (!options.netcdf.empty()) d.push_back({"--netcdf", options.netcdf, FileKind::netcdf});
    if (!options.save_state.empty()) d.push_back({"--save-state", options.save_state, FileKind::state});
    check_destinations(d, options.project.paths);
    for (const Destination& place : d) remove_stale_temporaries(place.path);
    return d;
}

// The states saved during the run are results like the others: their places
// are checked with the other places and their files begun before the run,
// and they are renamed with the rest. Returns the file of each step.
std::map<std::size_t, ResultFile*> begin_dated_states(const Options& options, const Model& model,
                                                      const std::vector<std::size_t>& steps,
                                                      std::vector<Destination> places, ResultSet& results) {
    const std::size_t first = places.size();
    for (std::size_t t : steps)
        places.push_back(
            {"--save-state-at", dated_state_path(options.save_state, model.inputs.calendar.date(t)), FileKind::state});
    check_destinations(places, options.project.paths);
    std::map<std::size_t, ResultFile*> files;
    for (std::size_t k = first; k < places.size(); ++k) {
        remove_stale_temporaries(places[k].path);
        files[steps[k - first]] = &begin_state_file(results, places[k].path);
    }
    return files;
}

// The run mode from --mode or the menu; 0: the user chose to return.
int32_t choose_run_mode(const Options& options) {
    int32_t run_mode = options.mode;
    if (run_mode == 0) {
        write_menu();
        run_mode = read_run_mode();
        if (run_mode != 1 && run_mode != 2) return 0;
        if (!options.quiet) write_run_title(run_mode, true);
    } else {
        if (!options.quiet) write_run_title(run_mode, false);
    }
    return run_mode;
}

// The warnings and timings that follow a finished run on standard error.
void report_run(const Options& options, const PhaseTimes& times, double total_seconds, const TextResults& text,
                const NonFiniteReport& report) {
    if (options.timings)
        std::fprintf(stderr,
                     "gridrun: timings (s): scan %.3f, input %.3f, cell loop %.3f, routing %.3f, output %.3f, "
                     "total %.3f, threads %d, cell kernel %s\n",
                     times.scan, times.input, times.cell_loop, times.second_pass, times.output, total_seconds,
                     options.threads, cell_kernel_name());
    for (const std::string& w : text.overflow_warnings())
        std::fprintf(stderr, "gridrun: warning: %s\n", printable(w).c_str());
    if (report.found)
        std::fprintf(stderr,
                     "gridrun: warning: the results hold values that are not finite numbers; the first "
                     "appeared at %s. Check the parameters there.\n",
                     report.where.c_str());
}

int run(const Options& options) {
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const ProjectRun project(options.project, "gridrun");
    if (const int status = project.answer_recover_only(); status >= 0) return status;
    const ProjectPaths& paths = options.project.paths;
    const std::vector<Destination> places = checked_destinations(options);
    warn_of_unknown_kernel();
    // The grid size is read before the menu: a missing subbasin grid stops the run at once.
    read_grid_geometry(paths.grid("watershed.asc"));
    const int32_t run_mode = choose_run_mode(options);
    if (run_mode == 0) return 0;
    PhaseTimes times;
    // The series are read a tile at a time: long series of many stations fit in little memory.
    const Model model = load_model(paths, run_mode, &times, SeriesReading::by_tile);
    for (const std::string& w : input_warnings(model))
        std::fprintf(stderr, "gridrun: warning: %s\n", printable(w).c_str());
    Parameters parameters = default_parameters(model);
    for (const auto& [name, value] : options.parameters) set_parameter(parameters, name, value);
    std::optional<ModelState> initial;
    if (!options.initial_state.empty()) initial = load_state(options.initial_state, model, options.any_state_date);
    const std::string crs = read_projection_text(projection_path(paths.grid("watershed.asc")));
    // Every format's files and the states, replacing the earlier ones together.
    ResultSet results(paths.output_folder());
    ResultFile* state_file = options.save_state.empty() ? nullptr : &begin_state_file(results, options.save_state);
    TextResults text(paths, &results);
    text.set_map_projection(crs);
    SimulationOptions run;
    run.times = &times;
    run.threads = options.threads;
    run.progress = options.quiet ? nullptr : stdout;
    run.flush_progress = ::isatty(STDOUT_FILENO) != 0;
    if (options.text) run.sinks.push_back(&text);
    std::unique_ptr<CsvResults> csv;
    if (options.csv) run.sinks.push_back((csv = std::make_unique<CsvResults>(paths, results)).get());
    std::unique_ptr<NetcdfResults> netcdf;
    if (!options.netcdf.empty())
        run.sinks.push_back((netcdf = std::make_unique<NetcdfResults>(
                                 options.netcdf, results, read_grid_georeference(paths.grid("watershed.asc")), crs,
                                 "gridrun " HYDRO_VERSION))
                                .get());
    std::unique_ptr<ProgressLine> bar;
    if (!options.quiet && ::isatty(STDERR_FILENO)) {
        bar = std::make_unique<ProgressLine>(stderr);
        run.on_progress = [&bar](double share) { bar->update(share); };
    }
    run.initial_state = initial ? &*initial : nullptr;
    run.keep_final_state = !options.save_state.empty();
    // States during the run, each named by its step's date.
    run.state_after_steps = steps_at_dates(options.save_state_at, model.inputs.calendar, options.save_state_at_source);
    const std::map<std::size_t, ResultFile*> dated_states =
        begin_dated_states(options, model, run.state_after_steps, places, results);
    run.on_state = [&](std::size_t t, const ModelState& state) { write_state(*dated_states.at(t), model, state, t); };
    const SimulationOutcome outcome = simulate(model, parameters, run);
    bar.reset();
    if (state_file) write_state(*state_file, model, *outcome.final_state, model.inputs.calendar.size() - 1);
    results.commit();
    if (finish_standard_output("gridrun") != 0) return 1;
    report_run(options, times, std::chrono::duration<double>(clock::now() - start).count(), text, outcome.non_finite);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse_options(argc, argv);
    return run_reporting_errors("gridrun", [&options] { return run(options); });
}
