// Thiessen areal averaging: each station's value counts in a subbasin in
// proportion to the number of the subbasin's cells in the station's polygon,
//   weight(s, st) = cells of s in the polygon of st / cells of s,
//   mean(k, s)    = sum over st, in station order, of value(st, k) x weight(s, st).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "counting.hpp"
#include "project_paths.hpp"
#include "station_series.hpp"

namespace hydro {

// Weights of the stations of one variable. Only the stations that share a
// cell with a subbasin are kept, in station order; the others have weight 0
// and add nothing to the mean.
struct ThiessenWeights {
    int32_t n_stations = 0;
    std::vector<std::size_t> first;  // per subbasin, into station/weight; n_subbasins + 1 entries
    std::vector<int32_t> station;    // from 0
    std::vector<float> weight;
    // The weight of station st (from 0) in subbasin s (from 0).
    float weight_of(std::size_t s, int32_t st) const;
};

struct SubbasinMeans {
    bool temperature_used = false;
    std::vector<RecordDate> dates;  // of p.txt
    // Step-major: [k * n_subbasins + s].
    std::vector<float> precipitation, pet, temperature;
};

// Cell counts per subbasin and station turned into weights. A station number
// outside 1..n_stations counts for the subbasin but for no station.
ThiessenWeights thiessen_weights(const std::vector<int32_t>& subbasin_id, const std::vector<int32_t>& station_zone,
                                 const std::vector<float>& subbasin_cell_count, int32_t n_subbasins,
                                 int32_t n_stations);

// Adds the weighted station values of step k to the means of every subbasin
// (the series holding that step).
void add_weighted_means(const StationSeries& series, const ThiessenWeights& w, int32_t n_subbasins, int32_t k,
                        float* means_of_step);

// The series of a project read record by record, each record's subbasin
// means formed as it is read: only one record is held, however long the series.
class ThiessenRecords {
  public:
    // Reads the control file and the grids, makes the weights and opens the series.
    ThiessenRecords(const ProjectPaths& paths, const AreaMeanSizes& sizes);
    ~ThiessenRecords();
    bool temperature_used() const { return temperature_used_; }
    int32_t records() const { return n_steps_; }
    // Reads the next record (in order, from 0) and forms its means.
    void next();
    const RecordDate& date() const { return date_; }
    // The means of the record read last, one per subbasin.
    const float* precipitation() const { return means_p_.data(); }
    const float* pet() const { return means_e_.data(); }
    const float* temperature() const { return means_t_.data(); }

  private:
    bool temperature_used_ = false;
    int32_t n_subbasins_ = 0, n_steps_ = 0, k_ = 0;
    ThiessenWeights wp_, we_, wt_;
    std::unique_ptr<FreeFormatReader> p_, e_, t_;
    StationSeries sp_, se_, st_;
    RecordDate date_{};
    std::vector<float> means_p_, means_e_, means_t_;
};

// Every record's subbasin means at once (for small projects and tests).
SubbasinMeans thiessen_means(const ProjectPaths& paths, const AreaMeanSizes& sizes);

}  // namespace hydro
