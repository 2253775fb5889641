// Routing to the outlets over a tile of steps: step by step, each
// subbasin's groundwater store is advanced and its outflow routed with the
// river response to the basin outlet; when cells drain to their subbasin
// outlets (run mode 2), the subbasin surface flow and interflow are routed
// the same way and the totals of the reported subbasins formed. The records
// of every step go to the sinks as soon as the step is complete. Flow still
// on its way along the river after the tile is carried in the state.
#pragma once

#include <vector>

#include "cell_loop.hpp"
#include "model_state.hpp"
#include "result_sink.hpp"
#include "snapshots.hpp"

namespace hydro {

// Length of the river routing tail (arrivals after the current step): the
// largest last lag + 1, at most `cap` steps.
std::size_t river_tail_length(const ResponseTable& river, std::size_t cap);

class OutletRouting {
  public:
    OutletRouting(const RunView& run, ModelState& state);
    // The tile's sums are complete: advances the stores and the routing
    // through its steps and hands each step's records to the sinks.
    void advance_tile(TileSums& sums, std::size_t t0, SnapshotSums& maps, GroundwaterEvaporationMaps& gw_maps,
                      const std::vector<ResultSink*>& sinks);
    const FirstNonFinite& non_finite() const { return non_finite_; }

  private:
    const RunView& run_;
    ModelState& state_;
    std::vector<float> recession_, groundwater_evaporation_, reported_flow_, subbasin_flow_;
    std::vector<float> surface_, interflow_, groundwater_;  // outlet arrivals over the tile and the tail
    std::vector<float> percolation_, groundwater_runoff_, groundwater_storage_;
    FirstNonFinite non_finite_;
};

}  // namespace hydro
