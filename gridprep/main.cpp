// gridprep: makes a ready project for gridrun and areamean from a digital
// elevation model, a list of stations and (optionally) soil and land-cover
// classes.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "input_error.hpp"
#include "prep_options.hpp"
#include "prep_pipeline.hpp"

#ifndef HYDRO_VERSION
#define HYDRO_VERSION "0.1.0"
#endif

int main(int argc, char** argv) {
    using namespace gridprep;
    PrepOptions options;
    try {
        options = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "gridprep: %s (see gridprep --help)\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("gridprep %s\n", HYDRO_VERSION);
        return 0;
    }
    try {
        const PrepSummary summary = make_project(options);
        std::fputs(summary_text(options, summary).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const hydro::InputError& e) {
        std::fprintf(stderr, "gridprep: error: %s\n", e.what());
    } catch (const hydro::OutputError& e) {
        std::fprintf(stderr, "gridprep: error: %s\n", e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gridprep: internal error: %s\n", e.what());
    }
    return 1;
}
