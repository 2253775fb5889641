// Fuzz target: the ASCII raster grid reader and writer. The input is one grid
// file; it is read the three ways the programs read grids (geometry, keep the
// header texts, skip the header) with the size from its own header, and a
// grid read as reals is written with the grid writer and read back: every
// value must come back within the rounding of its two decimals.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ascii_grid.hpp"
#include "free_format.hpp"
#include "fuzz_support.hpp"
#include "input_error.hpp"
#include "text_output.hpp"

using fuzz_support::fail;

namespace {

void write_and_read_back(const hydro::GridHeaderTexts& header, std::vector<float> values, int32_t n_rows,
                         int32_t n_cols) {
    // Every third cell lies outside the basin.
    std::vector<int32_t> subbasin(values.size());
    for (std::size_t i = 0; i < subbasin.size(); ++i) subbasin[i] = i % 3 == 2 ? -9999 : 1;
    const std::vector<float> read = values;
    const std::string out = (fuzz_support::scratch_dir() / "written.asc").string();
    hydro::write_grid(out, header, values, subbasin, n_rows, n_cols);

    bool fits = true;  // below a million, a field keeps a blank before its number
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float expected = (subbasin[i] < 0 || read[i] < 0.0f) ? -1.0f : read[i];
        if (values[i] != expected) fail("write_grid", "masking");
        if (!(values[i] < 999999.99f)) fits = false;
    }
    if (!fits) return;
    hydro::FreeFormatReader back(out);
    hydro::skip_grid_header(back);
    std::vector<float> again;
    try {
        again = hydro::read_real_grid_values(back, n_rows, n_cols);
    } catch (const hydro::InputError& e) {
        fail("written grid does not read back", e.what());
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float tolerance = 0.0051f + std::fabs(values[i]) * 4.0f * std::numeric_limits<float>::epsilon();
        if (!(std::fabs(again[i] - values[i]) <= tolerance))
            fail("written grid reads back different", std::to_string(values[i]) + " -> " + std::to_string(again[i]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::as_file(data, size, "grid.asc");
    hydro::GridGeometry g;
    try {
        g = hydro::read_grid_geometry(path);
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, path);
        return 0;
    }
    if (g.n_rows <= 0 || g.n_cols <= 0 || g.cell_size <= 0) fail("geometry", "a size that is not positive");
    // The size was checked against the file: no more cells than half its bytes.
    if (static_cast<uint64_t>(g.n_rows) * static_cast<uint64_t>(g.n_cols) > size / 2 + 1) fail("geometry", "too large");

    try {
        hydro::FreeFormatReader in(path);
        hydro::GridHeaderTexts header;
        hydro::keep_grid_header(in, header);
        for (int i = 0; i < 6; ++i)
            if (header.keyword[i].size() != 13 || header.value[i].size() != 13) fail("keep_grid_header", "width");
        std::vector<float> values = hydro::read_real_grid_values(in, g.n_rows, g.n_cols);
        for (float v : values)
            if (!std::isfinite(v)) fail("read_real_grid_values", "a value that is not finite");
        write_and_read_back(header, std::move(values), g.n_rows, g.n_cols);
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, path);
    } catch (const hydro::OutputError& e) {
        fail("the scratch grid cannot be written", e.what());
    }

    try {
        hydro::FreeFormatReader in(path);
        hydro::skip_grid_header(in);
        const std::vector<int32_t> ids = hydro::read_int_grid_values(in, g.n_rows, g.n_cols);
        if (ids.size() != static_cast<std::size_t>(g.n_rows) * static_cast<std::size_t>(g.n_cols)) fail("ints", "size");
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, path);
    }
    return 0;
}
