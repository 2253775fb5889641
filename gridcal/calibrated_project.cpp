#include "calibrated_project.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cell_loop.hpp"
#include "control_values.hpp"
#include "grid_rewrite.hpp"
#include "grid_table.hpp"
#include "input_error.hpp"
#include "text_output.hpp"

namespace hydro {

namespace fs = std::filesystem;

namespace {

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError(path, 0, "a readable file", "none that can be opened");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A multiplied grid value as the model uses it: scaled at the cells the
// model runs on, clipped to the grid's physical range, the rest as written.
float scaled_value(const Catchment& as_read, std::size_t grid, std::size_t index, float value, float multiplier) {
    if (!is_valid_cell(as_read, index)) return value;
    float x = value * multiplier;
    if (x < kGridTable[grid].low) x = kGridTable[grid].low;
    if (x > kGridTable[grid].high) x = kGridTable[grid].high;
    return x;
}

}  // namespace

void write_calibrated_project(const Model& model, const Parameters& best, const std::string& output) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(model.paths.root)) {
        fs::copy(e.path(), fs::path(output) / e.path().filename(),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
        if (ec) throw OutputError("cannot copy " + e.path().string() + " to " + output + ": " + ec.message());
    }
    ProjectPaths out;
    out.root = output;

    // The writer of the parameter line: a changed value in full float precision, the others as written.
    std::vector<std::string> values(kControlParameterCount);
    const Parameters project = default_parameters(model);
    for (const ControlParameter& c : kControlParameters) {
        const float v = best.*c.field;
        if (v != project.*c.field) {
            char b[40];
            std::snprintf(b, sizeof b, "%.9g", static_cast<double>(v));
            values[static_cast<std::size_t>(c.position - 1)] = b;
        }
    }
    const std::string control = out.input("input.txt");
    write_text_file(control, with_parameter_record(control, read_whole(control), values));

    for (std::size_t g = 0; g < kParameterGridCount; ++g) {
        const float m = best.grid_multiplier[g];
        if (m == 1.0f) continue;
        const GridDescription& d = kGridTable[g];
        const std::string path = out.grid(d.file);
        const std::string text = read_whole(path);
        const Catchment& raw = model.inputs.catchment_as_read;
        write_text_file(path, with_grid_values(path, text, raw.n_rows, raw.n_cols, [&](std::size_t index, float v) {
                            return scaled_value(raw, g, index, v, m);
                        }));
    }
}

}  // namespace hydro
