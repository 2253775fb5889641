// The fixed layout of a project. The programs start in a working folder two
// levels below the project root, so the root defaults to "../..".
#pragma once

#include <string>

namespace hydro {

struct ProjectPaths {
    std::string root = "../..";

    std::string grid(const std::string& name) const { return root + "/arcview/ascii/" + name; }
    std::string input(const std::string& name) const { return root + "/model/input/" + name; }
    std::string output(const std::string& name) const { return root + "/model/output/" + name; }
    std::string output_folder() const { return root + "/model/output"; }
};

}  // namespace hydro
