// Maps of runoff, interflow, recharge, soil moisture and evaporation summed
// (moisture: averaged and divided by the porosity) over the date periods of
// the control file, written as "<kind><period number>.asc".
#pragma once

#include <string>

#include "model_state.hpp"
#include "result_sink.hpp"

namespace hydro {

// Prepares the sums (zeroed) and, for each step, the periods containing it.
void prepare_snapshot_sums(const ModelInputs& in, SnapshotSums& snap);

// Adds the groundwater evaporation of step t of every subbasin to the
// evaporation maps of the periods that contain the step, at every position
// with a positive subbasin number.
void add_groundwater_evaporation(const ModelInputs& in, SnapshotSums& snap, std::size_t t,
                                 const std::vector<float>& groundwater_evaporation);

// File name of period j (from 1) of a kind: prefix + four digits + ".asc".
std::string snapshot_file_name(int kind, int32_t period);

// Turns the sums into the values of the maps (in place) and hands every map
// to the sinks.
void finish_maps(const RunView& run, SnapshotSums& snap, const std::vector<ResultSink*>& sinks);

}  // namespace hydro
