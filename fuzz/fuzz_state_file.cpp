// Fuzz target: the state file reader, against the expectation of a small
// project (2 x 3 grid, 4 cells, 2 subbasins). Whatever the bytes, a state is
// refused with a message naming the file, or read back with one value per
// cell and subbasin, no more routed flow than the project's responses hold,
// and every value finite and inside its range.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "input_error.hpp"
#include "state_file_format.hpp"

using fuzz_support::fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path = "after.state";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    hydro::StateExpectation e;
    e.run_mode = 2, e.rows = 2, e.cols = 3, e.cells = 4, e.subbasins = 2;
    e.max_cell_tail_values = 12, e.max_outlet_tail = 5;
    try {
        const hydro::SavedState s = hydro::parse_state(path, bytes, e);
        const hydro::ModelState& m = s.state;
        if (size > hydro::largest_state_size(e)) fail("a state larger than the largest", std::to_string(size));
        if (m.soil_moisture.size() != 4 || m.groundwater.size() != 2 || m.tail_offset.size() != 5)
            fail("state lengths", std::to_string(m.soil_moisture.size()));
        if (m.surface_tail.size() > 12 || m.outlet_groundwater_tail.size() > 5) fail("tails", "too long");
        for (const auto* v : {&m.soil_moisture, &m.snow, &m.surface_tail, &m.groundwater, &m.outlet_surface_tail})
            for (float x : *v)
                if (!std::isfinite(x)) fail("state value", "not finite");
    } catch (const hydro::InputError& err) {
        fuzz_support::check_message(err, path);
    }
    // Encoding what was read gives a file that reads back.
    hydro::ModelState m;
    m.run_mode = 2;
    m.soil_moisture = m.snow = m.canopy = m.depression = {1, 2, 3, size > 0 ? float(data[0]) : 0.0f};
    m.tail_offset = {0, 1, 1, 2, 3};
    m.surface_tail = m.interflow_tail = {0.5f, 0.25f, 0.0f};
    m.groundwater = {10, 20};
    const std::string encoded = hydro::encode_state(m, 2, 3, {2020, 1, 1, 0});
    if (hydro::parse_state(path, encoded, e).state.soil_moisture != m.soil_moisture) fail("round trip", "differs");
    return 0;
}
