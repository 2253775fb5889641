// gridrun: grid-based, fully distributed rainfall-runoff model of a river
// basin. Started from a working folder two levels below the project root (or
// given the root with --project), it reads the basin's grids, the control
// file, the station series and the precomputed responses, asks for the
// routing scheme, simulates every cell and step, and writes the outlet
// hydrograph, the basin water balance, the reported subbasin outflows and the
// maps of the control file's periods.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <cstdlib>
#include <exception>
#include <iostream>
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
#include "project_check.hpp"
#include "output_lock.hpp"
#include "project_paths.hpp"
#include "csv_results.hpp"
#include "grid_georeference.hpp"
#include "netcdf_results.hpp"
#include "progress_line.hpp"
#include "result_set.hpp"
#include "run_file.hpp"
#include "state_dates.hpp"
#include "text_results.hpp"

namespace {

using namespace hydro;

const char* const kUsage =
    "Usage: gridrun [--project DIR] [--mode 1|2] [--quiet] [--threads N] [--timings]\n"
    "               [--csv] [--netcdf FILE] [--no-wait] [--recover]\n"
    "               [--initial-state FILE] [--save-state FILE] [--save-state-at DATE,...]\n"
    "               [--config RUNFILE]\n"
    "\n"
    "Simulates the water balance of every cell of a basin and routes it to the outlets.\n"
    "Without options it runs from a working folder two levels below the project root\n"
    "(for example PROJECT/run/here) and asks for the run mode.\n"
    "\n"
    "  --project DIR  the project root (holding arcview/ and model/) instead of ../..\n"
    "  --mode 1|2     1: cells drain straight to the basin outlet; 2: cells drain to\n"
    "                 their subbasin outlet and the river carries the water on. No menu.\n"
    "  --quiet        nothing on the console but errors and warnings (no title, no\n"
    "                 progress line per cell, no progress bar)\n"
    "  --csv          also write q_tot.csv, balance.csv and (run mode 2) q_sub.csv:\n"
    "                 a column time (ISO 8601), then the text file's columns, values\n"
    "                 in full precision\n"
    "  --netcdf FILE  also write every series and map into one NetCDF-4 file (CF-1.8)\n"
    "  --threads N    number of threads of the cell loop (default: all hardware threads,\n"
    "                 or the environment variable GRIDRUN_THREADS); results are identical\n"
    "                 for every number of threads\n"
    "  --timings      print the time of each phase (input, cell loop, routing, output)\n"
    "                 and the cell kernel used to standard error at the end\n"
    "  --no-wait      refuse to run while another run (gridrun or areamean) writes to\n"
    "                 the project's output folder, instead of waiting for it\n"
    "  --recover      only complete the results of a run that was stopped while it\n"
    "                 replaced them (every run does this first), then exit\n"
    "  --initial-state FILE  start from a state saved by --save-state (a run of the\n"
    "                 series just before this run's) instead of the control file's\n"
    "                 initial moisture and groundwater and the first month's snow\n"
    "  --save-state FILE  save the state after the last step (cell stores, groundwater,\n"
    "                 flow still on its way) for a later run to go on from\n"
    "  --save-state-at DATE,...  also save the state after each step of these dates\n"
    "                 (2020-06-30T23:00, or 2020-06-30 for hour 0), each in a file named\n"
    "                 after --save-state's (or \"state\") with the date added:\n"
    "                 end-2020-2020-06-30T23.state\n"
    "  --config RUNFILE  take the run from a run file (TOML: project, mode, threads,\n"
    "                 [parameters], [output], [state]; see docs/run-file.md); options\n"
    "                 given on the command line override the file\n"
    "  --help         this text\n"
    "  --version      the program's version\n";

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
    ProjectPaths paths;
    int32_t mode = 0;  // 0: ask
    bool quiet = false;
    bool timings = false;
    int threads = 0;  // 0: default
    bool wait = true;
    std::string initial_state, save_state;
    bool recover_only = false;
    bool csv = false;
    bool text = true;    // the fixed-width files
    std::string netcdf;  // "" : none
    std::vector<std::string> save_state_at;
    std::string save_state_at_source = "--save-state-at";
    std::vector<std::pair<std::string, float>> parameters;  // from a run file
};

[[noreturn]] void usage_error(const std::string& what) {
    std::fprintf(stderr, "gridrun: %s\n\n%s", printable(what).c_str(), kUsage);
    std::exit(2);
}

int parse_thread_count(const std::string& text, const char* source) {
    int32_t n = 0;
    if (!parse_int32(text, n) || n < 1 || n > 1024)
        usage_error(std::string(source) + " must be a whole number from 1 to 1024, not \"" + text + "\"");
    return n;
}

// The run file's values where the command line gave none.
void take_run_file(const std::string& path, const std::set<std::string>& given, Options& o) {
    if (!run_files_available())
        usage_error(
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
    if (unset("--project") && !f.project.empty()) o.paths.root = f.project;
    if (unset("--mode")) o.mode = f.mode ? f.mode : 2;  // a run file runs unattended: mode 2 unless it says
    if (unset("--threads") && f.threads) o.threads = f.threads;
    if (unset("--csv")) o.csv = f.csv;
    o.text = f.text;
    if (unset("--netcdf") && !f.netcdf.empty()) {
        if (!netcdf_available())
            usage_error(path +
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

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        items.push_back(text.substr(start, comma - start));
    items.push_back(text.substr(start));
    return items;
}

Options parse_options(int argc, char** argv) {
    Options o;
    std::set<std::string> given;
    std::string run_file;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], value;
        const std::size_t eq = arg.find('=');
        const bool has_inline = arg.rfind("--", 0) == 0 && eq != std::string::npos;
        if (has_inline) value = arg.substr(eq + 1), arg = arg.substr(0, eq);
        given.insert(arg);
        auto take_value = [&]() -> std::string {
            if (has_inline) return value;
            if (i + 1 >= argc) usage_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--version") {
            std::printf("gridrun %s\n", HYDRO_VERSION);
            std::exit(0);
        } else if (arg == "--project") {
            o.paths.root = take_value();
        } else if (arg == "--mode") {
            const std::string v = take_value();
            if (v != "1" && v != "2") usage_error("--mode must be 1 or 2, not \"" + v + "\"");
            o.mode = v == "1" ? 1 : 2;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--no-wait") {
            o.wait = false;
        } else if (arg == "--recover") {
            o.recover_only = true;
        } else if (arg == "--csv") {
            o.csv = true;
        } else if (arg == "--netcdf") {
            o.netcdf = take_value();
            if (o.netcdf.empty()) usage_error("--netcdf needs a file name");
            if (!netcdf_available())
                usage_error(
                    "--netcdf is not available: this gridrun was built without the netCDF library "
                    "(install it with: sudo apt-get install -y libnetcdf-dev, then build again)");
        } else if (arg == "--initial-state") {
            o.initial_state = take_value();
            if (o.initial_state.empty()) usage_error("--initial-state needs a file name");
        } else if (arg == "--save-state") {
            o.save_state = take_value();
            if (o.save_state.empty()) usage_error("--save-state needs a file name");
        } else if (arg == "--save-state-at") {
            o.save_state_at = split_list(take_value());
        } else if (arg == "--config") {
            run_file = take_value();
            if (run_file.empty()) usage_error("--config needs a file name");
        } else if (arg == "--timings") {
            o.timings = true;
        } else if (arg == "--threads") {
            o.threads = parse_thread_count(take_value(), "--threads");
        } else {
            usage_error("unknown option \"" + printable(argv[i]) + "\"");
        }
    }
    if (!run_file.empty()) take_run_file(run_file, given, o);
    if (o.threads == 0) {
        if (const char* env = std::getenv("GRIDRUN_THREADS"); env && *env)
            o.threads = parse_thread_count(env, "GRIDRUN_THREADS");
        else
            o.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse_options(argc, argv);
    treat_file_size_limit_as_write_error();
    try {
        using clock = std::chrono::steady_clock;
        const auto start = clock::now();
        check_project_root(options.paths, options.paths.root == ProjectPaths{}.root ? "" : "--project");
        const OutputFolderLock lock(options.paths.output_folder(), options.wait, "gridrun");
        const RecoveryReport recovered = recover_result_sets(options.paths.output_folder());
        if (options.recover_only) {
            std::printf("gridrun: %s\n", describe_recovery(recovered, options.paths.output_folder()).c_str());
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        // The grid size is read before the menu: a missing subbasin grid stops the run at once.
        read_grid_geometry(options.paths.grid("watershed.asc"));
        int32_t run_mode = options.mode;
        if (run_mode == 0) {
            write_menu();
            run_mode = read_run_mode();
            if (run_mode != 1 && run_mode != 2) return 0;
            if (!options.quiet) write_run_title(run_mode, true);
        } else {
            if (!options.quiet) write_run_title(run_mode, false);
        }
        PhaseTimes times;
        const Model model = load_model(options.paths, run_mode, &times);
        for (const std::string& w : input_warnings(model))
            std::fprintf(stderr, "gridrun: warning: %s\n", printable(w).c_str());
        Parameters parameters = default_parameters(model);
        for (const auto& [name, value] : options.parameters) set_parameter(parameters, name, value);
        std::optional<ModelState> initial;
        if (!options.initial_state.empty()) initial = load_state(options.initial_state, model);
        const std::string crs = read_projection_text(projection_path(options.paths.grid("watershed.asc")));
        ResultSet results;  // every format's files, replacing the earlier ones together
        TextResults text(options.paths, &results);
        text.set_map_projection(crs);
        SimulationOptions run;
        run.times = &times;
        run.threads = options.threads;
        run.progress = options.quiet ? nullptr : stdout;
        run.flush_progress = ::isatty(STDOUT_FILENO) != 0;
        if (options.text) run.sinks.push_back(&text);
        std::unique_ptr<CsvResults> csv;
        if (options.csv) run.sinks.push_back((csv = std::make_unique<CsvResults>(options.paths, results)).get());
        std::unique_ptr<NetcdfResults> netcdf;
        if (!options.netcdf.empty())
            run.sinks.push_back(
                (netcdf = std::make_unique<NetcdfResults>(options.netcdf, results,
                                                          read_grid_georeference(options.paths.grid("watershed.asc")),
                                                          crs, "gridrun " HYDRO_VERSION))
                    .get());
        std::unique_ptr<ProgressLine> bar;
        if (!options.quiet && ::isatty(STDERR_FILENO)) {
            bar = std::make_unique<ProgressLine>(stderr);
            run.on_progress = [&bar](double share) { bar->update(share); };
        }
        run.initial_state = initial ? &*initial : nullptr;
        run.keep_final_state = !options.save_state.empty();
        // States during the run, each named by its step's date.
        run.state_after_steps =
            steps_at_dates(options.save_state_at, model.inputs.calendar, options.save_state_at_source);
        run.on_state = [&](std::size_t t, const ModelState& state) {
            save_state(dated_state_path(options.save_state, model.inputs.calendar.date(t)), model, state, t);
        };
        const SimulationOutcome outcome = simulate(model, parameters, run);
        bar.reset();
        results.commit();
        if (outcome.final_state) save_state(options.save_state, model, *outcome.final_state);
        const NonFiniteReport& report = outcome.non_finite;
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "gridrun: error: cannot write to standard output\n");
            return 1;
        }
        if (options.timings)
            std::fprintf(stderr,
                         "gridrun: timings (s): scan %.3f, input %.3f, cell loop %.3f, routing %.3f, output %.3f, "
                         "total %.3f, threads %d, cell kernel %s\n",
                         times.scan, times.input, times.cell_loop, times.second_pass, times.output,
                         std::chrono::duration<double>(clock::now() - start).count(), options.threads,
                         cell_kernel_name());
        for (const std::string& w : text.overflow_warnings())
            std::fprintf(stderr, "gridrun: warning: %s\n", printable(w).c_str());
        if (report.found)
            std::fprintf(stderr,
                         "gridrun: warning: the results hold values that are not finite numbers; the first "
                         "appeared at %s. Check the parameters there.\n",
                         report.where.c_str());
        return 0;
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "gridrun: error: not enough memory for the run's arrays: check the sizes the inputs ask "
                     "for (the grids' rows and columns, the number of steps, and in input.txt the map periods)\n");
        return 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "gridrun: error: %s\n", printable(e.what()).c_str());
        return 1;
    }
}
