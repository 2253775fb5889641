#include "subbasin_series.hpp"

#include "csv_series.hpp"
#include "fixed_width.hpp"
#include "result_set.hpp"

namespace hydro {

std::string subbasin_series_text(const std::vector<RecordDate>& dates, const std::vector<float>& means,
                                 int32_t n_subbasins) {
    const std::size_t n_sub = static_cast<std::size_t>(n_subbasins);
    std::string out = "year month day hour";
    for (int32_t s = 1; s <= n_subbasins; ++s) append_int(out, s, 9);
    out += '\n';
    out.reserve(out.size() + dates.size() * (20 + 9 * n_sub));
    for (std::size_t k = 0; k < dates.size(); ++k) {
        append_int(out, dates[k].year, 4);
        out += "  ";
        append_int(out, dates[k].month, 2);
        out += "   ";
        append_int(out, dates[k].day, 2);
        out += "  ";
        append_int(out, dates[k].hour, 2);
        out += "  ";
        for (std::size_t s = 0; s < n_sub; ++s) append_fixed(out, means[k * n_sub + s], 9, 3);
        out += '\n';
    }
    return out;
}

std::string subbasin_series_overflow(const std::string& file_name, const std::vector<RecordDate>& dates,
                                     const std::vector<float>& means, int32_t n_subbasins) {
    const std::size_t n_sub = static_cast<std::size_t>(n_subbasins);
    for (std::size_t k = 0; k < dates.size(); ++k)
        for (std::size_t s = 0; s < n_sub; ++s)
            if (!fixed_fits(means[k * n_sub + s], 9, 3))
                return file_name + ": the column of subbasin " + std::to_string(s + 1) + " in record " +
                       std::to_string(k + 1) + " (" + std::to_string(dates[k].year) + "-" +
                       std::to_string(dates[k].month) + "-" + std::to_string(dates[k].day) + " hour " +
                       std::to_string(dates[k].hour) +
                       ") is too wide for its field and is written as asterisks; later records may hold more "
                       "such values";
    return {};
}

std::vector<std::string> write_subbasin_series(const ProjectPaths& paths, const SubbasinMeans& m, int32_t n_subbasins,
                                               bool with_csv) {
    std::vector<std::string> warnings;
    auto watch = [&](const char* name, const std::vector<float>& means) {
        std::string w = subbasin_series_overflow(name, m.dates, means, n_subbasins);
        if (!w.empty()) warnings.push_back(std::move(w));
    };
    watch("Subbasin_P.txt", m.precipitation);
    watch("Subbasin_E.txt", m.pet);
    if (m.temperature_used) watch("Subbasin_T.txt", m.temperature);
    ResultSet set;
    set.write_file(paths.output("Subbasin_P.txt"), subbasin_series_text(m.dates, m.precipitation, n_subbasins));
    set.write_file(paths.output("Subbasin_E.txt"), subbasin_series_text(m.dates, m.pet, n_subbasins));
    if (m.temperature_used)
        set.write_file(paths.output("Subbasin_T.txt"), subbasin_series_text(m.dates, m.temperature, n_subbasins));
    if (with_csv) {
        set.write_file(paths.output("Subbasin_P.csv"), subbasin_series_csv(m.dates, m.precipitation, n_subbasins));
        set.write_file(paths.output("Subbasin_E.csv"), subbasin_series_csv(m.dates, m.pet, n_subbasins));
        if (m.temperature_used)
            set.write_file(paths.output("Subbasin_T.csv"), subbasin_series_csv(m.dates, m.temperature, n_subbasins));
    }
    set.commit();
    return warnings;
}

std::string subbasin_series_csv(const std::vector<RecordDate>& dates, const std::vector<float>& means,
                                int32_t n_subbasins) {
    const std::size_t n_sub = static_cast<std::size_t>(n_subbasins);
    std::vector<std::string> columns;
    for (int32_t s = 1; s <= n_subbasins; ++s) columns.push_back(std::to_string(s));
    std::string out = csv_header(columns);
    for (std::size_t k = 0; k < dates.size(); ++k)
        append_csv_record(out, dates[k].year, dates[k].month, dates[k].day, dates[k].hour,
                          std::span<const float>(means.data() + k * n_sub, n_sub));
    return out;
}

}  // namespace hydro
