#include "cell_loop.hpp"

#include <algorithm>
#include <cmath>

#include "calendar.hpp"
#include "cell_lanes.hpp"
#include "interception.hpp"

namespace hydro {

bool is_valid_cell(const Catchment& g, std::size_t i) {
    return g.root_depth[i] >= 0.0f && g.porosity[i] >= 0.0f && g.slope[i] >= 0.0f && g.station_zone_p[i] >= 0 &&
           g.subbasin_id[i] >= 0 && g.runoff_coefficient[i] >= 0.0f;
}

float initial_snow_storage(int32_t month) {
    switch (month) {
        case 11:
            return 15.0f;
        case 12:
            return 25.0f;
        case 1:
            return 35.0f;
        case 2:
            return 45.0f;
        default:
            return 0.0f;
    }
}

std::vector<ValidCell> valid_cells(const Catchment& g, int32_t n_rows, int32_t n_cols) {
    std::vector<ValidCell> cells;
    for (int32_t r = 0; r < n_rows; ++r)
        for (int32_t c = 0; c < n_cols; ++c)
            if (is_valid_cell(g, g.index(r, c))) cells.push_back({g.index(r, c), r + 1, c + 1});
    return cells;
}

std::vector<std::size_t> cell_tail_offsets(const ResponseTable& responses, std::size_t n_cells, std::size_t cap) {
    std::vector<std::size_t> offset(n_cells + 1, 0);
    for (std::size_t c = 0; c < n_cells; ++c) {
        const int32_t first = responses.first(c), last = responses.last(c);
        const std::size_t len = last >= first && last >= 0 ? std::min<std::size_t>(std::size_t(last) + 1, cap) : 0;
        offset[c + 1] = offset[c] + len;
    }
    return offset;
}

void prepare_tile_steps(const ModelInputs& in, const ControlFile& control, std::size_t t0, std::size_t len,
                        TileSteps& s) {
    s.t0 = t0;
    s.len = len;
    s.seasonal_factor.resize(len);
    s.entry_begin.assign(len + 1, 0);
    s.entry_kind.clear();
    s.entry_slot.clear();
    s.kind_offset[0] = 0;
    for (int k = 0; k < kSnapshotKinds; ++k)
        s.kind_offset[k + 1] = s.kind_offset[k] + static_cast<uint32_t>(control.periods[k].size());
    const StepCalendar& cal = in.calendar;
    for (std::size_t tau = 0; tau < len; ++tau) {
        const std::size_t t = t0 + tau;
        // The seasonal interception factor depends on the day of the year only.
        s.seasonal_factor[tau] = interception_seasonal_factor(cal.day_of_year[t]);
        for (int k = 0; k < kSnapshotKinds; ++k) {
            const auto& periods = control.periods[k];
            for (std::size_t j = 0; j < periods.size(); ++j)
                if (periods[j].contains(cal.date_code[t])) {
                    s.entry_kind.push_back(static_cast<uint8_t>(k));
                    s.entry_slot.push_back(s.kind_offset[k] + static_cast<uint32_t>(j));
                }
        }
        s.entry_begin[tau + 1] = static_cast<uint32_t>(s.entry_slot.size());
    }
    std::vector<char> used(s.kind_offset[kSnapshotKinds], 0);
    for (uint32_t slot : s.entry_slot) used[slot] = 1;
    s.active_slot.clear();
    s.active_kind.clear();
    for (int k = 0; k < kSnapshotKinds; ++k)
        for (uint32_t j = s.kind_offset[k]; j < s.kind_offset[k + 1]; ++j)
            if (used[j]) {
                s.active_slot.push_back(j);
                s.active_kind.push_back(static_cast<uint8_t>(k));
            }
}

void point_tile_forcing(const ModelInputs& in, std::size_t t0, std::size_t len, TileSteps& s) {
    auto point = [&](const StationSeries& series, TileForcing& f) {
        const std::size_t first = static_cast<std::size_t>(series.first_step);
        const bool held = first <= t0 && t0 + len <= first + static_cast<std::size_t>(series.held_steps);
        f.first = held && !series.values.empty() ? series.values.data() + (t0 - first) : nullptr;
        f.stride = static_cast<std::size_t>(series.held_steps);
    };
    point(in.precipitation, s.rain);
    point(in.pet, s.pet);
    point(in.temperature, s.temperature);
}

void TileSums::reset(std::size_t n, std::size_t n_subbasins, bool mode2) {
    len = n;
    for (const ContributionKind& k : kContributionKinds) {
        const bool per_subbasin = k.reach == SumReach::subbasin || (k.reach == SumReach::outlet && mode2);
        (this->*k.sum).assign(per_subbasin ? n * n_subbasins : n, 0.0f);
    }
}

namespace {

// The first step at which the sum of a cell's contributions (as one value) is
// not finite, or false.
bool cell_has_non_finite(const BlockTile& block, std::size_t grp, std::size_t lane, std::size_t& first_step) {
    const std::size_t at = lane * block.stride;
    for (std::size_t t = 0; t < block.stride; ++t) {
        float probe = block.group(0, grp)[at + t];
        for (int k = 1; k < kContributions; ++k) probe = probe + block.group(k, grp)[at + t];
        if (!std::isfinite(probe)) {
            first_step = t;
            return true;
        }
    }
    return false;
}

}  // namespace

void simulate_block_tile(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first, std::size_t count,
                         const TileSteps& steps, ModelState& state, SnapshotSums& maps, BlockTile& out) {
    simulate_block_lanes(run, cells, first, count, steps, state, maps, out);
}

void add_block_tile(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first, const BlockTile& block,
                    std::size_t t0, TileSums& s, FirstNonFinite& non_finite, BlockPart part) {
    const bool temperature_used = run.control.temperature_used();
    const bool mode2 = run.in.sizes.run_mode == 2;
    const std::size_t len = block.stride, w = block.lanes;
    const Catchment& g = run.catchment;
    for (std::size_t grp = 0; grp < block.n_groups; ++grp) {
        const std::size_t c0 = grp * w;
        const int real = static_cast<int>(std::min(w, block.n_cells - c0));
        std::size_t subbasin_at[kMaxLanes];
        for (int l = 0; l < real; ++l)
            subbasin_at[l] =
                static_cast<std::size_t>(g.subbasin_id[cells[first + c0 + static_cast<std::size_t>(l)].index] - 1) *
                len;
        for (int q = 0; q < kContributions; ++q) {
            const ContributionKind& k = kContributionKinds[q];
            if (k.part != part || (k.temperature_only && !temperature_used)) continue;
            // The same sum for every lane, or each lane's subbasin's.
            const bool per_subbasin = k.reach == SumReach::subbasin || (k.reach == SumReach::outlet && mode2);
            float* at[kMaxLanes];
            for (int l = 0; l < real; ++l) at[l] = (s.*k.sum).data() + (per_subbasin ? subbasin_at[l] : 0);
            add_group_lanes(block.group(q, grp), len, real, at);
        }
        if (part == BlockPart::first) continue;
        // Values far below the largest float cannot add up to a non-finite
        // sum: only a group with a larger or non-finite value is looked at closely.
        if (!block.suspect[grp]) continue;
        for (int l = 0; l < real; ++l) {
            std::size_t bad_step = 0;
            if (cell_has_non_finite(block, grp, static_cast<std::size_t>(l), bad_step)) {
                const ValidCell& cell = cells[first + c0 + static_cast<std::size_t>(l)];
                FirstNonFinite here;
                here.step = t0 + bad_step;
                here.cell = first + c0 + static_cast<std::size_t>(l);
                here.row = cell.row;
                here.col = cell.col;
                non_finite.merge(here);
            }
        }
    }
}

}  // namespace hydro
