// Fuzz target: the control file reader in its three readings (the dimension
// scan, the model, the areal averaging). Where two readings both accept a
// file they must agree on what they share: the degree-day factor, and so
// whether temperature is used.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "calendar.hpp"
#include "control_file.hpp"
#include "fuzz_support.hpp"
#include "input_error.hpp"

using fuzz_support::fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::as_file(data, size, "input.txt");

    std::optional<hydro::ControlFileSizes> scan;
    try {
        scan = hydro::scan_control_file(path);
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, path);
    }

    std::optional<hydro::ControlFile> model;
    try {
        model = hydro::read_control_file(path, 8);
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, path);
    }
    // With no limit from the subbasins, a count must still never allocate
    // beyond what the file holds.
    try {
        hydro::read_control_file(path, std::numeric_limits<int32_t>::max());
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, path);
    }

    std::optional<int32_t> degree_day_factor;
    try {
        degree_day_factor = hydro::read_degree_day_factor(path);
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, path);
    }

    if (scan) {
        if (scan->n_reported_subbasins < 0) fail("scan", "negative reported count");
        for (int32_t n : scan->n_periods)
            if (n < 0) fail("scan", "negative period count");
    }
    if (model) {
        if (model->reported_subbasins.size() > 8) fail("model", "more reported subbasins than subbasins");
        if (scan && (scan->degree_day_factor >= 0) != model->temperature_used())
            fail("scan and model", "disagree on the use of temperature");
    }
    if (scan && degree_day_factor && *degree_day_factor != scan->degree_day_factor)
        fail("scan and areal averaging", "read different degree-day factors");
    return 0;
}
