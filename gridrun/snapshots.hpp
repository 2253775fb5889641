// Maps of runoff, interflow, recharge, soil moisture and evaporation summed
// (moisture: averaged and divided by the porosity) over the date periods of
// the control file, written as "<kind><period number>.asc".
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "model_state.hpp"
#include "result_sink.hpp"

namespace hydro {

// Prepares the sums (zeroed).
void prepare_snapshot_sums(const ModelInputs& in, const ControlFile& control, SnapshotSums& snap);

// The groundwater evaporation of the subbasins is added to the evaporation
// maps after everything the cells add to them, step by step: it is kept
// until every cell's part of a map is complete. A map period may span a
// whole long run, so beyond `memory_bytes` the kept steps go to a temporary
// file and are read back when their maps are complete.
class GroundwaterEvaporationMaps {
  public:
    static constexpr std::size_t kMemoryBytes = std::size_t{4} << 20;
    GroundwaterEvaporationMaps(const ModelInputs& in, const ControlFile& control,
                               std::size_t memory_bytes = kMemoryBytes);
    ~GroundwaterEvaporationMaps();
    GroundwaterEvaporationMaps(const GroundwaterEvaporationMaps&) = delete;
    GroundwaterEvaporationMaps& operator=(const GroundwaterEvaporationMaps&) = delete;
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
    std::size_t memory_steps_ = 0;  // kept steps held in memory at most
    std::vector<std::size_t> steps_;
    std::vector<float> values_;  // n_subbasins per kept step
    std::vector<char> done_;     // per evaporation period
    // Kept steps moved to the file (each its step number, then n_subbasins
    // values); the first file_skip_ of them are no longer needed. The steps
    // in memory come after those of the file.
    std::FILE* file_ = nullptr;
    std::size_t file_steps_ = 0, file_skip_ = 0;
    void move_to_file();
};

// File name of period j (from 1) of a kind: prefix + four digits + ".asc".
std::string snapshot_file_name(int kind, int32_t period);

// Turns the sums into the values of the maps (in place) and hands every map
// to the sinks.
void finish_maps(const RunView& run, SnapshotSums& snap, const std::vector<ResultSink*>& sinks);

}  // namespace hydro
