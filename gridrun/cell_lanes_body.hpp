// The body of the cell kernel that advances several cells side by side, one
// cell per lane of a vector: every lane runs exactly the float operations a
// single cell runs, in the same order; where one cell would branch, both
// sides are computed and the lane keeps the side its own test chose. Power,
// logarithm and exponential of the lanes give the bits of the scalar
// functions, so every value is the one a cell-by-cell run gives, bit for bit.
//
// Included by cell_lanes.cpp once per instruction set, inside a namespace of
// its own, with HYDRO_LANES defined (the number of lanes). No include guard.

#if defined(HYDRO_LANE_PAIRS)
using vfloat = Lanes16;
using vmask = LaneMask16;
#else
using vfloat = float __attribute__((vector_size(HYDRO_LANES * 4)));
using vmask = int32_t __attribute__((vector_size(HYDRO_LANES * 4)));
#endif
constexpr int W = HYDRO_LANES;

#define HYDRO_LANE_INLINE static inline __attribute__((always_inline))

HYDRO_LANE_INLINE vfloat splat(float x) { return splat<vfloat>(x); }
HYDRO_LANE_INLINE vfloat load(const float* p) { return load<vfloat>(p); }
HYDRO_LANE_INLINE void store(float* p, vfloat v) { store<vfloat>(p, v); }
#if !defined(HYDRO_LANE_PAIRS)
// The lanes of a mask as bits (lane l: bit l).
HYDRO_LANE_INLINE unsigned lane_bits(vmask m) {
#if defined(__x86_64__) && HYDRO_LANES == 16
    return static_cast<unsigned>(_mm512_movepi32_mask(reinterpret_cast<__m512i>(m)));
#else
    unsigned r = 0;
    for (int l = 0; l < W; ++l) r |= (m[l] ? 1u : 0u) << l;
    return r;
#endif
}
#endif

// powf, logf and expf of the lanes of a mask (the other lanes hold 0), with
// the bits of the scalar functions of exact_math.hpp: with AVX-512 or AVX2 +
// FMA in lanes (lane_math_avx512.hpp, lane_math_avx2.hpp, the latter eight
// lanes at a time), elsewhere one scalar call per lane.
// A step where no lane of the group wants the function (no rain in the
// station zone, say) skips it.
#if defined(HYDRO_LANE_MATH) && defined(HYDRO_LANE_PAIRS)
struct KernelMath {
    template <class F>
    static inline vfloat halves(vmask m, vfloat x, vfloat y, F f) {
        const unsigned want = lane_bits(m);
        if (!want) return splat(0.0f);
        return {
            reinterpret_cast<half_float>(
                f(reinterpret_cast<__m256>(x.lo), reinterpret_cast<__m256>(y.lo), want & 255u)),
            reinterpret_cast<half_float>(f(reinterpret_cast<__m256>(x.hi), reinterpret_cast<__m256>(y.hi), want >> 8))};
    }
    static inline vfloat pow(vmask m, vfloat x, vfloat y) {
        return halves(m, x, y, [](__m256 a, __m256 b, unsigned w) { return lane_powf8(a, b, w); });
    }
    static inline vfloat log(vmask m, vfloat x) {
        return halves(m, x, x, [](__m256 a, __m256, unsigned w) { return lane_logf8(a, w); });
    }
    static inline vfloat exp(vmask m, vfloat x) {
        return halves(m, x, x, [](__m256 a, __m256, unsigned w) { return lane_expf8(a, w); });
    }
};
#elif defined(HYDRO_LANE_MATH) && HYDRO_LANES == 16
struct KernelMath {
    static const LanePowfTables& tables() {
        static const LanePowfTables t = lane_powf_tables();
        return t;
    }
    static inline vfloat pow(vmask m, vfloat x, vfloat y) {
        const unsigned want = lane_bits(m);
        return want ? lane_powf16(tables(), x, y, static_cast<__mmask16>(want)) : splat(0.0f);
    }
    static inline vfloat log(vmask m, vfloat x) {
        const unsigned want = lane_bits(m);
        return want ? lane_logf16(tables(), x, static_cast<__mmask16>(want)) : splat(0.0f);
    }
    static inline vfloat exp(vmask m, vfloat x) {
        const unsigned want = lane_bits(m);
        return want ? lane_expf16(tables(), x, static_cast<__mmask16>(want)) : splat(0.0f);
    }
};
#else
using KernelMath = ExactMath<vfloat>;
#endif

// Eight rows of eight lanes turned into eight columns.
template <class V>
HYDRO_LANE_INLINE void transpose8(V* r) {
    V t[8], u[8];
    for (int j = 0; j < 8; j += 2) {
        t[j] = __builtin_shufflevector(r[j], r[j + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[j + 1] = __builtin_shufflevector(r[j], r[j + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    for (int j = 0; j < 8; j += 4)
        for (int h = 0; h < 2; ++h) {
            u[j + 2 * h] = __builtin_shufflevector(t[j + h], t[j + h + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            u[j + 2 * h + 1] = __builtin_shufflevector(t[j + h], t[j + h + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    for (int l = 0; l < 4; ++l) {
        r[l] = __builtin_shufflevector(u[l], u[l + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        r[l + 4] = __builtin_shufflevector(u[l], u[l + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

// Rows of W steps (lanes across) turned into columns (steps across).
HYDRO_LANE_INLINE void transpose(vfloat* r) {
#if defined(HYDRO_LANE_PAIRS)
    // The four 8 x 8 quarters transposed, the two off the diagonal swapped.
    half_float q[4][8];
    for (int i = 0; i < 8; ++i) {
        q[0][i] = r[i].lo;
        q[1][i] = r[i].hi;
        q[2][i] = r[i + 8].lo;
        q[3][i] = r[i + 8].hi;
    }
    for (half_float* quarter : q) transpose8(quarter);
    for (int i = 0; i < 8; ++i) {
        r[i] = {q[0][i], q[2][i]};
        r[i + 8] = {q[1][i], q[3][i]};
    }
#elif HYDRO_LANES == 16
    // Four perfect shuffles: each interleaves row i with row i + 8.
    for (int stage = 0; stage < 4; ++stage) {
        vfloat t[16];
        for (int i = 0; i < 8; ++i) {
            t[2 * i] = __builtin_shufflevector(r[i], r[i + 8], 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
            t[2 * i + 1] =
                __builtin_shufflevector(r[i], r[i + 8], 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
        }
        for (int i = 0; i < 16; ++i) r[i] = t[i];
    }
#elif HYDRO_LANES == 4
    const vfloat t0 = __builtin_shufflevector(r[0], r[1], 0, 4, 1, 5),
                 t1 = __builtin_shufflevector(r[0], r[1], 2, 6, 3, 7);
    const vfloat t2 = __builtin_shufflevector(r[2], r[3], 0, 4, 1, 5),
                 t3 = __builtin_shufflevector(r[2], r[3], 2, 6, 3, 7);
    r[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    r[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    r[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    r[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
#else
#error "lanes: 4, 8 or 16"
#endif
}

// The fixed values of the cells of one group, lane by lane.
struct LaneCells {
    int real = 0;  // lanes holding a cell of the block; the others repeat lane 0
    std::size_t cell[W], index[W];
    CellParameters<vfloat> parameters;
    vfloat subbasin_cells;
    std::size_t tail_begin[W], tail_len[W];
    const float* rain_of[W];
    const float* pet_of[W];
    const float* temp_of[W];
    int32_t route_last;  // largest lag any lane routes within its tail
};

// Lane l of each field of `to` from `from`.
template <class S>
HYDRO_LANE_INLINE void set_lane(S& to, int l, const CellGrids<float>& from) {
    to.porosity[l] = from.porosity;
    to.depression_capacity[l] = from.depression_capacity;
    to.interception_max[l] = from.interception_max;
    to.interception_min[l] = from.interception_min;
    to.runoff_coefficient[l] = from.runoff_coefficient;
    to.residual[l] = from.residual;
    to.wilting_point[l] = from.wilting_point;
    to.field_capacity[l] = from.field_capacity;
    to.conductivity[l] = from.conductivity;
    to.pore_index[l] = from.pore_index;
    to.slope[l] = from.slope;
}

static void gather_cells(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first, int real,
                         const TileSteps& ts, const ModelState& state, LaneCells& lc) {
    const ModelInputs& in = run.in;
    const Catchment& g = run.catchment;
    const ControlFile& cf = run.control;
    lc.real = real;
    lc.route_last = -1;
    CellGrids<vfloat> grids{};
    for (int l = 0; l < W; ++l) {
        const std::size_t c = first + static_cast<std::size_t>(l < real ? l : 0);
        const std::size_t i = cells[c].index;
        lc.cell[l] = c;
        lc.index[l] = i;
        set_lane(grids, l, cell_grids(g, i));
        const std::size_t sb = static_cast<std::size_t>(g.subbasin_id[i] - 1);
        lc.subbasin_cells[l] = static_cast<float>(g.subbasin_cell_count[sb]);
        lc.tail_begin[l] = state.tail_offset[c];
        lc.tail_len[l] = state.tail_offset[c + 1] - state.tail_offset[c];
        lc.rain_of[l] = ts.rain.of(g.station_zone_p[i] - 1);
        lc.pet_of[l] = ts.pet.of(g.station_zone_e[i] - 1);
        lc.temp_of[l] = cf.temperature_used() ? ts.temperature.of(g.station_zone_t[i] - 1) : nullptr;
        const int32_t last = static_cast<int32_t>(
            std::min<int64_t>(in.cell_responses.last(c), static_cast<int64_t>(lc.tail_len[l]) - 1));
        lc.route_last = std::max(lc.route_last, last);
    }
    lc.parameters = cell_parameters(grids, g.dry_runoff_coefficient, cf);
}

// Series of each lane (len values from from[l]) into one row of lanes per step.
static void lanes_across(const float* const* from, std::size_t len, float* to) {
    std::size_t t = 0;
    for (; t + W <= len; t += W) {
        vfloat r[W];
        for (int l = 0; l < W; ++l) r[l] = load(from[l] + t);
        transpose(r);
        for (int j = 0; j < W; ++j) store(to + (t + j) * W, r[j]);
    }
    for (; t < len; ++t)
        for (int l = 0; l < W; ++l) to[t * W + l] = from[l][t];
}

// Rows of lanes, one per step, into one series of len steps per lane; true
// when a value is 1e30 or more in size, or not a number.
static bool lanes_apart(const float* from, std::size_t len, float* to) {
    const vfloat limit = splat(1e30f);
    vmask suspect{};
    std::size_t t = 0;
    for (; t + W <= len; t += W) {
        vfloat r[W];
        for (int j = 0; j < W; ++j) {
            r[j] = load(from + (t + j) * W);
            suspect |= ~(pick(r[j] < 0.0f, -r[j], r[j]) < limit);
        }
        transpose(r);
        for (int l = 0; l < W; ++l) store(to + l * len + t, r[l]);
    }
    bool tail_suspect = false;
    for (; t < len; ++t)
        for (int l = 0; l < W; ++l) {
            to[l * len + t] = from[t * W + l];
            tail_suspect = tail_suspect || !(std::fabs(from[t * W + l]) < 1e30f);
        }
    return any(suspect) || tail_suspect;
}

// The scratch of one group over the tile, one row of W lanes per step (or lag).
struct GroupScratch {
    std::size_t len = 0, span = 0;  // steps of the tile; steps the arrivals reach
    float* surface_series;          // arrivals, span rows
    float* interflow_series;
    float* rain;  // forcing, len rows
    float* pet;
    float* temperature;
    float* ordinate;                      // by lag from 0
    float* lag_used;                      // masks, by lag
    float* map_sum;                       // one row per map slot
    float* contribution[kContributions];  // len rows each
};

static GroupScratch lay_out_scratch(const std::vector<ValidCell>&, std::size_t first, std::size_t count,
                                    const TileSteps& ts, const ModelState& state, BlockTile& out) {
    GroupScratch s;
    std::size_t widest = 0;
    for (std::size_t c = first; c < first + count; ++c)
        widest = std::max(widest, state.tail_offset[c + 1] - state.tail_offset[c]);
    s.len = ts.len;
    s.span = ts.len + widest;
    const std::size_t lags = widest + 1, n_slots = ts.kind_offset[kSnapshotKinds];
    out.scratch.resize((2 * s.span + 3 * s.len + 2 * lags + n_slots + kContributions * s.len) * W);
    s.surface_series = out.scratch.data();
    s.interflow_series = s.surface_series + s.span * W;
    s.rain = s.interflow_series + s.span * W;
    s.pet = s.rain + s.len * W;
    s.temperature = s.pet + s.len * W;
    s.ordinate = s.temperature + s.len * W;
    s.lag_used = s.ordinate + lags * W;
    s.map_sum = s.lag_used + lags * W;
    for (int q = 0; q < kContributions; ++q) s.contribution[q] = s.map_sum + (n_slots + q * s.len) * W;
    return s;
}

using GroupStores = CellStores<vfloat>;

// Everything the group's cells need over the tile: forcing step by step,
// ordinates by lag, the arrivals carried in, the map sums, the stores.
static void gather_group(const RunView& run, const LaneCells& lc, const TileSteps& ts, const ModelState& state,
                         const SnapshotSums& snap, GroupScratch& s, GroupStores& stores) {
    const ResponseTable& responses = run.in.cell_responses;
    lanes_across(lc.rain_of, s.len, s.rain);
    lanes_across(lc.pet_of, s.len, s.pet);
    if (run.control.temperature_used()) lanes_across(lc.temp_of, s.len, s.temperature);
    for (int32_t k = 0; k <= lc.route_last; ++k) {
        vfloat u = splat(0.0f);
        vmask used{};
        for (int l = 0; l < W; ++l) {
            const std::size_t c = lc.cell[l];
            const int32_t f = responses.first(c);
            const int32_t last =
                static_cast<int32_t>(std::min<int64_t>(responses.last(c), static_cast<int64_t>(lc.tail_len[l]) - 1));
            if (k >= f && k <= last) {
                u[l] = responses.ordinates(c)[k - f];
                used[l] = -1;
            }
        }
        store(s.ordinate + k * W, u);
        std::memcpy(s.lag_used + k * W, &used, sizeof used);
    }
    for (std::size_t j = 0; j < s.span * W; ++j) s.surface_series[j] = s.interflow_series[j] = 0.0f;
    for (int l = 0; l < W; ++l)
        for (std::size_t j = 0; j < lc.tail_len[l]; ++j) {
            s.surface_series[j * W + l] = state.surface_tail[lc.tail_begin[l] + j];
            s.interflow_series[j * W + l] = state.interflow_tail[lc.tail_begin[l] + j];
        }
    for (std::size_t a = 0; a < ts.active_slot.size(); ++a) {
        const int k = ts.active_kind[a];
        const std::size_t base = static_cast<std::size_t>(ts.active_slot[a] - ts.kind_offset[k]) * snap.grid_size;
        for (int l = 0; l < W; ++l) s.map_sum[ts.active_slot[a] * W + l] = snap.sum[k][base + lc.index[l]];
    }
    for (int l = 0; l < W; ++l) {
        const std::size_t c = lc.cell[l];
        stores.soil_moisture[l] = state.soil_moisture[c];
        stores.snow[l] = state.snow[c];
        stores.canopy[l] = state.canopy[c];
        stores.depression[l] = state.depression[c];
    }
}

// What the step of the group's cells adds to the basin and subbasin sums
// (step row `at` of each contribution) and to the map sums of its periods.
HYDRO_LANE_INLINE void add_contributions(const StepFluxes<vfloat>& f, vfloat rain, vfloat pet, vfloat soil_moisture,
                                         vfloat n_cells, vfloat m_cells, const TileSteps& ts, std::size_t tau,
                                         GroupScratch& s) {
    const vfloat evaporation = total_evaporation(f);
    const std::size_t at = tau * W;
    // Unrolled, so that each contribution is picked when compiling.
#pragma GCC unroll 16
    for (int q = 0; q < kContributions; ++q) {
        const SumReach reach = kContributionKinds[q].reach;
        if (reach == SumReach::outlet) continue;  // the arrivals: from the routing
        const vfloat value = step_contribution(q, f, rain, pet, soil_moisture);
        store(s.contribution[q] + at, value / (reach == SumReach::basin ? n_cells : m_cells));
    }

    const uint32_t e_begin = ts.entry_begin[tau], e_end = ts.entry_begin[tau + 1];
    if (e_begin == e_end) return;
    // Stored and read back whole (a lane type of two registers, copied in
    // smaller pieces, would stall the reads).
    alignas(64) float value[kSnapshotKinds][W];
    store(value[0], f.runoff);
    store(value[1], f.soil.interflow);
    store(value[2], f.soil.percolation);
    store(value[3], soil_moisture);
    store(value[4], evaporation);
    for (uint32_t e = e_begin; e < e_end; ++e) {
        float* sum = s.map_sum + ts.entry_slot[e] * W;
        store(sum, load(sum) + load(value[ts.entry_kind[e]]));
    }
}

// The group's cells through the steps of the tile.
static void run_group(const RunView& run, const LaneCells& lc, const TileSteps& ts, GroupScratch& s,
                      GroupStores& stores) {
    const ControlFile& cf = run.control;
    const float area = run.catchment.cell_area;
    const vfloat n_cells = splat(static_cast<float>(run.in.sizes.n_cells));
    const bool temperature_used = cf.temperature_used();
    for (std::size_t tau = 0; tau < s.len; ++tau) {
        const vfloat rain = load(s.rain + tau * W);
        const vfloat pet = cf.pet_factor * load(s.pet + tau * W);
        const vfloat temperature = temperature_used ? load(s.temperature + tau * W) : splat(0.0f);
        const StepFluxes<vfloat> f = water_balance_step<vfloat, KernelMath>(cf, lc.parameters, rain, pet, temperature,
                                                                            ts.seasonal_factor[tau], stores);
        // Runoff and interflow towards the outlet, arriving from the next step on.
        route_lanes(f.runoff, s.ordinate, s.lag_used, lc.route_last + 1, area, cf.time_step_hours,
                    s.surface_series + (tau + 1) * W);
        route_lanes(f.soil.interflow, s.ordinate, s.lag_used, lc.route_last + 1, area, cf.time_step_hours,
                    s.interflow_series + (tau + 1) * W);
        stores.soil_moisture = updated_soil_moisture(stores.soil_moisture, f.infiltration, f.soil);
        add_contributions(f, rain, pet, stores.soil_moisture, n_cells, lc.subbasin_cells, ts, tau, s);
    }
}

// The group's results of the tile into the block (each cell's series in one
// piece, for the ordered addition), its stores and tails into the state, its
// map sums back into the maps.
static void scatter_group(const LaneCells& lc, std::size_t grp, const TileSteps& ts, GroupScratch& s,
                          const GroupStores& stores, ModelState& state, SnapshotSums& snap, BlockTile& out) {
    const std::size_t len = s.len;
    std::memcpy(s.contribution[kSurfaceArrival], s.surface_series, len * W * sizeof(float));
    std::memcpy(s.contribution[kInterflowArrival], s.interflow_series, len * W * sizeof(float));
    for (int q = 0; q < kContributions; ++q)
        if (lanes_apart(s.contribution[q], len, out.values.data() + (q * out.n_groups + grp) * len * W))
            out.suspect[grp] = 1;
    for (int l = 0; l < lc.real; ++l) {
        const std::size_t c = lc.cell[l];
        for (std::size_t j = 0; j < lc.tail_len[l]; ++j) {
            state.surface_tail[lc.tail_begin[l] + j] = s.surface_series[(len + j) * W + l];
            state.interflow_tail[lc.tail_begin[l] + j] = s.interflow_series[(len + j) * W + l];
        }
        state.soil_moisture[c] = stores.soil_moisture[l];
        state.snow[c] = stores.snow[l];
        state.canopy[c] = stores.canopy[l];
        state.depression[c] = stores.depression[l];
    }
    for (std::size_t a = 0; a < ts.active_slot.size(); ++a) {
        const int k = ts.active_kind[a];
        const std::size_t base = static_cast<std::size_t>(ts.active_slot[a] - ts.kind_offset[k]) * snap.grid_size;
        for (int l = 0; l < lc.real; ++l) snap.sum[k][base + lc.index[l]] = s.map_sum[ts.active_slot[a] * W + l];
    }
}

// Advances the cells [first, first + count) of a block through the tile, W
// cells at a time.
static void simulate_block(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first,
                           std::size_t count, const TileSteps& ts, ModelState& state, SnapshotSums& snap,
                           BlockTile& out) {
    const std::size_t n_groups = (count + W - 1) / W;
    out.stride = ts.len;
    out.n_cells = count;
    out.lanes = W;
    out.n_groups = n_groups;
    out.values.resize(static_cast<std::size_t>(kContributions) * n_groups * ts.len * W);
    out.suspect.assign(n_groups, 0);
    GroupScratch scratch = lay_out_scratch(cells, first, count, ts, state, out);
    LaneCells lc;
    GroupStores stores;
    for (std::size_t grp = 0; grp < n_groups; ++grp) {
        const std::size_t g0 = first + grp * W;
        gather_cells(run, cells, g0, static_cast<int>(std::min<std::size_t>(W, first + count - g0)), ts, state, lc);
        gather_group(run, lc, ts, state, snap, scratch, stores);
        run_group(run, lc, ts, scratch, stores);
        scatter_group(lc, grp, ts, scratch, stores, state, snap, out);
    }
}

// One step of the water balance of each case, W cells side by side, the
// soil moisture updated (for comparisons with one cell at a time).
static void water_balance_cases(const ControlFile& cf, float dry_runoff_coefficient, float seasonal_factor,
                                CellStepCase* cases, std::size_t n) {
    for (std::size_t g0 = 0; g0 < n; g0 += W) {
        CellGrids<vfloat> grids{};
        CellStores<vfloat> s{};
        vfloat rain{}, pet{}, temperature{};
        for (int l = 0; l < W; ++l) {
            const CellStepCase& c = cases[std::min(g0 + static_cast<std::size_t>(l), n - 1)];
            set_lane(grids, l, c.grids);
            s.soil_moisture[l] = c.stores.soil_moisture;
            s.snow[l] = c.stores.snow;
            s.canopy[l] = c.stores.canopy;
            s.depression[l] = c.stores.depression;
            rain[l] = c.rain;
            pet[l] = c.pet;
            temperature[l] = c.temperature;
        }
        const CellParameters<vfloat> p = cell_parameters(grids, dry_runoff_coefficient, cf);
        const StepFluxes<vfloat> f =
            water_balance_step<vfloat, KernelMath>(cf, p, rain, pet, temperature, seasonal_factor, s);
        s.soil_moisture = updated_soil_moisture(s.soil_moisture, f.infiltration, f.soil);
        for (std::size_t l = 0; l < std::min<std::size_t>(W, n - g0); ++l) {
            CellStepCase& c = cases[g0 + l];
            c.stores = {s.soil_moisture[l], s.snow[l], s.canopy[l], s.depression[l]};
            c.fluxes.temperature = f.temperature[l];
            c.fluxes.canopy_evaporation = f.canopy_evaporation[l];
            c.fluxes.interception = f.interception[l];
            c.fluxes.infiltration = f.infiltration[l];
            c.fluxes.runoff = f.runoff[l];
            c.fluxes.depression_evaporation = f.depression_evaporation[l];
            c.fluxes.soil = {f.soil.evaporation[l], f.soil.percolation[l], f.soil.interflow[l]};
        }
    }
}

// Adds one contribution of the first `real` lanes of a group to their sums,
// lane after lane (the cell order): sum[l][t] = y[l * len + t] + sum[l][t].
static void add_group(const float* y, std::size_t len, int real, float* const* sum) {
    std::size_t t = 0;
    // Four vectors of steps at a time: each step's additions go lane after
    // lane, one chain per vector; four chains side by side keep the adder busy.
    constexpr std::size_t kChains = 4;
    for (; t + kChains * W <= len; t += kChains * W) {
        vfloat acc[kChains];
        for (std::size_t j = 0; j < kChains; ++j) acc[j] = load(sum[0] + t + j * W);
        for (int l = 0; l < real; ++l) {
            if (l > 0 && sum[l] != sum[l - 1]) {
                for (std::size_t j = 0; j < kChains; ++j) store(sum[l - 1] + t + j * W, acc[j]);
                for (std::size_t j = 0; j < kChains; ++j) acc[j] = load(sum[l] + t + j * W);
            }
            const float* from = y + static_cast<std::size_t>(l) * len + t;
            for (std::size_t j = 0; j < kChains; ++j) acc[j] = load(from + j * W) + acc[j];
        }
        for (std::size_t j = 0; j < kChains; ++j) store(sum[real - 1] + t + j * W, acc[j]);
    }
    for (; t + W <= len; t += W) {
        // Lanes that add to the same sum one after the other keep it in a register.
        vfloat acc = load(sum[0] + t);
        for (int l = 0; l < real; ++l) {
            if (l > 0 && sum[l] != sum[l - 1]) {
                store(sum[l - 1] + t, acc);
                acc = load(sum[l] + t);
            }
            acc = load(y + l * len + t) + acc;
        }
        store(sum[real - 1] + t, acc);
    }
    for (; t < len; ++t)
        for (int l = 0; l < real; ++l) sum[l][t] = y[l * len + t] + sum[l][t];
}

#undef HYDRO_LANE_INLINE
