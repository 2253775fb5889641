// One NetCDF-4 file of a run, following the CF-1.8 conventions, for xarray,
// GDAL, QGIS, R and the like:
//   time(time)                      hours since the first step's date and hour
//   rain, Qs, Qi, Qg, Q, inte, s_mo, infi, evap, perc, RS, RI, RG, R, GT
//   [, temp](time)                  the columns of q_tot.txt and balance.txt
//   q_sub(time, subbasin)           run mode 2: flow at the reported subbasins
//   x(x), y(y)                      cell centres, from watershed.asc's header
//   <kind>(<kind>_time, y, x)       every map of a kind, one per period, with
//   <kind>_time, <kind>_time_bounds the period's first and last date-hour
//   crs                             the coordinate system (well-known text),
//                                   when watershed.prj exists
// Values are the model's 32-bit floats, unrounded. Map cells outside the basin,
// and cells the ASCII maps mark as no data, hold the fill value -1. The series
// are written in blocks as the steps arrive, so memory does not grow with the
// run's length. The file belongs to the caller's result set, which replaces
// the earlier results when the run has completed.
#pragma once

#include <memory>
#include <string>

#include "grid_georeference.hpp"
#include "result_set.hpp"
#include "result_sink.hpp"

namespace hydro {

// False when the program was built without the netCDF library.
bool netcdf_available();

class NetcdfResults : public ResultSink {
  public:
    // `georeference` places the maps; `crs_wkt` is the coordinate system
    // ("" when unknown); `source` names the program and version.
    NetcdfResults(std::string path, ResultSet& files, GridGeoreference georeference, std::string crs_wkt,
                  std::string source);
    ~NetcdfResults() override;
    void begin(const RunInfo& run) override;
    void step(const StepResult& s) override;
    void map(const MapResult& m) override;
    void end() override;

  private:
    struct File;
    std::unique_ptr<File> file_;
};

}  // namespace hydro
