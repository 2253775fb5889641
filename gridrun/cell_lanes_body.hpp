// The body of the cell kernel that advances several cells side by side, one
// cell per lane of a vector: every lane runs exactly the float operations a
// single cell runs, in the same order; where one cell would branch, both
// sides are computed and the lane keeps the side its own test chose. Power,
// logarithm and exponential are called once per lane that needs them, so
// every value is the one a cell-by-cell run gives, bit for bit.
//
// Included by cell_lanes.cpp once per instruction set, inside a namespace of
// its own, with HYDRO_LANES defined (the number of lanes). No include guard.

using vfloat = float __attribute__((vector_size(HYDRO_LANES * 4)));
using vmask = int32_t __attribute__((vector_size(HYDRO_LANES * 4)));
constexpr int W = HYDRO_LANES;

#define HYDRO_LANE_INLINE static inline __attribute__((always_inline))

HYDRO_LANE_INLINE vfloat splat(float x) {
    vfloat v;
    for (int l = 0; l < W; ++l) v[l] = x;
    return v;
}
HYDRO_LANE_INLINE vfloat load(const float* p) {
    vfloat v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
HYDRO_LANE_INLINE void store(float* p, vfloat v) { std::memcpy(p, &v, sizeof v); }
HYDRO_LANE_INLINE vmask load_mask(const float* p) {
    vmask m;
    std::memcpy(&m, p, sizeof m);
    return m;
}
HYDRO_LANE_INLINE vfloat pick(vmask m, vfloat a, vfloat b) { return m ? a : b; }
// The lanes of a mask as bits (lane l: bit l).
HYDRO_LANE_INLINE unsigned lane_bits(vmask m) {
#if defined(__x86_64__) && HYDRO_LANES == 16
    using half = float __attribute__((vector_size(32)));
    const vfloat f = reinterpret_cast<vfloat>(m);
    const half lo = __builtin_shufflevector(f, f, 0, 1, 2, 3, 4, 5, 6, 7);
    const half hi = __builtin_shufflevector(f, f, 8, 9, 10, 11, 12, 13, 14, 15);
    return static_cast<unsigned>(__builtin_ia32_movmskps256(lo)) |
           (static_cast<unsigned>(__builtin_ia32_movmskps256(hi)) << 8);
#elif defined(__x86_64__) && HYDRO_LANES == 8
    return static_cast<unsigned>(__builtin_ia32_movmskps256(reinterpret_cast<vfloat>(m)));
#elif defined(__x86_64__) && HYDRO_LANES == 4
    return static_cast<unsigned>(__builtin_ia32_movmskps(reinterpret_cast<vfloat>(m)));
#else
    unsigned r = 0;
    for (int l = 0; l < W; ++l) r |= (m[l] ? 1u : 0u) << l;
    return r;
#endif
}
HYDRO_LANE_INLINE bool any(vmask m) { return lane_bits(m) != 0; }
// One library call per lane of m, f(x[l], y[l]); the other lanes hold 0.
template <class F>
HYDRO_LANE_INLINE vfloat per_lane(vmask m, vfloat x, vfloat y, F f) {
    alignas(64) float xs[W], ys[W], r[W] = {};
    store(xs, x);
    store(ys, y);
    for (unsigned bits = lane_bits(m); bits; bits &= bits - 1) {
        const int l = __builtin_ctz(bits);
        r[l] = f(xs[l], ys[l]);
    }
    return load(r);
}

// powf(x, y), logf(x) or expf(x) of the lanes of m (the other lanes hold 0),
// with the library's bits.
enum class LaneFunction { pow, log, exp };
template <LaneFunction F>
HYDRO_LANE_INLINE vfloat library_lanes(vmask m, vfloat x, vfloat y) {
#ifdef HYDRO_LANE_POWF
    if (use_lane_powf) {
        static const LanePowfTables tables = lane_powf_tables();
        const __mmask16 bits = static_cast<__mmask16>(lane_bits(m));
        if constexpr (F == LaneFunction::pow) return lane_powf16(tables, x, y, bits);
        if constexpr (F == LaneFunction::log) return lane_logf16(tables, x, bits);
        if constexpr (F == LaneFunction::exp) return lane_expf16(tables, x, bits);
    }
#endif
    return per_lane(m, x, y, [](float a, float b) {
        if constexpr (F == LaneFunction::pow) return std::pow(a, b);
        (void)b;
        if constexpr (F == LaneFunction::log) return std::log(a);
        return std::exp(a);
    });
}

// Rows of W steps (lanes across) turned into columns (steps across).
HYDRO_LANE_INLINE void transpose(vfloat* r) {
#if HYDRO_LANES == 16
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
#elif HYDRO_LANES == 8
    vfloat t[8], u[8];
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
    vfloat porosity, depression_capacity, interception_max, interception_min, runoff_coefficient, dry_range, residual,
        wilting_point, field_capacity, conductivity, pore_index, interflow_factor, wet_range;
    vmask no_canopy_runoff, no_canopy_soil, runs_off_fully;
    float subbasin_divisor[W];
    std::size_t tail_begin[W], tail_len[W];
    const float* rain_of[W];
    const float* pet_of[W];
    const float* temp_of[W];
    int32_t route_last;  // largest lag any lane routes within its tail
};

static void gather_cells(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first, int real,
                         std::size_t t0, const ModelState& state, LaneCells& lc) {
    const ModelInputs& in = run.in;
    const Catchment& g = run.catchment;
    const ControlFile& cf = run.control;
    const std::size_t steps = static_cast<std::size_t>(in.sizes.n_steps);
    lc.real = real;
    lc.route_last = -1;
    for (int l = 0; l < W; ++l) {
        const std::size_t c = first + static_cast<std::size_t>(l < real ? l : 0);
        const std::size_t i = cells[c].index;
        lc.cell[l] = c;
        lc.index[l] = i;
        lc.porosity[l] = g.porosity[i];
        lc.depression_capacity[l] = g.depression_capacity[i];
        lc.interception_max[l] = g.interception_max[i];
        lc.interception_min[l] = g.interception_min[i];
        lc.runoff_coefficient[l] = g.runoff_coefficient[i];
        lc.dry_range[l] = g.runoff_coefficient[i] - g.dry_runoff_coefficient;
        lc.residual[l] = g.residual_moisture[i];
        lc.wilting_point[l] = g.wilting_point[i];
        lc.field_capacity[l] = g.field_capacity[i];
        lc.wet_range[l] = g.field_capacity[i] - g.wilting_point[i];
        lc.conductivity[l] = g.conductivity[i];
        lc.pore_index[l] = g.pore_index[i];
        lc.interflow_factor[l] = (cf.interflow_scale * g.slope[i]) * g.conductivity[i];
        lc.runs_off_fully[l] = g.runoff_coefficient[i] > 0.99f ? -1 : 0;
        lc.no_canopy_runoff[l] = g.interception_max[i] < 0.0001f ? -1 : 0;
        lc.no_canopy_soil[l] = g.interception_max[i] < 0.01f ? -1 : 0;
        const std::size_t sb = static_cast<std::size_t>(g.subbasin_id[i] - 1);
        lc.subbasin_divisor[l] = static_cast<float>(g.subbasin_cell_count[sb]);
        lc.tail_begin[l] = state.tail_offset[c];
        lc.tail_len[l] = state.tail_offset[c + 1] - state.tail_offset[c];
        lc.rain_of[l] = &in.precipitation.values[static_cast<std::size_t>(g.station_zone_p[i] - 1) * steps + t0];
        lc.pet_of[l] = &in.pet.values[static_cast<std::size_t>(g.station_zone_e[i] - 1) * steps + t0];
        lc.temp_of[l] = cf.temperature_used()
                            ? &in.temperature.values[static_cast<std::size_t>(g.station_zone_t[i] - 1) * steps + t0]
                            : nullptr;
        const int32_t last = std::min<int64_t>(in.cell_responses.last(c), static_cast<int64_t>(lc.tail_len[l]) - 1);
        lc.route_last = std::max(lc.route_last, last);
    }
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

// Advances the cells [first, first + count) of a block through the tile.
static void simulate_block(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first,
                           std::size_t count, const TileSteps& ts, ModelState& state, SnapshotSums& snap,
                           BlockTile& out) {
    const ModelInputs& in = run.in;
    const ControlFile& cf = run.control;
    const Catchment& g = run.catchment;
    const std::size_t len = ts.len;
    const std::size_t n_groups = (count + W - 1) / W;
    out.stride = len;
    out.n_cells = count;
    out.lanes = W;
    out.n_groups = n_groups;
    out.values.resize(static_cast<std::size_t>(kContributions) * n_groups * len * W);
    out.suspect.assign(n_groups, 0);

    const bool temperature_used = cf.temperature_used();
    const vfloat area = splat(g.cell_area), dt = splat(cf.time_step_hours);
    const vfloat pet_factor = splat(cf.pet_factor), melt_base = splat(cf.melt_base_temperature),
                 ddf = splat(cf.degree_day_factor), rmf = splat(cf.rain_melt_factor);
    const vfloat e0 = splat(cf.runoff_exponent), e0_less_one = splat(cf.runoff_exponent - 1.0f),
                 threshold = splat(cf.runoff_rain_threshold), dry = splat(g.dry_runoff_coefficient);
    const vfloat zero = splat(0.0f), one = splat(1.0f);
    const vfloat n_cells = splat(static_cast<float>(in.sizes.n_cells));
    const std::size_t n_slots = ts.kind_offset[kSnapshotKinds];

    std::size_t widest = 0;
    for (std::size_t c = first; c < first + count; ++c)
        widest = std::max(widest, state.tail_offset[c + 1] - state.tail_offset[c]);
    const std::size_t span = len + widest;
    // Scratch: the two arrival series, the forcing of the tile, the
    // ordinates by lag, the map sums of the tile's periods.
    const std::size_t lags = widest + 1;
    out.scratch.resize((2 * span + 3 * len + 2 * lags + n_slots + kContributions * len) * W);
    float* surface_series = out.scratch.data();
    float* interflow_series = surface_series + span * W;
    float* rain_in = interflow_series + span * W;
    float* pet_in = rain_in + len * W;
    float* temp_in = pet_in + len * W;
    float* ordinate = temp_in + len * W;
    float* lag_used = ordinate + lags * W;  // masks, one per lag
    float* map_sum = ordinate + 2 * lags * W;
    float* by_step = map_sum + n_slots * W;  // the contributions of one group, step after step

    LaneCells lc;
    for (std::size_t grp = 0; grp < n_groups; ++grp) {
        const std::size_t g0 = first + grp * W;
        const int real = static_cast<int>(std::min<std::size_t>(W, first + count - g0));
        gather_cells(run, cells, g0, real, ts.t0, state, lc);

        // The forcing of the tile, step by step across the lanes.
        lanes_across(lc.rain_of, len, rain_in);
        lanes_across(lc.pet_of, len, pet_in);
        if (temperature_used) lanes_across(lc.temp_of, len, temp_in);
        // Ordinates by absolute lag, and which lanes route at that lag.
        const int32_t route_last = lc.route_last;
        for (int32_t k = 0; k <= route_last; ++k) {
            vfloat u = zero;
            vmask used{};
            for (int l = 0; l < W; ++l) {
                const std::size_t c = lc.cell[l];
                const int32_t f = in.cell_responses.first(c);
                const int32_t last =
                    std::min<int64_t>(in.cell_responses.last(c), static_cast<int64_t>(lc.tail_len[l]) - 1);
                if (k >= f && k <= last) {
                    u[l] = in.cell_responses.ordinates(c)[k - f];
                    used[l] = -1;
                }
            }
            store(ordinate + k * W, u);
            std::memcpy(lag_used + k * W, &used, sizeof used);
        }
        // Arrivals: the tails carried in, then zeros.
        for (std::size_t j = 0; j < span * W; ++j) surface_series[j] = interflow_series[j] = 0.0f;
        for (int l = 0; l < W; ++l)
            for (std::size_t j = 0; j < lc.tail_len[l]; ++j) {
                surface_series[j * W + l] = state.surface_tail[lc.tail_begin[l] + j];
                interflow_series[j * W + l] = state.interflow_tail[lc.tail_begin[l] + j];
            }
        // The cells' map sums of the tile's periods.
        for (std::size_t a = 0; a < ts.active_slot.size(); ++a) {
            const int k = ts.active_kind[a];
            const std::size_t base = static_cast<std::size_t>(ts.active_slot[a] - ts.kind_offset[k]) * snap.grid_size;
            for (int l = 0; l < W; ++l) map_sum[ts.active_slot[a] * W + l] = snap.sum[k][base + lc.index[l]];
        }

        vfloat soil_moisture, snow, canopy, depression;
        for (int l = 0; l < W; ++l) {
            const std::size_t c = lc.cell[l];
            soil_moisture[l] = state.soil_moisture[c];
            snow[l] = state.snow[c];
            canopy[l] = state.canopy[c];
            depression[l] = state.depression[c];
        }
        vfloat m_cells;
        for (int l = 0; l < W; ++l) m_cells[l] = lc.subbasin_divisor[l];

        const vfloat porosity = lc.porosity, capacity = lc.depression_capacity, residual = lc.residual,
                     field_capacity = lc.field_capacity, coefficient = lc.runoff_coefficient;
        float* o[kContributions];
        for (int q = 0; q < kContributions; ++q) o[q] = by_step + q * len * W;

        for (std::size_t tau = 0; tau < len; ++tau) {
            const vfloat rain = load(rain_in + tau * W);
            const vfloat pet = pet_factor * load(pet_in + tau * W);
            vfloat temperature = zero, melt = zero;
            vmask snow_step{};
            if (temperature_used) {
                temperature = load(temp_in + tau * W);
                const vmask melting = temperature > melt_base;
                snow_step = ~melting;
                const vmask melts = melting & (snow > zero);
                const vfloat d = temperature - melt_base;
                const vfloat potential = ((d * ddf * dt) / 24.0f) + ((d * (rain * rmf) * dt) / 24.0f);
                const vfloat m = pick(potential < snow, potential, snow);
                melt = pick(melts, m, zero);
                snow = pick(melts, snow - m, snow);
                snow = pick(snow_step, snow + rain, snow);
            }
            const vmask active = ~snow_step;

            vfloat canopy_evaporation = zero, interception = zero, runoff = zero, infiltration = zero,
                   depression_evaporation = zero, soil_et = zero, percolation = zero, interflow = zero;
            if (!any(active)) {
                // Snow everywhere: the canopy and the depressions are emptied, nothing else moves.
                canopy = zero;
                depression = zero;
            } else {
                // Canopy.
                const vmask wetted = (rain > zero) | (canopy > zero);
                const vfloat cap_of_day =
                    ((lc.interception_max - lc.interception_min) * ts.seasonal_factor[tau]) / 2.55f +
                    lc.interception_min;
                const vfloat canopy_evaporation0 = pick(pet < canopy, pet, canopy);
                const vfloat room = cap_of_day - canopy;
                const vfloat caught0 = pick(room < rain, pick(room > zero, room, zero), rain);
                const vfloat left = caught0 + canopy - canopy_evaporation0;
                const vmask canopy_on = wetted & active;
                canopy_evaporation = pick(canopy_on, canopy_evaporation0, zero);
                interception = pick(canopy_on, caught0, zero);
                canopy = pick(canopy_on, pick(left > zero, left, zero), zero);
                const vfloat net_rain = melt + pick(wetted, rain - caught0, zero);

                // Runoff fraction.
                const vmask has_net = (net_rain > zero) & active;
                const vfloat exponent = pick(net_rain >= threshold, one, e0 - (e0_less_one * rain) / threshold);
                const vfloat w = soil_moisture / porosity;
                const vfloat we = library_lanes<LaneFunction::pow>(has_net & ~lc.runs_off_fully, w, exponent);
                const vfloat fraction =
                    pick(lc.runs_off_fully, one, pick(lc.no_canopy_runoff, we * lc.dry_range + dry, we * coefficient));
                const vmask saturated = soil_moisture > 0.9f * porosity;
                runoff = pick(saturated, net_rain, fraction * net_rain);
                infiltration = pick(saturated, zero, (one - fraction) * net_rain);
                runoff = pick(has_net, runoff, zero);
                infiltration = pick(has_net, infiltration, zero);

                // Depressions.
                const vfloat demand_d = pet - canopy_evaporation;
                const vmask filling = (runoff > zero) & (capacity > zero) & active;
                const vmask draining = ~filling & (depression > zero) & active;
                const vfloat depression_evaporation0 = pick(demand_d < depression, demand_d, depression);
                vfloat filled_store = zero, after_filling = zero;
                if (any(filling)) {
                    const vfloat room_left = 1.0f - depression / capacity;
                    const vfloat ln = library_lanes<LaneFunction::log>(filling, room_left, zero);
                    const vfloat cumulative = runoff - ln * capacity;
                    const vfloat decay_arg = 0.0f - cumulative / capacity;
                    const vfloat decay = library_lanes<LaneFunction::exp>(filling, decay_arg, zero);
                    vfloat fill = decay * runoff;
                    const vfloat kept = fill + depression - depression_evaporation0;
                    vfloat store_a = pick(kept > zero, kept, zero);
                    const vmask full = store_a >= capacity;
                    fill = pick(full, capacity - depression, fill);
                    store_a = pick(full, capacity, store_a);
                    filled_store = store_a;
                    after_filling = runoff - fill;
                }
                const vfloat drain_fraction = (coefficient * soil_moisture) / porosity;
                const vfloat drained = (one - drain_fraction) * (depression - depression_evaporation0);
                const vfloat drained_in = pick(drained > zero, drained, zero);
                depression_evaporation = pick(filling | draining, depression_evaporation0, zero);
                infiltration = pick(draining, drained_in, infiltration);
                depression = pick(filling, filled_store,
                                  pick(draining, depression - depression_evaporation0 - drained_in, zero));
                runoff = pick(filling, after_filling, zero);

                // Soil water.
                const vfloat demand = pet - canopy_evaporation - depression_evaporation;
                const vfloat relative = (soil_moisture - lc.wilting_point) / lc.wet_range;
                soil_et =
                    pick(soil_moisture <= residual, zero,
                         pick(soil_moisture >= field_capacity, pick(demand > zero, demand, zero), demand * relative));
                soil_et = pick(lc.no_canopy_soil, soil_et * 0.3f, soil_et);
                soil_et = pick(active, soil_et, zero);
                const vfloat pore_capacity = (porosity - soil_et) - residual;
                const vfloat after_et = soil_moisture - soil_et;
                const vmask percolates = (after_et > field_capacity) & active;
                const vfloat perc_base = (after_et - residual) / pore_capacity;
                const vfloat perc_pow = library_lanes<LaneFunction::pow>(percolates, perc_base, lc.pore_index);
                percolation = pick(percolates, perc_pow * lc.conductivity, zero);
                const vfloat drainable = soil_moisture - soil_et - percolation - residual;
                const vmask flows = (soil_moisture - soil_et - percolation > field_capacity) & active;
                const vfloat flow_base = drainable / pore_capacity;
                const vfloat flow_pow = library_lanes<LaneFunction::pow>(flows, flow_base, lc.pore_index);
                interflow = pick(flows, flow_pow * lc.interflow_factor, zero);
                // The floor of the store (see soil_water.hpp).
                const vfloat updated0 = (((infiltration + soil_moisture) - soil_et) - percolation) - interflow;
                const vmask too_low = (updated0 < residual) & active;
                if (any(too_low)) {
                    vfloat available = (infiltration + soil_moisture) - residual;
                    available = pick(available > zero, available, zero);
                    const vfloat et2 = pick(available < soil_et, available, soil_et);
                    const vfloat perc2 = pick(available - et2 < percolation, available - et2, percolation);
                    const vfloat rest = (available - et2) - perc2;
                    const vfloat flow2 = pick(rest < interflow, rest, interflow);
                    soil_et = pick(too_low, et2, soil_et);
                    percolation = pick(too_low, perc2, percolation);
                    interflow = pick(too_low, flow2, interflow);
                }
            }

            // Routing of runoff and interflow towards the outlet: a depth of the
            // step arrives k + 1 steps later as ((((depth / 1000) x uh(k)) x area) / dt) / 3600.
            auto route = [&](vfloat depth, float* series) {
                const vmask routes = depth > zero;
                if (!any(routes)) return;
                const vfloat d = depth / 1000.0f;
                float* at = series + (tau + 1) * W;
                for (int32_t k = 0; k <= route_last; ++k) {
                    const vfloat s = load(at + k * W);
                    const vfloat v = (((d * load(ordinate + k * W)) * area) / dt) / 3600.0f + s;
                    store(at + k * W, pick(routes & load_mask(lag_used + k * W), v, s));
                }
            };
            route(runoff, surface_series);
            route(interflow, interflow_series);

            soil_moisture = (((infiltration + soil_moisture) - soil_et) - percolation) - interflow;
            const vfloat evaporation = (depression_evaporation + canopy_evaporation) + soil_et;

            const std::size_t at = tau * W;
            store(o[kRain] + at, rain / n_cells);
            store(o[kTemperature] + at, temperature / n_cells);
            store(o[kInterception] + at, interception / n_cells);
            store(o[kMoistureMean] + at, soil_moisture / n_cells);
            store(o[kInfiltration] + at, infiltration / n_cells);
            store(o[kEvaporationMean] + at, evaporation / n_cells);
            store(o[kSurfaceRunoff] + at, runoff / n_cells);
            store(o[kInterflowMean] + at, interflow / n_cells);
            store(o[kPercolation] + at, percolation / m_cells);
            store(o[kPet] + at, pet / m_cells);
            store(o[kEvaporationSubbasin] + at, evaporation / m_cells);

            // Map sums of the periods that hold the step.
            const uint32_t e_begin = ts.entry_begin[tau], e_end = ts.entry_begin[tau + 1];
            if (e_begin != e_end) {
                const vfloat value[kSnapshotKinds] = {runoff, interflow, percolation, soil_moisture, evaporation};
                for (uint32_t e = e_begin; e < e_end; ++e) {
                    float* sum = map_sum + ts.entry_slot[e] * W;
                    store(sum, load(sum) + value[ts.entry_kind[e]]);
                }
            }
        }

        // Arrivals of the tile, and what is carried on in the tails.
        std::memcpy(o[kSurfaceArrival], surface_series, len * W * sizeof(float));
        std::memcpy(o[kInterflowArrival], interflow_series, len * W * sizeof(float));
        // Each cell's series of the tile in one piece, for the ordered addition.
        for (int q = 0; q < kContributions; ++q)
            if (lanes_apart(o[q], len, out.values.data() + (q * n_groups + grp) * len * W)) out.suspect[grp] = 1;
        for (int l = 0; l < real; ++l) {
            const std::size_t c = lc.cell[l];
            for (std::size_t j = 0; j < lc.tail_len[l]; ++j) {
                state.surface_tail[lc.tail_begin[l] + j] = surface_series[(len + j) * W + l];
                state.interflow_tail[lc.tail_begin[l] + j] = interflow_series[(len + j) * W + l];
            }
            state.soil_moisture[c] = soil_moisture[l];
            state.snow[c] = snow[l];
            state.canopy[c] = canopy[l];
            state.depression[c] = depression[l];
        }
        for (std::size_t a = 0; a < ts.active_slot.size(); ++a) {
            const int k = ts.active_kind[a];
            const std::size_t base = static_cast<std::size_t>(ts.active_slot[a] - ts.kind_offset[k]) * snap.grid_size;
            for (int l = 0; l < real; ++l) snap.sum[k][base + lc.index[l]] = map_sum[ts.active_slot[a] * W + l];
        }
    }
}

// Adds one contribution of the first `real` lanes of a group to their sums,
// lane after lane (the cell order): sum[l][t] = y[l * len + t] + sum[l][t].
static void add_group(const float* y, std::size_t len, int real, float* const* sum) {
    std::size_t t = 0;
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
