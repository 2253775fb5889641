#include "control_file.hpp"

#include "calendar.hpp"
#include "free_format.hpp"

namespace hydro {

namespace {

// "the interflow scale (value 1 of the parameter line)"
std::string parameter_text(const ControlParameter& p) {
    return "the " + std::string(p.label) + " (value " + std::to_string(p.position) + " of the parameter line)";
}

// Up to the parameter line: a title, the time step (a number, or with
// `as_number` false any token: the scan only counts), a title.
float read_time_step(FreeFormatReader& in, bool as_number = true) {
    in.begin_read();
    in.token("a title (line 1)");
    in.begin_read();
    float hours = 0;
    if (as_number)
        hours = in.real("the time step in hours");
    else
        in.token("the time step in hours");
    in.begin_read();
    in.token("a title before the parameter line");
    return hours;
}

// The parameter line up to the degree-day factor, the only value the scan and
// the areal averaging take from it (as a whole number).
int32_t read_degree_day_factor_of(FreeFormatReader& in) {
    constexpr const ControlParameter& ddf = control_parameter("degree_day_factor");
    in.begin_read();
    for (int i = 1; i < ddf.position; ++i) in.token(parameter_text(kControlParameters[i - 1]));
    return in.integer(parameter_text(ddf));
}

const char* const kBlockNames[kSnapshotKinds] = {"runoff", "interflow", "recharge", "moisture", "evaporation"};

// A count of reported subbasins or of periods: zero or more.
int32_t read_count(FreeFormatReader& in, const std::string& what) {
    int32_t n = in.integer(what);
    if (n < 0) in.fail(what + " (zero or more)", std::to_string(n));
    return n;
}

}  // namespace

ControlFile read_control_file(const std::string& path, int32_t n_subbasins) {
    FreeFormatReader in(path);
    ControlFile cf;
    cf.time_step_hours = read_time_step(in);
    in.begin_read();
    for (const ControlParameter& p : kControlParameters) cf.*p.field = in.real(parameter_text(p));
    in.check_record_end(kControlParameterCount, "the parameter line", "line");

    in.begin_read();
    in.token("the label of the reported-subbasin count");
    int32_t n_reported = read_count(in, "the number of reported subbasins");
    if (n_reported > n_subbasins)
        in.fail("at most " + std::to_string(n_subbasins) + " reported subbasins (the number of subbasins)",
                std::to_string(n_reported));
    if (n_reported > 0) {
        in.begin_read();
        // Grown as the numbers are read: a count far beyond what the file
        // holds ends at the end of the file, not in a huge allocation.
        for (int32_t p = 0; p < n_reported; ++p)
            cf.reported_subbasins.push_back(
                in.integer("reported subbasin " + std::to_string(p + 1) + " of " + std::to_string(n_reported)));
        in.check_record_end(n_reported, "the list of reported subbasins", "line");
    }

    for (int k = 0; k < kSnapshotKinds; ++k) {
        const std::string block = std::string("the ") + kBlockNames[k] + " map block";
        in.begin_read();
        in.token("the title of " + block);
        in.begin_read();
        int32_t n_periods = read_count(in, "the number of periods of " + block);
        for (int32_t j = 0; j < n_periods; ++j) {
            in.begin_read();
            int32_t f[8];
            static const char* const field[8] = {"start year", "start month", "start day", "start hour",
                                                 "end year",   "end month",   "end day",   "end hour"};
            for (int i = 0; i < 8; ++i)
                f[i] = in.integer(std::string(field[i]) + " of period " + std::to_string(j + 1) + " of " + block);
            in.check_record_end(8, "period " + std::to_string(j + 1) + " of " + block, "period");
            cf.periods[k].push_back({date_code(f[0], f[1], f[2], f[3]), date_code(f[4], f[5], f[6], f[7])});
        }
    }
    return cf;
}

ControlFileSizes scan_control_file(const std::string& path) {
    FreeFormatReader in(path);
    ControlFileSizes sizes;
    read_time_step(in, false);
    sizes.degree_day_factor = read_degree_day_factor_of(in);
    in.begin_read();
    in.token("the label of the reported-subbasin count");
    sizes.n_reported_subbasins = read_count(in, "the number of reported subbasins");
    if (sizes.n_reported_subbasins > 0) {
        in.begin_read();
        in.token("the list of reported subbasins");
    }
    for (int k = 0; k < kSnapshotKinds; ++k) {
        const std::string block = std::string("the ") + kBlockNames[k] + " map block";
        in.begin_read();
        in.token("the title of " + block);
        in.begin_read();
        sizes.n_periods[k] = read_count(in, "the number of periods of " + block);
        for (int32_t j = 0; j < sizes.n_periods[k]; ++j) {
            in.begin_read();
            in.token("period " + std::to_string(j + 1) + " of " + block);
        }
    }
    return sizes;
}

int32_t read_degree_day_factor(const std::string& path) {
    FreeFormatReader in(path);
    read_time_step(in);
    const int32_t ddf = read_degree_day_factor_of(in);
    for (std::size_t i = static_cast<std::size_t>(control_parameter("degree_day_factor").position);
         i < kControlParameterCount; ++i)
        in.token(parameter_text(kControlParameters[i]));
    return ddf;
}

}  // namespace hydro
