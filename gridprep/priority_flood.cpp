#include "priority_flood.hpp"

#include <cstdint>
#include <algorithm>
#include <cstring>

namespace gridprep {

bool is_edge_cell(const Raster& dem, int32_t row, int32_t col) {
    const Geometry& g = dem.geometry;
    if (!dem.has_data[g.index(row, col)]) return false;
    if (row == 0 || col == 0 || row == g.n_rows - 1 || col == g.n_cols - 1) return true;
    for (int k = 0; k < 8; ++k)
        if (!dem.has_data[neighbour_index(g, CellPosition{row, col}, k)]) return true;
    return false;
}

namespace {

// A monotone priority queue (every key pushed is at least the last key
// popped, as in a flood that only rises): a radix heap over the 64 bits of
// the keys. Bucket b holds the keys that first differ from the last popped
// key in bit b - 1 (bucket 0: equal to it); popping refills the lower
// buckets from the first non-empty one. Each entry moves down at most 64
// times, and in practice once or twice.
class RisingQueue {
  public:
    struct Entry {
        uint64_t key;
        uint32_t cell;
    };
    bool empty() const { return size_ == 0; }
    void push(uint64_t key, uint32_t cell) {
        buckets_[bucket(key)].push_back({key, cell});
        ++size_;
    }
    // The entry of smallest key (among equals, any).
    Entry pop() {
        if (buckets_[0].empty()) {
            std::size_t b = 1;
            while (buckets_[b].empty()) ++b;
            uint64_t least = buckets_[b].front().key;
            for (const Entry& e : buckets_[b]) least = std::min(least, e.key);
            last_ = least;
            std::vector<Entry> moving;
            moving.swap(buckets_[b]);
            for (const Entry& e : moving) buckets_[bucket(e.key)].push_back(e);
            moving.clear();
            moving.swap(buckets_[b]);  // keep its storage
        }
        const Entry e = buckets_[0].back();
        buckets_[0].pop_back();
        --size_;
        return e;
    }

  private:
    std::size_t bucket(uint64_t key) const {
        const uint64_t diff = key ^ last_;
        return diff == 0 ? 0 : 64 - static_cast<std::size_t>(__builtin_clzll(diff));
    }
    std::vector<Entry> buckets_[65];
    uint64_t last_ = 0;
    std::size_t size_ = 0;
};

// A key whose unsigned order is the order of the elevations.
uint64_t rising_key(double z) {
    uint64_t bits;
    std::memcpy(&bits, &z, sizeof bits);
    if (z == 0.0) bits = 0;  // -0 and +0 alike
    return (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
}

}  // namespace

std::vector<double> fill_depressions(const Raster& dem) {
    const Geometry& g = dem.geometry;
    const int32_t cols = g.n_cols;
    std::vector<double> filled = dem.value;
    std::vector<uint8_t> reached(g.cells(), 0);

    // The rim of the flooded region, lowest first. The filled elevations do
    // not depend on the order among cells of equal level.
    RisingQueue rim;
    // Cells raised to the level of the cell that reached them: the inside of
    // a depression being filled. They need no ordering, since they all lie at
    // that level, so a plain first-in first-out list serves them.
    std::vector<uint32_t> pit;
    std::size_t pit_head = 0;

    for (int32_t r = 0; r < g.n_rows; ++r)
        for (int32_t c = 0; c < cols; ++c)
            if (is_edge_cell(dem, r, c)) {
                const std::size_t i = g.index(r, c);
                reached[i] = 1;
                rim.push(rising_key(filled[i]), static_cast<uint32_t>(i));
            }

    while (pit_head < pit.size() || !rim.empty()) {
        std::size_t i;
        if (pit_head < pit.size()) {
            i = pit[pit_head++];
            if (pit_head == pit.size()) pit.clear(), pit_head = 0;
        } else {
            i = rim.pop().cell;
        }
        const double level = filled[i];
        for_each_neighbour(g, i, [&](std::size_t n, int) {
            if (reached[n] || !dem.has_data[n]) return;
            reached[n] = 1;
            if (filled[n] <= level) {
                filled[n] = level;
                pit.push_back(static_cast<uint32_t>(n));
            } else {
                rim.push(rising_key(filled[n]), static_cast<uint32_t>(n));
            }
        });
    }
    return filled;
}

}  // namespace gridprep
