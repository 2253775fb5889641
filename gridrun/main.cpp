// gridrun: grid-based, fully distributed rainfall-runoff model of a river
// basin. Started from a working folder two levels below the project root, it
// reads the basin's grids, the control file, the station series and the
// precomputed responses, asks for the routing scheme, simulates every cell
// and step, and writes the outlet hydrograph, the basin water balance, the
// reported subbasin outflows and the maps of the control file's periods.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "ascii_grid.hpp"
#include "dimension_scan.hpp"
#include "free_format.hpp"
#include "full_model.hpp"
#include "input_error.hpp"
#include "project_paths.hpp"

namespace {

using namespace hydro;

void write_menu() {
    std::string s;
    for (int i = 0; i < 5; ++i) s += " \n";
    s += " \t\t     Model simulation on grid scale\n \n";
    s += " " + std::string(14, ' ') + std::string(47, '-') + "\n \n";
    s += " " + std::string(16, ' ') + "1. Give outflow at basin outlet\n \n";
    s += " " + std::string(16, ' ') + "2. Give outflow at subbasin and basin outlet\n \n";
    s += " " + std::string(16, ' ') + "3. Return\n \n";
    s += " " + std::string(14, ' ') + std::string(48, '-') + "\n \n";
    s += " " + std::string(16, ' ') + "Your Choice (1/2/3):\n";
    std::fputs(s.c_str(), stdout);
    std::fflush(stdout);
}

void write_run_title(int32_t run_mode) {
    std::string s;
    for (int i = 0; i < 30; ++i) s += " \n";
    s += " " + std::string(21, ' ') + "Fully-distributed model simulation\n";
    if (run_mode == 1)
        s += " " + std::string(27, ' ') + "Cells ->Basin Outlet\n";
    else
        s += " " + std::string(20, ' ') + "Cells -> Main River -> Basin Outlet\n";
    for (int i = 0; i < 12; ++i) s += " \n";
    std::fputs(s.c_str(), stdout);
}

// The run mode from the keyboard: the first value after any blank lines.
int32_t read_run_mode() {
    std::string line;
    int line_number = 0;
    while (std::getline(std::cin, line)) {
        ++line_number;
        FreeFormatReader in("standard input", line);
        std::string_view tok;
        in.begin_read();
        if (!in.try_token(tok)) continue;
        int32_t mode = 0;
        if (!parse_int32(tok, mode))
            throw InputError("standard input", line_number, "the run mode (a whole number: 1, 2 or 3)", quote_token(tok));
        return mode;
    }
    throw InputError("standard input", line_number, "the run mode (1, 2 or 3)", "the end of the input");
}

}  // namespace

int main() {
    try {
        ProjectPaths paths;
        RunSizes sizes;
        const GridGeometry geometry = read_grid_geometry(paths.grid("watershed.asc"));
        sizes.n_cols = geometry.n_cols;
        sizes.n_rows = geometry.n_rows;
        sizes.cell_size = geometry.cell_size;
        write_menu();
        sizes.run_mode = read_run_mode();
        if (sizes.run_mode != 1 && sizes.run_mode != 2) return 0;
        write_run_title(sizes.run_mode);
        scan_dimensions(paths, sizes);
        run_full_model(paths, sizes, stdout);
        if (std::fflush(stdout) != 0) return 1;
        return 0;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "gridrun: error: %s\n", e.what());
        return 1;
    }
}
