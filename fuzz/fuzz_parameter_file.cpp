// Fuzz target: the calibration's parameters file (CSV name,lower,upper[,initial]).
// A file is refused with a message naming it and its line, or read into known,
// distinct names with finite bounds, lower below upper, and an initial value
// (when given) between them.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "input_error.hpp"
#include "parameter_file.hpp"

using fuzz_support::fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string name = "parameters.csv";
    const std::vector<std::string> known = {"pet_factor", "interflow_scale", "conductivity_multiplier"};
    try {
        const std::vector<hydro::ParameterRange> ranges =
            hydro::parse_parameter_file(name, std::string_view(reinterpret_cast<const char*>(data), size), known);
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            const hydro::ParameterRange& r = ranges[i];
            if (!(std::isfinite(r.lower) && std::isfinite(r.upper) && r.lower < r.upper)) fail("bounds", r.name);
            if (r.initial && !(*r.initial >= r.lower && *r.initial <= r.upper)) fail("initial", r.name);
            for (std::size_t j = 0; j < i; ++j)
                if (ranges[j].name == r.name) fail("a name twice", r.name);
        }
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, name);
    }
    return 0;
}
