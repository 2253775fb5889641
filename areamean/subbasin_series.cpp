#include "subbasin_series.hpp"

#include "csv_series.hpp"
#include "fixed_width.hpp"
#include "result_set.hpp"

namespace hydro {

namespace {

std::string subbasin_series_header(int32_t n_subbasins) {
    std::string out = "year month day hour";
    for (int32_t s = 1; s <= n_subbasins; ++s) append_int(out, s, 9);
    out += '\n';
    return out;
}

void append_subbasin_record(std::string& out, const RecordDate& d, const float* means, std::size_t n_sub) {
    append_int(out, d.year, 4);
    out += "  ";
    append_int(out, d.month, 2);
    out += "   ";
    append_int(out, d.day, 2);
    out += "  ";
    append_int(out, d.hour, 2);
    out += "  ";
    for (std::size_t s = 0; s < n_sub; ++s) append_fixed(out, means[s], 9, 3);
    out += '\n';
}

// The warning of a mean too wide for its field, naming the file, the subbasin and the record.
std::string overflow_warning(const std::string& file_name, std::size_t s, std::size_t k, const RecordDate& d) {
    return file_name + ": the column of subbasin " + std::to_string(s + 1) + " in record " + std::to_string(k + 1) +
           " (" + std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day) + " hour " +
           std::to_string(d.hour) +
           ") is too wide for its field and is written as asterisks; later records may hold more such values";
}

}  // namespace

std::string subbasin_series_text(const std::vector<RecordDate>& dates, const std::vector<float>& means,
                                 int32_t n_subbasins) {
    const std::size_t n_sub = static_cast<std::size_t>(n_subbasins);
    std::string out = subbasin_series_header(n_subbasins);
    out.reserve(out.size() + dates.size() * (20 + 9 * n_sub));
    for (std::size_t k = 0; k < dates.size(); ++k) append_subbasin_record(out, dates[k], &means[k * n_sub], n_sub);
    return out;
}

std::string subbasin_series_overflow(const std::string& file_name, const std::vector<RecordDate>& dates,
                                     const std::vector<float>& means, int32_t n_subbasins) {
    const std::size_t n_sub = static_cast<std::size_t>(n_subbasins);
    for (std::size_t k = 0; k < dates.size(); ++k)
        for (std::size_t s = 0; s < n_sub; ++s)
            if (!fixed_fits(means[k * n_sub + s], 9, 3)) return overflow_warning(file_name, s, k, dates[k]);
    return {};
}

namespace {

// One variable's output files (text, and CSV when asked), written record by record.
struct SeriesOutput {
    std::string name;
    ResultFile* text = nullptr;
    ResultFile* csv = nullptr;
    std::string warning, line;
    void write(std::size_t k, const RecordDate& d, const float* means, std::size_t n_sub) {
        if (warning.empty())
            for (std::size_t s = 0; s < n_sub; ++s)
                if (!fixed_fits(means[s], 9, 3)) {
                    warning = overflow_warning(name, s, k, d);
                    break;
                }
        line.clear();
        append_subbasin_record(line, d, means, n_sub);
        text->write(line);
        if (csv) {
            line.clear();
            append_csv_record(line, d.year, d.month, d.day, d.hour, std::span<const float>(means, n_sub));
            csv->write(line);
        }
    }
};

}  // namespace

std::vector<std::string> write_subbasin_series(const ProjectPaths& paths, ThiessenRecords& records, int32_t n_subbasins,
                                               bool with_csv) {
    const std::size_t n_sub = static_cast<std::size_t>(n_subbasins);
    std::vector<std::string> columns;
    for (int32_t s = 1; s <= n_subbasins; ++s) columns.push_back(std::to_string(s));
    ResultSet set;
    SeriesOutput out[3];
    const char* const names[3] = {"Subbasin_P.txt", "Subbasin_E.txt", "Subbasin_T.txt"};
    const int used = records.temperature_used() ? 3 : 2;
    for (int v = 0; v < used; ++v) {
        out[v].name = names[v];
        out[v].text = &set.create(paths.output(out[v].name));
        out[v].text->write(subbasin_series_header(n_subbasins));
        if (with_csv) {
            std::string csv_name = out[v].name;
            csv_name.replace(csv_name.size() - 3, 3, "csv");
            out[v].csv = &set.create(paths.output(csv_name));
            out[v].csv->write(csv_header(columns));
        }
    }
    for (int32_t k = 0; k < records.records(); ++k) {
        records.next();
        const std::size_t kk = static_cast<std::size_t>(k);
        out[0].write(kk, records.date(), records.precipitation(), n_sub);
        out[1].write(kk, records.date(), records.pet(), n_sub);
        if (used == 3) out[2].write(kk, records.date(), records.temperature(), n_sub);
    }
    set.commit();
    std::vector<std::string> warnings;
    for (int v = 0; v < used; ++v)
        if (!out[v].warning.empty()) warnings.push_back(out[v].warning);
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
