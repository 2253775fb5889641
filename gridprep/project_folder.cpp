#include "project_folder.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "input_error.hpp"

namespace gridprep {

namespace fs = std::filesystem;

namespace {

// A manifest line names a file inside the folder: relative, no "." or ".."
// parts, no empty parts.
bool inside_folder(const std::string& line) {
    if (line.empty() || line.front() == '/' || line.back() == '/') return false;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t end = std::min(line.find('/', start), line.size());
        const std::string part = line.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return line.find('\0') == std::string::npos;
}

// Whether `path` (a folder) lies inside `root`, links resolved.
bool resolves_inside(const fs::path& path, const fs::path& root) {
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec), real_root = fs::canonical(root, ec);
    if (real.empty() || real_root.empty()) return false;
    auto r = real_root.begin();
    auto p = real.begin();
    for (; r != real_root.end(); ++r, ++p)
        if (p == real.end() || *p != *r) return false;
    return true;
}

}  // namespace

FolderState inspect_project_folder(const std::string& root) {
    FolderState s;
    std::error_code ec;
    const fs::path base(root);
    const fs::path manifest = base / kManifestName;
    const fs::file_status manifest_status = fs::symlink_status(manifest, ec);
    if (fs::exists(manifest_status) && !fs::is_regular_file(manifest_status))
        throw hydro::InputError(manifest.string(), 0, "gridprep's list of the files it wrote (a regular file)",
                                fs::is_symlink(manifest_status)     ? "a symbolic link"
                                : fs::is_directory(manifest_status) ? "a folder"
                                                                    : "a FIFO, device or socket");
    if (fs::is_regular_file(manifest_status)) {
        s.holds_project = s.has_manifest = true;
        s.evidence = kManifestName;
        std::ifstream in(manifest);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() || line[0] == '#') continue;
            if (inside_folder(line)) s.listed.push_back(line);
        }
        return s;
    }
    for (const char* f : {"arcview/ascii/watershed.asc", "model/input/input.txt", "model/output/uh_cell_h.txt"})
        if (fs::exists(fs::symlink_status(base / f, ec))) {
            s.holds_project = true;
            s.evidence = f;
            break;
        }
    return s;
}

void ProjectFolder::check_folders() const {
    const fs::path base(root_);
    for (const char* dir : {"arcview", "arcview/ascii", "model", "model/input", "model/output", "run", "run/here"}) {
        std::error_code ec;
        const fs::path p = base / dir;
        if (fs::is_symlink(fs::symlink_status(p, ec)) && !resolves_inside(p, base))
            throw hydro::OutputError("cannot write into " + p.string() + ": it is a link to " +
                                     fs::read_symlink(p, ec).string() +
                                     ", outside the project folder; nothing was written or removed");
    }
}

int64_t ProjectFolder::remove_listed(const FolderState& state) {
    check_folders();
    int64_t removed = 0;
    const fs::path base(root_);
    std::vector<std::string> files = state.listed;
    if (state.has_manifest) files.push_back(kManifestName);
    for (const std::string& rel : files) {
        std::error_code ec;
        const fs::path p = base / rel;
        // Never through a linked folder: that file would lie outside the project.
        bool linked = false;
        fs::path parent = base;
        const fs::path relative(rel);
        for (auto part = relative.begin(); part != relative.end() && std::next(part) != relative.end(); ++part) {
            parent /= *part;
            if (fs::is_symlink(fs::symlink_status(parent, ec))) linked = true;
        }
        if (linked) continue;
        const fs::file_status st = fs::symlink_status(p, ec);
        if (ec || !(fs::is_regular_file(st) || fs::is_symlink(st))) continue;
        if (!fs::remove(p, ec) || ec)
            throw hydro::OutputError("cannot remove " + p.string() + " of the earlier run: " + ec.message());
        ++removed;
    }
    return removed - (state.has_manifest ? 1 : 0);
}

void ProjectFolder::create_folders() {
    check_folders();
    const fs::path base(root_);
    for (const char* dir : {"arcview/ascii", "model/input", "model/output", "run/here"}) {
        std::error_code ec;
        fs::create_directories(base / dir, ec);
        if (ec || !fs::is_directory(base / dir))
            throw hydro::OutputError("cannot create the folder " + (base / dir).string());
    }
}

// Opens a file for writing; a link in its place is replaced, never written through.
std::FILE* ProjectFolder::open_no_follow(const std::string& path) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) fs::remove(path, ec);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        throw hydro::OutputError("cannot create " + path + ": it is not a regular file");
    }
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!f) {
        const int err = errno;
        if (fd >= 0) ::close(fd);
        throw hydro::OutputError("cannot create " + path + ": " + std::strerror(err));
    }
    return f;
}

ProjectFolder::File::~File() {
    if (f_) std::fclose(f_);
}

void ProjectFolder::File::write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), f_) != text.size())
        throw hydro::OutputError("cannot write " + path_ + " completely: " + std::strerror(errno));
}

void ProjectFolder::File::close() {
    std::FILE* f = f_;
    f_ = nullptr;
    const bool flushed = std::fflush(f) == 0;
    const int flush_errno = errno;
    if (std::fclose(f) != 0 || !flushed)
        throw hydro::OutputError("cannot write " + path_ +
                                 " completely: " + std::strerror(flushed ? errno : flush_errno));
}

ProjectFolder::File ProjectFolder::open(const std::string& relative) {
    const std::string path = (fs::path(root_) / relative).string();
    // A link in place of the file is replaced, never written through.
    std::FILE* f = open_no_follow(path);
    static constexpr std::size_t kBuffer = 1 << 18;
    std::setvbuf(f, nullptr, _IOFBF, kBuffer);
    if (std::find(written_.begin(), written_.end(), relative) == written_.end()) written_.push_back(relative);
    // The manifest follows every file begun, so that even a run that fails
    // half-way leaves the list of what it wrote.
    write_manifest();
    return File(path, f);
}

void ProjectFolder::write(const std::string& relative, std::string_view text) {
    File f = open(relative);
    f.write(text);
    f.close();
}

void ProjectFolder::write_manifest() {
    std::string text =
        "# The files gridprep wrote into this project (relative to this folder). gridprep --force\n"
        "# removes exactly these before it writes a new project here.\n";
    for (const std::string& w : written_) text += w + "\n";
    const std::string path = (fs::path(root_) / kManifestName).string();
    std::FILE* f = open_no_follow(path);
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !ok) throw hydro::OutputError("cannot write " + path + " completely");
}

}  // namespace gridprep
