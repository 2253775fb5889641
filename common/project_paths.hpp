// The fixed layout of a project. The programs start in a working folder two
// levels below the project root, so the root defaults to "../..".
#pragma once

#include <algorithm>
#include <string>

namespace hydro {

struct ProjectPaths {
    std::string root = "../..";

    std::string grid(const std::string& name) const { return root + "/arcview/ascii/" + name; }
    std::string input(const std::string& name) const { return root + "/model/input/" + name; }
    std::string output(const std::string& name) const { return root + "/model/output/" + name; }
    std::string output_folder() const { return root + "/model/output"; }
};

// A project folder as the command line gives it. On Windows "C:\basins\upper"
// and "..\.." are the same as "C:/basins/upper" and "../.." (the messages
// then name every file with one kind of separator).
inline std::string project_root_argument(std::string given) {
#ifdef _WIN32
    std::replace(given.begin(), given.end(), '\\', '/');
#endif
    return given;
}

}  // namespace hydro
