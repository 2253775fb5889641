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

SubbasinMeans thiessen_means(const ProjectPaths& paths, const AreaMeanSizes& sz) {
    SubbasinMeans out;
    out.temperature_used = read_degree_day_factor(paths.input("input.txt")) >= 0;

    // The four grids (thiessen_t.asc is read also when temperature is off).
    std::vector<int32_t> grid[4];
    const char* const names[4] = {"watershed.asc", "thiessen_p.asc", "thiessen_e.asc", "thiessen_t.asc"};
    {
        std::unique_ptr<FreeFormatReader> in[4];
        for (int g = 0; g < 4; ++g) {
            in[g] = std::make_unique<FreeFormatReader>(paths.grid(names[g]));
            skip_grid_header(*in[g]);
        }
        const int used = out.temperature_used ? 4 : 3;
        for (int g = 0; g < used; ++g) {
            check_grid_fits(*in[g], sz.n_rows, sz.n_cols);
            grid[g].resize(static_cast<std::size_t>(sz.n_rows) * static_cast<std::size_t>(sz.n_cols));
        }
        for (int32_t r = 0; r < sz.n_rows; ++r)
            for (int g = 0; g < used; ++g)
                read_int_row(*in[g], sz.n_cols, r + 1,
                             grid[g].data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(sz.n_cols));
    }

    const std::size_t n_sub = static_cast<std::size_t>(sz.n_subbasins);
    const std::size_t n_cols = static_cast<std::size_t>(sz.n_cols);
    std::vector<float> cells(n_sub, 0.0f);
    for (std::size_t i = 0; i < grid[0].size(); ++i) {
        const int32_t s = grid[0][i];
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
    const ThiessenWeights wp = thiessen_weights(grid[0], grid[1], cells, sz.n_subbasins, sz.n_stations_p);
    const ThiessenWeights we = thiessen_weights(grid[0], grid[2], cells, sz.n_subbasins, sz.n_stations_e);
    ThiessenWeights wt;
    if (out.temperature_used) wt = thiessen_weights(grid[0], grid[3], cells, sz.n_subbasins, sz.n_stations_t);

    // The series.
    FreeFormatReader p(paths.input("p.txt"));
    FreeFormatReader e(paths.input("pet.txt"));
    std::unique_ptr<FreeFormatReader> t;
    if (out.temperature_used) t = std::make_unique<FreeFormatReader>(paths.input("t.txt"));
    StationSeries sp, se, stt;
    sp.quantity = SeriesQuantity::Precipitation;
    se.quantity = SeriesQuantity::Evapotranspiration;
    stt.quantity = SeriesQuantity::Temperature;
    size_series(p, sp, sz.n_stations_p, sz.n_steps);
    size_series(e, se, sz.n_stations_e, sz.n_steps);
    if (t) size_series(*t, stt, sz.n_stations_t, sz.n_steps);
    // The header lines are skipped as a whole (station names are fine here).
    skip_series_header(p);
    skip_series_header(e);
    if (t) skip_series_header(*t);

    const std::size_t steps = static_cast<std::size_t>(sz.n_steps);
    out.dates.reserve(steps);
    out.precipitation.assign(steps * n_sub, 0.0f);
    out.pet.assign(steps * n_sub, 0.0f);
    if (t) out.temperature.assign(steps * n_sub, 0.0f);
    for (int32_t k = 0; k < sz.n_steps; ++k) {
        out.dates.push_back(read_record_date(p, k));
        check_record_date(p, out.dates.back(), k);
        read_station_values(p, sp, k);
        skip_record_date(e, k);
        read_station_values(e, se, k);
        if (t) {
            skip_record_date(*t, k);
            read_station_values(*t, stt, k);
        }
    }
    for (int32_t k = 0; k < sz.n_steps; ++k) {
        const std::size_t row = static_cast<std::size_t>(k) * n_sub;
        add_weighted_means(sp, wp, sz.n_subbasins, k, out.precipitation.data() + row);
        add_weighted_means(se, we, sz.n_subbasins, k, out.pet.data() + row);
        if (t) add_weighted_means(stt, wt, sz.n_subbasins, k, out.temperature.data() + row);
    }
    return out;
}

}  // namespace hydro
