// The cell loop over a tile of steps: for a block of valid cells, each cell
// is advanced through the steps of the tile from its stores: forcing and
// snow, interception, surface runoff and depressions, soil water, routing of
// the cell's runoff and interflow towards the outlet (or its subbasin
// outlet), the soil moisture update and its map sums. What the cell adds to
// the basin and subbasin sums of each step is kept for the tile; the block is
// then added to the sums cell by cell in the cell order, so every sum is
// formed exactly as in a serial run of cell after cell, whatever the number
// of threads and the size of the tiles.
#ifndef HYDRO_GRIDRUN_CELL_LOOP_HPP
#define HYDRO_GRIDRUN_CELL_LOOP_HPP

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "cell_step.hpp"
#include "model_state.hpp"

namespace hydro {

// Whether a grid position is simulated: root depth, porosity, slope, the
// precipitation station, the subbasin and the runoff coefficient all >= 0.
bool is_valid_cell(const Catchment& g, std::size_t i);

// Snow pack (mm) at the start of the run, by the month of the first step.
float initial_snow_storage(int32_t month);

struct ValidCell {
    std::size_t index;  // grid position
    int32_t row, col;   // from 1
};

// The valid cells in their order: rows from the top, then columns.
std::vector<ValidCell> valid_cells(const Catchment& g, int32_t n_rows, int32_t n_cols);

// Length of the routing tail each cell keeps (arrivals after the current
// step): its last lag + 1, at most `cap` steps.
std::vector<std::size_t> cell_tail_offsets(const ResponseTable& responses, std::size_t n_cells, std::size_t cap);

// One variable's forcing over a tile: the series of station j (from 0)
// starts at of(j), one value per step of the tile.
struct TileForcing {
    const float* first = nullptr;
    std::size_t stride = 0;  // from one station's series to the next
    const float* of(int32_t station) const { return first + static_cast<std::size_t>(station) * stride; }
};

// The steps of one tile as the cells see them. The map periods of every
// kind are numbered together ("slots": the runoff periods, then the
// interflow periods, ...).
struct TileSteps {
    std::size_t t0 = 0, len = 0;
    std::vector<float> seasonal_factor;  // interception factor of each step's day of the year
    std::vector<uint32_t> entry_begin;   // map entries of step tau: [entry_begin[tau], entry_begin[tau + 1])
    std::vector<uint8_t> entry_kind;     // per entry: the kind of map
    std::vector<uint32_t> entry_slot;    // per entry: the slot of its period
    std::array<uint32_t, kSnapshotKinds + 1> kind_offset{};  // first slot of each kind; the last: slot count
    // The slots that steps of this tile add to (only these map sums are touched).
    std::vector<uint32_t> active_slot;
    std::vector<uint8_t> active_kind;
    // Precipitation, potential evapotranspiration and temperature (when used)
    // of the tile: in the run's series where they are held whole, else in
    // `window` (the tile's records, read when the tile is prepared).
    TileForcing rain, pet, temperature;
    std::array<StationSeries, 3> window;
};
// The tile's calendar and map entries.
void prepare_tile_steps(const ModelInputs& in, const ControlFile& control, std::size_t t0, std::size_t len,
                        TileSteps& steps);
// Points the tile's forcing into the run's series where they hold the tile's
// steps (the series held whole).
void point_tile_forcing(const ModelInputs& in, std::size_t t0, std::size_t len, TileSteps& steps);

// What each cell of a block adds to the sums of each step of a tile (the
// table kContributionKinds below says what each is and where it goes).
enum Contribution {
    kSurfaceArrival,
    kInterflowArrival,
    kRain,
    kTemperature,
    kInterception,
    kMoistureMean,
    kInfiltration,
    kEvaporationMean,
    kSurfaceRunoff,
    kInterflowMean,
    kPercolation,
    kPet,
    kEvaporationSubbasin,
    kContributions
};

inline constexpr std::size_t kMaxLanes = 16;

// A block's cells are simulated side by side in groups of `lanes` cells
// (the lanes of a vector); the contributions keep that layout.
struct BlockTile {
    std::size_t stride = 0;    // steps per series (the tile length)
    std::size_t n_cells = 0;   // cells in the block
    std::size_t lanes = 1;     // cells side by side
    std::size_t n_groups = 0;  // groups of `lanes` cells (the last may be partly filled)
    // contribution q of the cell in lane l of group g at step tau:
    // [((q * n_groups + g) * lanes + l) * stride + tau]
    std::vector<float> values;
    // Per group: whether a contribution is 1e30 or more in size, or not a number
    // (only such a group can make a sum that is not finite).
    std::vector<char> suspect;
    std::vector<float> scratch;  // arrivals, forcing and map sums of one group over the tile
    std::string progress;        // progress lines of the block (first tile only)
    const float* group(int q, std::size_t g) const { return values.data() + (q * n_groups + g) * stride * lanes; }
};

// The cell kernel a run uses: "avx512" (16 lanes), "avx2" (16 lanes in two
// registers of 8, with FMA) or "generic" (4 lanes); all give the same
// results. The widest the processor has, unless the environment variable
// HYDRO_CELL_KERNEL names another one it has.
const char* cell_kernel_name();
std::vector<std::string> cell_kernel_names();      // those this processor has, widest first
bool select_cell_kernel(const std::string& name);  // for comparisons; not while a run is going

// Advances cells [first, first + count) through the tile, updating their
// stores and tails in `state` and the map sums.
void simulate_block_tile(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first, std::size_t count,
                         const TileSteps& steps, ModelState& state, SnapshotSums& maps, BlockTile& out);

// The basin and subbasin sums of the steps of one tile.
struct TileSums {
    std::size_t len = 0;
    // Basin means (mm) and, in run mode 1, the flows arriving at the basin outlet (m3/s).
    std::vector<float> rain, temperature, interception, moisture, infiltration, evaporation, surface_runoff, interflow;
    // Arriving surface flow and interflow: run mode 1 at the basin outlet [tau], run mode 2 at each
    // subbasin outlet [s * len + tau].
    std::vector<float> arrival_surface, arrival_interflow;
    // Per subbasin [s * len + tau]: recharge, potential and actual evaporation (means over its cells).
    std::vector<float> recharge, pet, subbasin_evaporation;
    void reset(std::size_t len, std::size_t n_subbasins, bool mode2);
};

// Adds the block to the sums in cell order, in two parts that touch
// different sums (so that one block's second part and the next block's first
// part can be added at the same time); the second part also keeps the first
// non-finite contribution (by step, then cell) in `non_finite`.
enum class BlockPart { first, second };

// The sums a contribution enters: one for the basin (divided by the basin's
// cell count), one per subbasin (divided by the subbasin's cell count), or
// the outlet flows (the basin outlet in run mode 1, the cell's subbasin
// outlet in run mode 2; flows, added as they are).
enum class SumReach { basin, subbasin, outlet };

struct ContributionKind {
    const char* name;
    const char* unit;
    std::vector<float> TileSums::*sum;
    SumReach reach;
    BlockPart part;         // the part of the ordered addition that adds it
    bool temperature_only;  // added only when the run uses temperature
};

// The one list of what a cell adds to the sums of a step, in the order of
// Contribution.
inline constexpr ContributionKind kContributionKinds[kContributions] = {
    {"routed surface flow arriving in the step", "m3 s-1", &TileSums::arrival_surface, SumReach::outlet,
     BlockPart::first, false},
    {"routed interflow arriving in the step", "m3 s-1", &TileSums::arrival_interflow, SumReach::outlet,
     BlockPart::first, false},
    {"rain", "mm", &TileSums::rain, SumReach::basin, BlockPart::first, false},
    {"temperature", "degC", &TileSums::temperature, SumReach::basin, BlockPart::first, true},
    {"rain caught on the canopy", "mm", &TileSums::interception, SumReach::basin, BlockPart::first, false},
    {"soil moisture at the end of the step", "mm", &TileSums::moisture, SumReach::basin, BlockPart::first, false},
    {"infiltration", "mm", &TileSums::infiltration, SumReach::basin, BlockPart::second, false},
    {"evaporation of canopy, depressions and soil", "mm", &TileSums::evaporation, SumReach::basin, BlockPart::second,
     false},
    {"surface runoff", "mm", &TileSums::surface_runoff, SumReach::basin, BlockPart::second, false},
    {"interflow", "mm", &TileSums::interflow, SumReach::basin, BlockPart::second, false},
    {"percolation (groundwater recharge)", "mm", &TileSums::recharge, SumReach::subbasin, BlockPart::second, false},
    {"potential evapotranspiration", "mm", &TileSums::pet, SumReach::subbasin, BlockPart::second, false},
    {"evaporation of canopy, depressions and soil", "mm", &TileSums::subbasin_evaporation, SumReach::subbasin,
     BlockPart::second, false},
};

void add_block_tile(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first, const BlockTile& block,
                    std::size_t t0, TileSums& sums, FirstNonFinite& non_finite, BlockPart part);

}  // namespace hydro

#endif  // HYDRO_GRIDRUN_CELL_LOOP_HPP

// Compiled once per instruction set where the kernels are (see lanes.hpp).
#if !defined(HYDRO_STEP_CONTRIBUTION_PROCESS) && (defined(HYDRO_LANES) || !defined(HYDRO_PROCESSES_PER_INSTRUCTION_SET))
#define HYDRO_STEP_CONTRIBUTION_PROCESS

HYDRO_PROCESSES_BEGIN

// What the cell's step adds (before any division), by contribution; the
// arrivals come from the routing, not from the step.
template <class T>
HYDRO_LANES_INLINE T step_contribution(int q, const StepFluxes<T>& f, T rain, T pet, T soil_moisture) {
    switch (q) {
        case kRain:
            return rain;
        case kTemperature:
            return f.temperature;
        case kInterception:
            return f.interception;
        case kMoistureMean:
            return soil_moisture;
        case kInfiltration:
            return f.infiltration;
        case kSurfaceRunoff:
            return f.runoff;
        case kInterflowMean:
            return f.soil.interflow;
        case kPercolation:
            return f.soil.percolation;
        case kPet:
            return pet;
        default:  // the evaporations
            return total_evaporation(f);
    }
}

HYDRO_PROCESSES_END

#endif
