// The folder a project is written into: its sub-folders, the files written
// there, and the manifest that lists them (gridprep_files.txt at the root),
// so that a later run can replace exactly the files of an earlier one.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace gridprep {

inline constexpr const char* kManifestName = "gridprep_files.txt";

// What a project folder holds before a run.
struct FolderState {
    bool holds_project = false;
    std::string evidence;  // a file that shows it (relative path)
    bool has_manifest = false;
    std::vector<std::string> listed;  // the files of the manifest (relative paths, checked)
};

// Looks at ROOT: a project is there when it has a manifest or one of the
// files every project has (watershed.asc, input.txt, uh_cell_h.txt).
// Manifest lines that are not plain relative paths inside the folder
// (absolute, "..", empty parts) are never listed. A manifest that is not a
// regular file (a link, a FIFO, a folder) is refused with InputError.
FolderState inspect_project_folder(const std::string& root);

class ProjectFolder {
  public:
    explicit ProjectFolder(std::string root) : root_(std::move(root)) {}

    // Removes the files a manifest listed (plain files and links only, never
    // a folder, nothing reached through a linked folder, nothing else) and
    // the manifest itself; returns the number removed.
    int64_t remove_listed(const FolderState& state);
    // Creates ROOT/arcview/ascii, ROOT/model/input, ROOT/model/output and
    // ROOT/run/here. Throws hydro::OutputError.
    void create_folders();
    // Throws hydro::OutputError when one of those folders is a link that
    // leads out of ROOT (nothing is written or removed through it).
    void check_folders() const;

    // A file written piece by piece; close() completes it.
    class File {
      public:
        File(std::string path, std::FILE* f) : path_(std::move(path)), f_(f) {}
        File(File&& o) noexcept : path_(std::move(o.path_)), f_(o.f_) { o.f_ = nullptr; }
        File(const File&) = delete;
        ~File();
        void write(std::string_view text);
        void close();

      private:
        std::string path_;
        std::FILE* f_ = nullptr;
    };
    // Opens ROOT/relative for writing and lists it in the manifest (written
    // again each time).
    File open(const std::string& relative);
    void write(const std::string& relative, std::string_view text);

    void write_manifest();
    const std::vector<std::string>& written() const { return written_; }
    const std::string& root() const { return root_; }

  private:
    static std::FILE* open_no_follow(const std::string& path);
    std::string root_;
    std::vector<std::string> written_;
};

}  // namespace gridprep
