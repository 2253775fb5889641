#include "model_state_file.hpp"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cell_loop.hpp"
#include "input_error.hpp"
#include "result_set.hpp"

namespace hydro {

namespace {

constexpr char kMagic[8] = {'G', 'R', 'S', 'T', 'A', 'T', 'E', '\n'};
constexpr uint32_t kVersion = 1;

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
            v |= static_cast<uint64_t>(static_cast<unsigned char>(data_[pos_ + i])) << (8 * i);
        pos_ += static_cast<std::size_t>(size);
        return v;
    }
    uint32_t u32() { return static_cast<uint32_t>(u(4)); }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    uint64_t u64() { return u(8); }
    std::string text(std::size_t n) {
        need(n);
        std::string s = data_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    void variable(const char* name, std::vector<float>& v) {
        const uint64_t count = header(name, 0, 4);
        v.resize(count);
        for (float& x : v) {
            const uint32_t bits = u32();
            std::memcpy(&x, &bits, 4);
        }
    }
    void variable(const char* name, std::vector<std::size_t>& v) {
        const uint64_t count = header(name, 1, 8);
        v.resize(count);
        for (std::size_t& x : v) x = u64();
    }
    [[noreturn]] void fail(const std::string& expected, const std::string& found) const {
        throw InputError(path_, 0, expected, found);
    }

  private:
    void need(std::size_t n) const {
        if (data_.size() - pos_ < n) fail("a complete state file", "the file cut short");
    }
    uint64_t header(const char* name, uint8_t kind, std::size_t value_size) {
        const uint32_t len = u32();
        if (len > 64) fail(std::string("the state variable \"") + name + "\"", "a damaged variable name");
        const std::string found = text(len);
        if (found != name) fail(std::string("the state variable \"") + name + "\"", "\"" + printable(found) + "\"");
        if (u(1) != kind) fail(std::string("the state variable \"") + name + "\" of its own kind", "another kind");
        const uint64_t count = u64();
        if (count > (data_.size() - pos_) / value_size) fail("a complete state file", "the file cut short");
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

}  // namespace

void save_state(const std::string& path, const Model& model, const ModelState& state, std::size_t last_step) {
    const ModelInputs& in = model.inputs;
    Writer w;
    w.bytes(kMagic, sizeof kMagic);
    w.u32(kVersion);
    w.i32(state.run_mode);
    w.i32(in.sizes.n_rows);
    w.i32(in.sizes.n_cols);
    w.i32(static_cast<int32_t>(state.soil_moisture.size()));
    w.i32(static_cast<int32_t>(state.groundwater.size()));
    const std::size_t last = last_step < in.calendar.size() ? last_step + 1 : in.calendar.size();
    w.i32(last ? in.calendar.year[last - 1] : 0);
    w.i32(last ? in.calendar.month[last - 1] : 0);
    w.i32(last ? in.calendar.day[last - 1] : 0);
    w.i32(last ? in.calendar.hour[last - 1] : 0);
    w.u32(kVariableCount);
    for_each_variable(state, [&](const char* name, const auto& v) { w.variable(name, v); });
    w.u64(fnv1a(w.out.data(), w.out.size()));
    ResultSet files;
    files.write_file(path, w.out);
    files.commit();
}

ModelState load_state(const std::string& path, const Model& model) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw InputError(path, 0, "a state file saved by gridrun --save-state", "no readable file");
    const std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    Reader r(path, data);
    if (data.size() < sizeof kMagic + 4 || std::memcmp(data.data(), kMagic, sizeof kMagic) != 0)
        r.fail("a state file saved by gridrun --save-state", "a file of another kind");
    r.text(sizeof kMagic);
    const uint32_t version = r.u32();
    if (version != kVersion)
        r.fail("a state file of format version " + std::to_string(kVersion),
               "version " + std::to_string(version) + " (saved by another version of gridrun)");
    if (data.size() < 8 + sizeof kMagic + 4) r.fail("a complete state file", "the file cut short");
    uint64_t stored = 0;
    for (int i = 0; i < 8; ++i)
        stored |= static_cast<uint64_t>(static_cast<unsigned char>(data[data.size() - 8 + i])) << (8 * i);
    if (stored != fnv1a(data.data(), data.size() - 8))
        r.fail("a state file whose checksum matches its contents", "a damaged or changed file");

    const ModelInputs& in = model.inputs;
    const int32_t run_mode = r.i32(), rows = r.i32(), cols = r.i32(), cells = r.i32(), subbasins = r.i32();
    const std::vector<ValidCell> valid = valid_cells(in.catchment, in.sizes.n_rows, in.sizes.n_cols);
    const int32_t here_cells = static_cast<int32_t>(valid.size());
    if (rows != in.sizes.n_rows || cols != in.sizes.n_cols || cells != here_cells || subbasins != in.sizes.n_subbasins)
        r.fail("a state saved for this project (" +
                   shape_text(in.sizes.n_rows, in.sizes.n_cols, here_cells, in.sizes.n_subbasins) + ")",
               "a state saved for " + shape_text(rows, cols, cells, subbasins));
    if (run_mode != in.sizes.run_mode)
        r.fail("a state saved in run mode " + std::to_string(in.sizes.run_mode) + " (the mode of this run)",
               "a state saved in run mode " + std::to_string(run_mode));
    for (int i = 0; i < 4; ++i) r.i32();  // date of the last step: for the reader of the file
    if (r.u32() != kVariableCount) r.fail(std::to_string(kVariableCount) + " state variables", "another number");
    ModelState s;
    s.run_mode = run_mode;
    for_each_variable(s, [&](const char* name, auto& v) { r.variable(name, v); });
    const std::size_t n = static_cast<std::size_t>(cells);
    bool fits = s.soil_moisture.size() == n && s.snow.size() == n && s.canopy.size() == n && s.depression.size() == n &&
                s.tail_offset.size() == n + 1 && s.groundwater.size() == static_cast<std::size_t>(subbasins);
    for (std::size_t c = 0; fits && c < n; ++c) fits = s.tail_offset[c] <= s.tail_offset[c + 1];
    fits = fits && s.tail_offset[0] == 0 && s.surface_tail.size() == s.tail_offset.back() &&
           s.interflow_tail.size() == s.tail_offset.back();
    if (!fits) r.fail("state variables of one value per cell and subbasin", "variables of other lengths");
    return s;
}

}  // namespace hydro
