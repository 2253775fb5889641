// gridprep: makes a ready project for gridrun and areamean from a digital
// elevation model, a list of stations and (optionally) soil and land-cover
// classes.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "input_error.hpp"
#include "input_file.hpp"
#include "prep_options.hpp"
#include "prep_pipeline.hpp"

#ifndef HYDRO_VERSION
#define HYDRO_VERSION "0.1.0"
#endif

namespace {

// One line on standard error, with any control character of a path or a
// value shown as \xNN.
void report(const char* kind, const char* what) {
    std::fprintf(stderr, "gridprep: %s%s\n", kind, gridprep::printable_path(what).c_str());
}

// Standard output that cannot take the text (a full disk, a closed pipe)
// is an error, not a silent loss.
int finish_output(const std::string& text) {
    errno = 0;
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    const int e = errno;
    std::fprintf(stderr, "gridprep: error: cannot write to standard output: %s\n",
                 e ? std::strerror(e) : "write error");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace gridprep;
    PrepOptions options;
    try {
        options = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        report("", (std::string(e.what()) + " (see gridprep --help)").c_str());
        return 2;
    }
    if (options.help) return finish_output(usage_text());
    if (options.version) return finish_output("gridprep " + std::string(HYDRO_VERSION) + "\n");
    try {
        const PrepSummary summary = make_project(options);
        return finish_output(summary_text(options, summary));
    } catch (const hydro::InputError& e) {
        report("error: ", e.what());
    } catch (const hydro::OutputError& e) {
        report("error: ", e.what());
    } catch (const std::bad_alloc&) {
        report("error: ", "not enough memory for this DEM and these options");
    } catch (const std::exception& e) {
        report("internal error: ", e.what());
    }
    return 1;
}
