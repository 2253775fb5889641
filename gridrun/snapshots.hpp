// Maps of runoff, interflow, recharge, soil moisture and evaporation summed
// (moisture: averaged and divided by the porosity) over the date periods of
// the control file, written as "<kind><period number>.asc".
#pragma once

#include <string>
#include <vector>

#include "model_state.hpp"
#include "result_sink.hpp"

namespace hydro {

// Prepares the sums (zeroed).
void prepare_snapshot_sums(const ModelInputs& in, const ControlFile& control, SnapshotSums& snap);

// The groundwater evaporation of the subbasins is added to the evaporation
// maps after everything the cells add to them, step by step: it is kept
// until every cell's part of a map is complete.
class GroundwaterEvaporationMaps {
public:
    GroundwaterEvaporationMaps(const ModelInputs& in, const ControlFile& control);
    // Step t's groundwater evaporation of every subbasin (added to the maps
    // of the evaporation periods that contain the step).
    void keep(std::size_t t, const std::vector<float>& groundwater_evaporation);
    // Adds what is kept to the maps whose cell part is complete: those of
    // periods that ended before step `next_step` (when the dates of the run
    // never go back), or every map at the end of the run.
    void add_completed(SnapshotSums& snap, std::size_t next_step, bool end_of_run);

private:
    const ModelInputs& in_;
    const ControlFile& control_;
    bool dates_ascending_ = true;
    std::size_t n_subbasins_ = 0;
    std::vector<std::size_t> steps_;
    std::vector<float> values_;  // n_subbasins per kept step
    std::vector<char> done_;     // per evaporation period
};

// File name of period j (from 1) of a kind: prefix + four digits + ".asc".
std::string snapshot_file_name(int kind, int32_t period);

// Turns the sums into the values of the maps (in place) and hands every map
// to the sinks.
void finish_maps(const RunView& run, SnapshotSums& snap, const std::vector<ResultSink*>& sinks);

}  // namespace hydro
