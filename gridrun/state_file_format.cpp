#include "state_file_format.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "input_error.hpp"

namespace hydro {

namespace {

constexpr char kMagic[8] = {'G', 'R', 'S', 'T', 'A', 'T', 'E', '\n'};
constexpr uint32_t kVersion = 1;
constexpr std::size_t kHeaderBytes = sizeof kMagic + 4 + 5 * 4 + 4 * 4 + 4;

// The one list of state variables, for saving and loading alike.
template <class State, class Visit>
void for_each_variable(State& s, Visit visit) {
    visit("soil_moisture", s.soil_moisture);
    visit("snow", s.snow);
    visit("canopy", s.canopy);
    visit("depression", s.depression);
    visit("cell_tail_offset", s.tail_offset);
    visit("cell_surface_tail", s.surface_tail);
    visit("cell_interflow_tail", s.interflow_tail);
    visit("groundwater", s.groundwater);
    visit("outlet_surface_tail", s.outlet_surface_tail);
    visit("outlet_interflow_tail", s.outlet_interflow_tail);
    visit("outlet_groundwater_tail", s.outlet_groundwater_tail);
}
constexpr uint32_t kVariableCount = 11;

// The range of a variable's values: depths in mm, the rest flows in m3/s.
struct Range {
    float low, high;
};
Range range_of(const char* name) {
    if (std::strcmp(name, "groundwater") == 0) return {kGroundwaterLow, kStateDepthHigh};
    for (const char* depth : {"soil_moisture", "snow", "canopy", "depression"})
        if (std::strcmp(name, depth) == 0) return {kStateDepthLow, kStateDepthHigh};
    return {-kStateFlowLimit, kStateFlowLimit};
}

uint64_t fnv1a(const char* p, std::size_t n) {
    uint64_t h = 1469598103934665603ULL;
    for (std::size_t i = 0; i < n; ++i) {
        h ^= static_cast<unsigned char>(p[i]);
        h *= 1099511628211ULL;
    }
    return h;
}

class Writer {
  public:
    void bytes(const void* p, std::size_t n) { out.append(static_cast<const char*>(p), n); }
    void u(uint64_t v, int size) {
        for (int i = 0; i < size; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void u32(uint32_t v) { u(v, 4); }
    void i32(int32_t v) { u(static_cast<uint32_t>(v), 4); }
    void u64(uint64_t v) { u(v, 8); }
    void variable(const char* name, const std::vector<float>& v) {
        header(name, 0, v.size());
        for (float x : v) {
            uint32_t bits;
            std::memcpy(&bits, &x, 4);
            u32(bits);
        }
    }
    void variable(const char* name, const std::vector<std::size_t>& v) {
        header(name, 1, v.size());
        for (std::size_t x : v) u64(x);
    }
    std::string out;

  private:
    void header(const char* name, uint8_t kind, std::size_t count) {
        u32(static_cast<uint32_t>(std::strlen(name)));
        bytes(name, std::strlen(name));
        u(kind, 1);
        u64(count);
    }
};

class Reader {
  public:
    Reader(const std::string& path, const std::string& data) : path_(path), data_(data) {}
    uint64_t u(int size) {
        need(static_cast<std::size_t>(size));
        uint64_t v = 0;
        for (int i = 0; i < size; ++i)
            v |= static_cast<uint64_t>(static_cast<unsigned char>(data_[pos_ + static_cast<std::size_t>(i)]))
                 << (8 * i);
        pos_ += static_cast<std::size_t>(size);
        return v;
    }
    uint32_t u32() { return static_cast<uint32_t>(u(4)); }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    std::string text(std::size_t n) {
        need(n);
        std::string s = data_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    void variable(const char* name, std::vector<float>& v, uint64_t most) {
        const uint64_t count = header(name, 0, 4, most);
        v.resize(count);
        const Range r = range_of(name);
        for (float& x : v) {
            const uint32_t bits = u32();
            std::memcpy(&x, &bits, 4);
            if (!(x >= r.low && x <= r.high))
                fail(std::string("values of \"") + name + "\" between " + number(r.low) + " and " + number(r.high),
                     std::isfinite(x) ? number(x) : "a value that is not a finite number");
        }
    }
    void variable(const char* name, std::vector<std::size_t>& v, uint64_t most) {
        const uint64_t count = header(name, 1, 8, most);
        v.resize(count);
        for (std::size_t& x : v) x = u(8);
    }
    [[noreturn]] void fail(const std::string& expected, const std::string& found) const {
        throw InputError(path_, 0, expected, found);
    }

  private:
    static std::string number(float x) {
        char b[32];
        std::snprintf(b, sizeof b, "%g", static_cast<double>(x));
        return b;
    }
    void need(std::size_t n) const {
        if (data_.size() - pos_ < n) fail("a complete state file", "the file cut short");
    }
    uint64_t header(const char* name, uint8_t kind, std::size_t value_size, uint64_t most) {
        const uint32_t len = u32();
        if (len > 64) fail(std::string("the state variable \"") + name + "\"", "a damaged variable name");
        const std::string found = text(len);
        if (found != name) fail(std::string("the state variable \"") + name + "\"", "\"" + printable(found) + "\"");
        if (u(1) != kind) fail(std::string("the state variable \"") + name + "\" of its own kind", "another kind");
        const uint64_t count = u(8);
        if (count > (data_.size() - pos_) / value_size) fail("a complete state file", "the file cut short");
        if (count > most)
            fail(std::string("at most ") + std::to_string(most) + " values of \"" + name + "\" for this project",
                 std::to_string(count) + " (a state saved for other grids or responses)");
        return count;
    }
    const std::string& path_;
    const std::string& data_;
    std::size_t pos_ = 0;
};

std::string shape_text(int32_t rows, int32_t cols, int32_t cells, int32_t subbasins) {
    return "a grid of " + std::to_string(rows) + " rows x " + std::to_string(cols) + " columns with " +
           std::to_string(cells) + " simulated cells and " + std::to_string(subbasins) + " subbasins";
}

// The most values each variable may hold, in the order of the list.
struct Limits {
    uint64_t cells, offsets, cell_tail, subbasins, outlet_tail;
    uint64_t of(const char* name) const {
        if (std::strcmp(name, "cell_tail_offset") == 0) return offsets;
        if (std::strncmp(name, "cell_", 5) == 0) return cell_tail;
        if (std::strcmp(name, "groundwater") == 0) return subbasins;
        if (std::strncmp(name, "outlet_", 7) == 0) return outlet_tail;
        return cells;
    }
};

Limits limits_of(const StateExpectation& e) {
    const uint64_t cells = static_cast<uint64_t>(std::max(e.cells, 0));
    return {cells, cells + 1, e.max_cell_tail_values, static_cast<uint64_t>(std::max(e.subbasins, 0)),
            e.max_outlet_tail};
}

}  // namespace

std::string encode_state(const ModelState& state, int32_t rows, int32_t cols, const StateDate& last_step) {
    Writer w;
    w.bytes(kMagic, sizeof kMagic);
    w.u32(kVersion);
    w.i32(state.run_mode);
    w.i32(rows);
    w.i32(cols);
    w.i32(static_cast<int32_t>(state.soil_moisture.size()));
    w.i32(static_cast<int32_t>(state.groundwater.size()));
    w.i32(last_step.year);
    w.i32(last_step.month);
    w.i32(last_step.day);
    w.i32(last_step.hour);
    w.u32(kVariableCount);
    for_each_variable(state, [&](const char* name, const auto& v) { w.variable(name, v); });
    w.u64(fnv1a(w.out.data(), w.out.size()));
    return std::move(w.out);
}

uint64_t largest_state_size(const StateExpectation& expect) {
    const Limits limits = limits_of(expect);
    uint64_t bytes = kHeaderBytes + 8;
    ModelState names;
    for_each_variable(names, [&](const char* name, const auto& v) {
        bytes += 4 + std::strlen(name) + 1 + 8 + limits.of(name) * sizeof(v[0]);
    });
    return bytes;
}

namespace {

// The fixed header: signature, version, shape and run mode, checked against
// the project before anything else (the first bytes of the file suffice).
void check_header(Reader& r, const std::string& data, const StateExpectation& expect) {
    if (data.size() < sizeof kMagic + 4 || std::memcmp(data.data(), kMagic, sizeof kMagic) != 0)
        r.fail("a state file saved by gridrun --save-state", "a file of another kind");
    r.text(sizeof kMagic);
    const uint32_t version = r.u32();
    if (version != kVersion)
        r.fail("a state file of format version " + std::to_string(kVersion),
               "version " + std::to_string(version) + " (saved by another version of gridrun)");
    const int32_t run_mode = r.i32(), rows = r.i32(), cols = r.i32(), cells = r.i32(), subbasins = r.i32();
    if (rows != expect.rows || cols != expect.cols || cells != expect.cells || subbasins != expect.subbasins)
        r.fail("a state saved for this project (" +
                   shape_text(expect.rows, expect.cols, expect.cells, expect.subbasins) + ")",
               "a state saved for " + shape_text(rows, cols, cells, subbasins));
    if (run_mode != expect.run_mode)
        r.fail("a state saved in run mode " + std::to_string(expect.run_mode) + " (the mode of this run)",
               "a state saved in run mode " + std::to_string(run_mode));
}

}  // namespace

void check_state_header(const std::string& path, const std::string& head, const StateExpectation& expect) {
    Reader r(path, head);
    check_header(r, head, expect);
}

SavedState parse_state(const std::string& path, const std::string& data, const StateExpectation& expect) {
    Reader r(path, data);
    check_header(r, data, expect);
    if (data.size() < kHeaderBytes + 8) r.fail("a complete state file", "the file cut short");
    if (data.size() > largest_state_size(expect))
        r.fail("a state file of at most " + std::to_string(largest_state_size(expect)) + " bytes for this project",
               "a file of " + std::to_string(data.size()) + " bytes");
    uint64_t stored = 0;
    for (std::size_t i = 0; i < 8; ++i)
        stored |= static_cast<uint64_t>(static_cast<unsigned char>(data[data.size() - 8 + i])) << (8 * i);
    if (stored != fnv1a(data.data(), data.size() - 8))
        r.fail("a state file whose checksum matches its contents", "a damaged or changed file");
    const int32_t run_mode = expect.run_mode, cells = expect.cells, subbasins = expect.subbasins;
    SavedState saved;
    StateDate& d = saved.last_step;
    d.year = r.i32(), d.month = r.i32(), d.day = r.i32(), d.hour = r.i32();
    if (r.u32() != kVariableCount) r.fail(std::to_string(kVariableCount) + " state variables", "another number");
    ModelState& s = saved.state;
    s.run_mode = run_mode;
    const Limits limits = limits_of(expect);
    for_each_variable(s, [&](const char* name, auto& v) { r.variable(name, v, limits.of(name)); });
    const std::size_t n = static_cast<std::size_t>(cells);
    bool fits = s.soil_moisture.size() == n && s.snow.size() == n && s.canopy.size() == n && s.depression.size() == n &&
                s.tail_offset.size() == n + 1 && s.groundwater.size() == static_cast<std::size_t>(subbasins);
    for (std::size_t c = 0; fits && c < n; ++c) fits = s.tail_offset[c] <= s.tail_offset[c + 1];
    fits = fits && s.tail_offset[0] == 0 && s.surface_tail.size() == s.tail_offset.back() &&
           s.interflow_tail.size() == s.tail_offset.back();
    if (!fits) r.fail("state variables of one value per cell and subbasin", "variables of other lengths");
    return saved;
}

}  // namespace hydro
