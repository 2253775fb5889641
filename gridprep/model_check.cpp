#include "model_check.hpp"

#include "input_error.hpp"
#include "model.hpp"
#include "project_paths.hpp"

namespace gridprep {

void check_project_with_model(const std::string& root) {
    hydro::ProjectPaths paths;
    paths.root = root;
    for (int32_t mode : {1, 2}) {
        try {
            (void)hydro::load_model(paths, mode);
        } catch (const hydro::InputError& e) {
            throw hydro::InputError("the project written to " + root + " is refused by gridrun (run mode " +
                                    std::to_string(mode) + "): " + e.what());
        }
    }
}

}  // namespace gridprep
