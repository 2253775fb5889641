#include "model_state_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "calendar.hpp"
#include "cell_loop.hpp"
#include "input_error.hpp"
#include "outlet_routing.hpp"
#include "system_calls.hpp"

namespace hydro {

namespace {

StateDate date_of_step(const Model& model, std::size_t step) {
    const StepCalendar& c = model.inputs.calendar;
    if (step >= c.size()) return {};
    return {c.year[step], c.month[step], c.day[step], c.hour[step]};
}

std::string date_text(const StateDate& d) {
    char b[64];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d hour %d", d.year, d.month, d.day, d.hour);
    return b;
}

double hours_of(const StateDate& d) {
    return static_cast<double>(civil_day_number(d.year, d.month, d.day)) * 24.0 + d.hour;
}

// The whole file, read only when it is a regular file no larger than a state
// of this project can be.
std::string read_state_bytes(const std::string& path, const StateExpectation& expect) {
    const uint64_t largest = largest_state_size(expect);
    const char* expected = "a state file saved by gridrun --save-state";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw InputError(path, 0, expected, std::string("no readable file (") + std::strerror(errno) + ")");
    struct stat st {};
    std::string data;
    try {
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) throw InputError(path, 0, expected, "a folder");
        if (!S_ISREG(st.st_mode)) throw InputError(path, 0, expected, "a FIFO, device or socket");
        // A file larger than any state of the project: its header says what it is.
        const bool too_large = static_cast<uint64_t>(st.st_size) > largest;
        data.resize(too_large ? std::size_t{64} : static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < data.size()) {
            const ssize_t n = ::read(fd, data.data() + got, system_calls::io_bytes(data.size() - got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0)
                throw InputError(path, 0, expected, std::string("a file that cannot be read: ") + std::strerror(errno));
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        data.resize(got);
        if (too_large) {
            check_state_header(path, data, expect);
            throw InputError(path, 0, "a state file of at most " + std::to_string(largest) + " bytes for this project",
                             "a file of " + std::to_string(st.st_size) + " bytes");
        }
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return data;
}

}  // namespace

StateExpectation state_expectation(const Model& model) {
    const ModelInputs& in = model.inputs;
    StateExpectation e;
    e.run_mode = in.sizes.run_mode;
    e.rows = in.sizes.n_rows;
    e.cols = in.sizes.n_cols;
    const std::size_t cells = valid_cells(in.catchment, in.sizes.n_rows, in.sizes.n_cols).size();
    e.cells = static_cast<int32_t>(cells);
    e.subbasins = in.sizes.n_subbasins;
    const std::size_t unlimited = std::numeric_limits<std::size_t>::max();
    e.max_cell_tail_values = cell_tail_offsets(in.cell_responses, cells, unlimited).back();
    e.max_outlet_tail = river_tail_length(in.river_responses, unlimited);
    return e;
}

ResultFile& begin_state_file(ResultSet& results, const std::string& path) { return results.create(path); }

void write_state(ResultFile& file, const Model& model, const ModelState& state, std::size_t last_step) {
    const ModelInputs& in = model.inputs;
    file.write(encode_state(state, in.sizes.n_rows, in.sizes.n_cols, date_of_step(model, last_step)));
    file.finish();
}

void save_state(const std::string& path, const Model& model, const ModelState& state, std::size_t last_step) {
    ResultSet files;
    const std::size_t steps = model.inputs.calendar.size();
    write_state(begin_state_file(files, path), model, state, std::min(last_step, steps > 0 ? steps - 1 : 0));
    files.commit();
}

ModelState load_state(const std::string& path, const Model& model, bool any_date) {
    const StateExpectation expect = state_expectation(model);
    SavedState saved = parse_state(path, read_state_bytes(path, expect), expect);
    if (!any_date && model.inputs.calendar.size() > 0) {
        const StateDate first = date_of_step(model, 0);
        const double step_hours = model.inputs.control.time_step_hours;
        if (hours_of(saved.last_step) + step_hours != hours_of(first))
            throw InputError(path, 0,
                             "a state saved after the step before this run's first step " + date_text(first) +
                                 " (time step " + std::to_string(std::lround(step_hours)) + " h)",
                             "a state saved after " + date_text(saved.last_step) +
                                 "; give --any-state-date to start from it all the same");
    }
    return std::move(saved.state);
}

}  // namespace hydro
