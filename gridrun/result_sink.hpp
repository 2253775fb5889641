// Results reach writers only through a result sink: the run announces itself
// once, then hands over every step's records in order as soon as they are
// complete, then every map, then ends. Writers only format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ascii_grid.hpp"
#include "control_file.hpp"
#include "result_series.hpp"

namespace hydro {

struct RunInfo {
    int32_t run_mode = 0;  // 1: cells to the basin outlet; 2: cells to their subbasin outlets
    std::size_t n_steps = 0;
    bool with_temperature = false;
    float time_step_hours = 0;
    std::vector<int32_t> reported_subbasins;  // numbers from 1, in the control file's order
    // Map geometry: rows from the top, the header texts written into every map.
    int32_t n_rows = 0, n_cols = 0, cell_size = 0;
    GridHeaderTexts map_header;
    const std::vector<int32_t>* subbasin_id = nullptr;  // per grid position; negative outside the basin
    // The map periods of each kind (runoff, interflow, recharge, moisture, evaporation).
    std::array<std::vector<SnapshotPeriod>, kSnapshotKinds> map_periods;
};

struct StepResult {
    std::size_t step = 0;  // from 0
    int32_t year = 0, month = 0, day = 0, hour = 0;
    QTotRecord q_tot{};
    BalanceRecord balance{};
    std::span<const float> reported_flows;  // run mode 2: m3/s of each reported subbasin, in reported order
    // Run mode 2: m3/s leaving every subbasin at its outlet (surface flow, interflow and
    // groundwater flow), by subbasin number from 1; empty in run mode 1.
    std::span<const float> subbasin_flows;
};

struct MapResult {
    int kind;                          // 0 runoff, 1 interflow, 2 recharge, 3 moisture, 4 evaporation
    int32_t period;                    // from 1
    const std::vector<float>& values;  // per grid position, as written: -1 where masked
};

class ResultSink {
  public:
    virtual ~ResultSink() = default;
    virtual void begin(const RunInfo&) {}
    // Every step, in order, as soon as it is complete.
    virtual void step(const StepResult&) = 0;
    // After the last step, every map.
    virtual void map(const MapResult&) {}
    // The run completed: make the results final.
    virtual void end() {}
};

}  // namespace hydro
