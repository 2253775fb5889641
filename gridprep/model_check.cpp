#include "model_check.hpp"

#include "ascii_grid.hpp"
#include "dimension_scan.hpp"
#include "input_error.hpp"
#include "model_loading.hpp"
#include "project_paths.hpp"

namespace gridprep {

void check_project_with_model(const std::string& root) {
    hydro::ProjectPaths paths;
    paths.root = root;
    for (int32_t mode : {1, 2}) {
        try {
            hydro::RunSizes sizes;
            const hydro::GridGeometry geometry = hydro::read_grid_geometry(paths.grid("watershed.asc"));
            sizes.n_cols = geometry.n_cols;
            sizes.n_rows = geometry.n_rows;
            sizes.cell_size = geometry.cell_size;
            sizes.run_mode = mode;
            hydro::scan_dimensions(paths, sizes);
            (void)hydro::load_model_inputs(paths, sizes);
        } catch (const hydro::InputError& e) {
            throw hydro::InputError("the project written to " + root + " is refused by gridrun (run mode " +
                                    std::to_string(mode) + "): " + e.what());
        }
    }
}

}  // namespace gridprep
