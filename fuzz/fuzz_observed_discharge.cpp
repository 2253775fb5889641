// Fuzz target: the observed discharge reader (CSV date,discharge). A file is
// refused with a message naming it and its line, or read into records in
// strictly increasing order of date with discharges that are missing (NaN)
// or finite and not negative.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "input_error.hpp"
#include "observed_discharge.hpp"

using fuzz_support::fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string name = "gauge.csv";
    try {
        const hydro::ObservedDischarge o =
            hydro::parse_observed_discharge(name, std::string_view(reinterpret_cast<const char*>(data), size));
        for (std::size_t i = 0; i < o.records.size(); ++i) {
            const double q = o.records[i].discharge;
            if (!std::isnan(q) && (!std::isfinite(q) || q < 0)) fail("discharge", std::to_string(q));
        }
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, name);
    }
    return 0;
}
