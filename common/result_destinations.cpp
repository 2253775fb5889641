#include "result_destinations.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>

#include "input_error.hpp"
#include "system_calls.hpp"

namespace hydro {

namespace {

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder without links, "." or ".."; "" when it does not exist.
std::string real_folder(const std::string& folder) { return system_calls::real_path(folder); }

struct Identity {
    dev_t dev;
    ino_t ino;
};

// The files a run must not write over: where they lie (real folder and name)
// and which files they are.
struct Protected {
    std::string result_folder;  // where every result file name is taken (real path)
    std::vector<std::string> places;
    std::vector<Identity> files;
    void add(const std::string& folder, const std::string& name) {
        const std::string real = real_folder(folder);
        if (real.empty()) return;
        places.push_back(real + "/" + name);
        struct stat st {};
        if (::stat((folder + "/" + name).c_str(), &st) == 0) files.push_back({st.st_dev, st.st_ino});
    }
    // Every file of a folder, or those `keep` picks.
    template <class Keep>
    void add_folder(const std::string& folder, Keep keep) {
        DIR* d = ::opendir(folder.c_str());
        if (!d) return;
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(d))
            if (std::string n = e->d_name; n != "." && n != ".." && keep(folder + "/" + n, n)) names.push_back(n);
        ::closedir(d);
        for (const std::string& n : names) add(folder, n);
    }
};

std::string why_not(const Destination& d, const Protected& inputs, const Protected& results,
                    const std::vector<std::string>& earlier) {
    const std::string name = name_of(d.path);
    if (name.empty() || name == "." || name == "..") return "not a file name";
    if (parse_temporary_name(name) || name == ".result-set.journal")
        return "the name of a result set's temporary file or journal";
    const std::string folder = real_folder(folder_of(d.path));
    if (folder.empty()) return "in a folder that does not exist";
    const std::string place = folder + "/" + name;
    for (const std::string& p : inputs.places)
        if (p == place) return "an input of the project";
    for (const std::string& p : results.places)
        if (p == place) return "a result file of the run";
    if (folder == results.result_folder && is_result_file_name(name)) return "the name of a result file of the run";
    for (const std::string& p : earlier)
        if (p == place) return "also named by another option";
    struct stat st {};
    if (::stat(d.path.c_str(), &st) == 0) {
        for (const Identity& i : inputs.files)
            if (i.dev == st.st_dev && i.ino == st.st_ino) return "the same file as an input of the project";
        for (const Identity& i : results.files)
            if (i.dev == st.st_dev && i.ino == st.st_ino) return "the same file as a result of the run";
    }
    const FileKind found = file_kind_at(d.path);
    if (found == FileKind::folder || found == FileKind::special) return file_kind_text(found);
    if (found == FileKind::other || (found != d.kind && (found == FileKind::netcdf || found == FileKind::state)))
        return std::string(file_kind_text(found)) + ", not " + file_kind_text(d.kind) + " to replace";
    return "";
}

}  // namespace

void check_destinations(const std::vector<Destination>& destinations, const ProjectPaths& paths) {
    Protected inputs, results;
    // The grids, the control file, the series and the responses; a NetCDF file
    // or a state there is the result of an earlier run, never read by one.
    auto not_a_result = [](const std::string& path, const std::string&) {
        const FileKind k = file_kind_at(path);
        return k != FileKind::netcdf && k != FileKind::state;
    };
    inputs.add_folder(paths.root + "/arcview/ascii", not_a_result);
    inputs.add_folder(paths.root + "/model/input", not_a_result);
    inputs.add_folder(paths.output_folder(),
                      [](const std::string&, const std::string& n) { return n.rfind("uh_", 0) == 0; });
    inputs.add(paths.root, "gridprep_files.txt");
    results.result_folder = real_folder(paths.output_folder());
    results.add_folder(paths.output_folder(),
                       [](const std::string&, const std::string& n) { return is_result_file_name(n); });
    for (const char* name :
         {"q_tot.txt", "balance.txt", "q_sub.txt", "q_tot.csv", "balance.csv", "q_sub.csv", ".result-set.journal"})
        results.add(paths.output_folder(), name);
    std::vector<std::string> earlier;
    for (const Destination& d : destinations) {
        const std::string why = why_not(d, inputs, results, earlier);
        if (!why.empty())
            throw OutputError(d.option + " " + d.path + ": cannot write there: it is " + why + "; nothing was written");
        earlier.push_back(real_folder(folder_of(d.path)) + "/" + name_of(d.path));
    }
}

}  // namespace hydro
