#include "project_check.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "input_error.hpp"

namespace hydro {

namespace fs = std::filesystem;

namespace {

bool is_folder(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

// The grids are read first: a root with arcview/ goes on, and a missing
// model/ is then reported as the missing control file it holds.
bool holds_project(const fs::path& root) { return is_folder(root / "arcview"); }

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string absolute_text(const fs::path& p) {
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(fs::absolute(p, ec), ec);
    return ec ? p.string() : a.string();
}

}  // namespace

void check_project_root(const ProjectPaths& paths, const std::string& option) {
    const fs::path root(paths.root);
    if (holds_project(root)) return;
    if (option.empty()) {
        std::error_code ec;
        const fs::path here = fs::current_path(ec);
        throw InputError("started in " + (ec ? std::string(".") : here.string()) +
                         ", which is not a working folder of a project: start the program in a folder two levels "
                         "below the project root (for example PROJECT/run/here), so that ../../arcview and "
                         "../../model exist, or name the root with --project PROJECT");
    }
    std::error_code ec;
    if (!fs::exists(root, ec))
        throw InputError(option + " " + paths.root +
                         ": no such folder; give the project root, the folder that holds "
                         "arcview/ and model/");
    if (!is_folder(root))
        throw InputError(option + " " + paths.root +
                         ": expected a folder (the project root, holding arcview/ and "
                         "model/), found a file");
    // A working folder given instead of the root.
    for (const fs::path& up : {root / "..", root / ".." / ".."})
        if (holds_project(up))
            throw InputError(option + " " + paths.root +
                             ": this folder holds no arcview/ and model/ folders; "
                             "the project root seems to be " +
                             absolute_text(up) + ": give " + option + " " + absolute_text(up));
    throw InputError(option + " " + paths.root + ": expected the project root, holding arcview/ and model/, found no " +
                     (is_folder(root / "model") ? "arcview/" : "arcview/ and model/") + " in it");
}

std::string similar_file_hint(const std::string& path) {
    const fs::path p(path);
    const std::string wanted = lower(p.filename().string());
    if (wanted.empty()) return "";
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return "";
    std::string best;
    for (const fs::directory_entry& e : it) {
        const std::string name = e.path().filename().string();
        const std::string low = lower(name);
        // Same name in another case, or the name with an extension added
        // (watershed.asc.txt) or its own extension dropped (watershed).
        const bool close =
            low == wanted || low == lower(p.stem().string()) ||
            (low.size() > wanted.size() && low.compare(0, wanted.size(), wanted) == 0 && low[wanted.size()] == '.');
        if (close && name != p.filename().string() && (best.empty() || name < best)) best = name;
    }
    if (best.empty()) return "";
    return "; did you mean " + (folder / best).string() + "? Rename it to " + p.filename().string() +
           (lower(best) == wanted ? " (file names are case-sensitive)" : "");
}

}  // namespace hydro
