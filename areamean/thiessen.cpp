#include "thiessen.hpp"

#include <algorithm>
#include <memory>
#include <utility>
#include <string>

#include "ascii_grid.hpp"
#include "control_file.hpp"
#include "free_format.hpp"
#include "input_error.hpp"

namespace hydro {

ThiessenWeights thiessen_weights(const std::vector<int32_t>& subbasin_id, const std::vector<int32_t>& station_zone,
                                 const std::vector<float>& subbasin_cell_count, int32_t n_subbasins,
                                 int32_t n_stations) {
    // The (subbasin, station) pair of every basin cell with a valid station, sorted.
    std::vector<std::pair<int32_t, int32_t>> pairs;
    for (std::size_t i = 0; i < subbasin_id.size(); ++i) {
        const int32_t s = subbasin_id[i], st = station_zone[i];
        if (s > 0 && s <= n_subbasins && st >= 1 && st <= n_stations) pairs.emplace_back(s - 1, st - 1);
    }
    std::sort(pairs.begin(), pairs.end());
    ThiessenWeights w;
    w.n_stations = n_stations;
    w.first.assign(static_cast<std::size_t>(n_subbasins) + 1, 0);
    for (std::size_t i = 0; i < pairs.size();) {
        std::size_t j = i;
        while (j < pairs.size() && pairs[j] == pairs[i]) ++j;
        const std::size_t s = static_cast<std::size_t>(pairs[i].first);
        w.station.push_back(pairs[i].second);
        w.weight.push_back(static_cast<float>(static_cast<int32_t>(j - i)) / subbasin_cell_count[s]);
        w.first[s + 1] = w.station.size();
        i = j;
    }
    // Subbasins without any station keep an empty range.
    for (std::size_t s = 1; s < w.first.size(); ++s) w.first[s] = std::max(w.first[s], w.first[s - 1]);
    return w;
}

float ThiessenWeights::weight_of(std::size_t s, int32_t st) const {
    for (std::size_t k = first[s]; k < first[s + 1]; ++k)
        if (station[k] == st) return weight[k];
    return 0.0f;
}

void add_weighted_means(const StationSeries& series, const ThiessenWeights& w, int32_t n_subbasins, int32_t k,
                        float* means) {
    for (std::size_t s = 0; s < static_cast<std::size_t>(n_subbasins); ++s) {
        float mean = means[s];
        for (std::size_t j = w.first[s]; j < w.first[s + 1]; ++j)
            mean = mean + series.value(w.station[j], k) * w.weight[j];
        means[s] = mean;
    }
}

namespace {

// The subbasin and station numbers of every cell (watershed.asc, thiessen_p.asc,
// thiessen_e.asc and thiessen_t.asc when temperature is used).
void read_thiessen_grids(const ProjectPaths& paths, const AreaMeanSizes& sz, bool temperature_used,
                         std::vector<int32_t> (&grid)[4]) {
    // thiessen_t.asc is opened also when temperature is off.
    const char* const names[4] = {"watershed.asc", "thiessen_p.asc", "thiessen_e.asc", "thiessen_t.asc"};
    std::unique_ptr<FreeFormatReader> in[4];
    for (int g = 0; g < 4; ++g) {
        in[g] = std::make_unique<FreeFormatReader>(paths.grid(names[g]));
        skip_grid_header(*in[g]);
    }
    const int used = temperature_used ? 4 : 3;
    for (int g = 0; g < used; ++g) {
        check_grid_fits(*in[g], sz.n_rows, sz.n_cols);
        grid[g].resize(static_cast<std::size_t>(sz.n_rows) * static_cast<std::size_t>(sz.n_cols));
    }
    for (int32_t r = 0; r < sz.n_rows; ++r)
        for (int g = 0; g < used; ++g)
            read_int_row(*in[g], sz.n_cols, r + 1,
                         grid[g].data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(sz.n_cols));
}

// The cells of every subbasin, refusing a subbasin without any.
std::vector<float> subbasin_cells(const ProjectPaths& paths, const AreaMeanSizes& sz, const std::vector<int32_t>& ws) {
    const std::size_t n_sub = static_cast<std::size_t>(sz.n_subbasins);
    const std::size_t n_cols = static_cast<std::size_t>(sz.n_cols);
    std::vector<float> cells(n_sub, 0.0f);
    for (std::size_t i = 0; i < ws.size(); ++i) {
        const int32_t s = ws[i];
        // The numbering was counted in a first pass over the file: a file
        // changed since then must not reach beyond the sizes taken from it.
        if (s > sz.n_subbasins)
            throw InputError(
                paths.grid("watershed.asc") + ", row " + std::to_string(i / n_cols + 1) + ", column " +
                std::to_string(i % n_cols + 1) + ": expected a subbasin number of at most " +
                std::to_string(sz.n_subbasins) +
                " (the largest when the grid was first read: was the file changed during the run?), found " +
                std::to_string(s));
        if (s > 0) cells[static_cast<std::size_t>(s - 1)] = cells[static_cast<std::size_t>(s - 1)] + 1.0f;
    }
    for (std::size_t s = 0; s < n_sub; ++s)
        if (cells[s] == 0.0f)
            throw InputError(paths.grid("watershed.asc") + ": expected every subbasin from 1 to " +
                             std::to_string(sz.n_subbasins) + " to own at least one cell, found none in subbasin " +
                             std::to_string(s + 1));
    return cells;
}

}  // namespace

ThiessenRecords::ThiessenRecords(const ProjectPaths& paths, const AreaMeanSizes& sz)
    : n_subbasins_(sz.n_subbasins), n_steps_(sz.n_steps) {
    temperature_used_ = read_degree_day_factor(paths.input("input.txt")) >= 0;
    std::vector<int32_t> grid[4];
    read_thiessen_grids(paths, sz, temperature_used_, grid);
    const std::vector<float> cells = subbasin_cells(paths, sz, grid[0]);
    wp_ = thiessen_weights(grid[0], grid[1], cells, sz.n_subbasins, sz.n_stations_p);
    we_ = thiessen_weights(grid[0], grid[2], cells, sz.n_subbasins, sz.n_stations_e);
    if (temperature_used_) wt_ = thiessen_weights(grid[0], grid[3], cells, sz.n_subbasins, sz.n_stations_t);

    p_ = std::make_unique<FreeFormatReader>(paths.input("p.txt"));
    e_ = std::make_unique<FreeFormatReader>(paths.input("pet.txt"));
    if (temperature_used_) t_ = std::make_unique<FreeFormatReader>(paths.input("t.txt"));
    sp_.quantity = SeriesQuantity::Precipitation;
    se_.quantity = SeriesQuantity::Evapotranspiration;
    st_.quantity = SeriesQuantity::Temperature;
    // Each holds one record: the files are checked for the whole series' size first.
    size_series(*p_, sp_, sz.n_stations_p, sz.n_steps, 1);
    size_series(*e_, se_, sz.n_stations_e, sz.n_steps, 1);
    if (t_) size_series(*t_, st_, sz.n_stations_t, sz.n_steps, 1);
    // The header lines are skipped as a whole (station names are fine here).
    skip_series_header(*p_);
    skip_series_header(*e_);
    if (t_) skip_series_header(*t_);
    const std::size_t n_sub = static_cast<std::size_t>(sz.n_subbasins);
    means_p_.assign(n_sub, 0.0f);
    means_e_.assign(n_sub, 0.0f);
    means_t_.assign(temperature_used_ ? n_sub : 0, 0.0f);
}

ThiessenRecords::~ThiessenRecords() = default;

void ThiessenRecords::next() {
    const int32_t k = k_++;
    for (StationSeries* s : {&sp_, &se_, &st_}) s->hold(k, 1);
    date_ = read_record_date(*p_, k);
    check_record_date(*p_, date_, k);
    read_station_values(*p_, sp_, k);
    skip_record_date(*e_, k);
    read_station_values(*e_, se_, k);
    if (t_) {
        skip_record_date(*t_, k);
        read_station_values(*t_, st_, k);
    }
    std::fill(means_p_.begin(), means_p_.end(), 0.0f);
    std::fill(means_e_.begin(), means_e_.end(), 0.0f);
    std::fill(means_t_.begin(), means_t_.end(), 0.0f);
    add_weighted_means(sp_, wp_, n_subbasins_, k, means_p_.data());
    add_weighted_means(se_, we_, n_subbasins_, k, means_e_.data());
    if (t_) add_weighted_means(st_, wt_, n_subbasins_, k, means_t_.data());
}

SubbasinMeans thiessen_means(const ProjectPaths& paths, const AreaMeanSizes& sz) {
    ThiessenRecords records(paths, sz);
    SubbasinMeans out;
    out.temperature_used = records.temperature_used();
    const std::size_t n_sub = static_cast<std::size_t>(sz.n_subbasins);
    for (int32_t k = 0; k < records.records(); ++k) {
        records.next();
        out.dates.push_back(records.date());
        out.precipitation.insert(out.precipitation.end(), records.precipitation(), records.precipitation() + n_sub);
        out.pet.insert(out.pet.end(), records.pet(), records.pet() + n_sub);
        if (out.temperature_used)
            out.temperature.insert(out.temperature.end(), records.temperature(), records.temperature() + n_sub);
    }
    return out;
}

}  // namespace hydro
