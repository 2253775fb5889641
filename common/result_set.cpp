#include "result_set.hpp"

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "input_error.hpp"
#include "result_kinds.hpp"
#include "system_calls.hpp"

namespace hydro {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
constexpr const char* kJournalFirstLine = "result set journal 1\n";
std::atomic<int> stop_after_renames{-1};

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string temporary_name_for(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return folder + "." + name_of(path) + ".tmp." + std::to_string(system_calls::process_id()) + "." +
           std::to_string(counter.fetch_add(1));
}

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string error_text() { return std::strerror(errno); }

// Puts the folder's entries (renames, removals) on disk.
void sync_folder(const std::string& folder) {
    if (!system_calls::folders_sync()) return;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw OutputError("cannot open the folder " + folder + ": " + error_text());
    const int rc = system_calls::sync_file(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0 && err != EINVAL && err != EROFS)
        throw OutputError("cannot flush the folder " + folder + " to disk: " + std::strerror(err));
}

void write_all(int fd, const char* p, std::size_t left, const std::string& path) {
    while (left > 0) {
        const ssize_t n = ::write(fd, p, system_calls::io_bytes(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw OutputError("cannot write " + path + " completely: " + error_text());
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

std::string journal_path(const std::string& folder) { return folder + "/" + kResultJournalName; }

// A journal entry: the path itself when it lies in the journal's folder by
// the same spelling (the name alone), otherwise the absolute path of its
// folder without links, "." or ".." and the name.
std::string journal_spelling(const std::string& path, const std::string& folder) {
    if (folder_of(path) == folder) return name_of(path);
    const std::string spelled = system_calls::real_path(folder_of(path));
    if (spelled.empty()) throw OutputError("cannot tell the folder of " + path + ": " + error_text());
    return (spelled == "/" ? "" : spelled) + "/" + name_of(path);
}

struct Rename {
    std::string temporary, final_path;
};

std::string journal_text(const std::vector<Rename>& renames, const std::string& folder) {
    std::string s = kJournalFirstLine;
    s += std::to_string(renames.size()) + "\n";
    for (const Rename& r : renames) {
        const std::string t = journal_spelling(r.temporary, folder), f = journal_spelling(r.final_path, folder);
        s += std::to_string(t.size()) + " " + std::to_string(f.size()) + "\n" + t + "\n" + f + "\n";
    }
    s += "end\n";
    return s;
}

// Reads a journal back as written (the entries as spelled); false when it is
// not a whole journal of this program's making.
bool parse_journal(const std::string& text, std::vector<Rename>& renames) {
    std::size_t pos = 0;
    auto line = [&](std::string& out) {
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) return false;
        out = text.substr(pos, nl - pos);
        pos = nl + 1;
        return true;
    };
    auto count = [](const std::string& s, std::size_t& n) {
        if (!all_digits(s) || s.size() > 6) return false;
        n = std::stoul(s);
        return true;
    };
    std::string l;
    if (text.compare(0, std::strlen(kJournalFirstLine), kJournalFirstLine) != 0) return false;
    pos = std::strlen(kJournalFirstLine);
    std::size_t n = 0;
    if (!line(l) || !count(l, n) || n > 100000) return false;
    for (std::size_t k = 0; k < n; ++k) {
        if (!line(l)) return false;
        const std::size_t blank = l.find(' ');
        std::size_t nt = 0, nf = 0;
        if (blank == std::string::npos || !count(l.substr(0, blank), nt) || !count(l.substr(blank + 1), nf))
            return false;
        if (nt == 0 || nf == 0 || nt + nf + 2 > text.size() - pos) return false;
        std::string t = text.substr(pos, nt), f = text.substr(pos + nt + 1, nf);
        if (text[pos + nt] != '\n' || text[pos + nt + 1 + nf] != '\n') return false;
        pos += nt + nf + 2;
        renames.push_back({std::move(t), std::move(f)});
    }
    return line(l) && l == "end" && pos == text.size();
}

bool read_small_file(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < (64 << 20);
    char buf[1 << 16];
    while (ok) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0)
            ok = false;
        else
            out.append(buf, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ok;
}

bool exists_no_follow(const std::string& path) {
    struct stat st {};
    return system_calls::status_no_follow(path.c_str(), &st) == 0;
}

void rename_or_throw(const Rename& r, const std::string& journal) {
    if (system_calls::replace_file(r.temporary, r.final_path) != 0)
        throw OutputError("cannot replace " + r.final_path + ": " + error_text() +
                          "; the results are partly replaced, and the next run (or --recover) completes them from " +
                          journal);
}

// Whether the process that wrote a temporary file may still be running.
bool process_may_run(long pid) { return system_calls::process_may_run(pid); }

// An absolute folder spelled without links, ".", ".." or doubled slashes.
bool is_plain_absolute_folder(const std::string& folder) {
    if (!system_calls::is_absolute(folder)) return false;
    if (folder == "/") return true;
    if (folder.back() == '/' || folder.find("//") != std::string::npos) return false;
    for (const char* part : {"/./", "/../"})
        if ((folder + "/").find(part) != std::string::npos) return false;
    return folder == system_calls::real_path(folder);
}

// Why a journal entry is not a rename this program could have made (empty
// when it is one). `r` gets the paths to rename; `act` is false when the
// temporary file is gone (renamed before the stop).
std::string entry_fault(const Rename& spelled, const std::string& folder, Rename& r, bool& act) {
    const std::string& t = spelled.temporary;
    const std::string& f = spelled.final_path;
    const bool absolute = system_calls::is_absolute(t);
    if (absolute != system_calls::is_absolute(f)) return "a temporary file and its result in different folders";
    if (!absolute && (t.find('/') != std::string::npos || f.find('/') != std::string::npos))
        return "a path that leaves the folder of the journal";
    if (absolute && folder_of(t) != folder_of(f)) return "a temporary file that does not lie beside its result";
    std::string final_of_temporary;
    if (!parse_temporary_name(name_of(t), &final_of_temporary) || final_of_temporary != name_of(f))
        return "\"" + name_of(t) + "\", which is not the temporary name of \"" + name_of(f) + "\"";
    r = {absolute ? t : folder + "/" + t, absolute ? f : folder + "/" + f};
    struct stat st {};
    if (system_calls::status_no_follow(r.temporary.c_str(), &st) != 0) {
        act = false;
        return errno == ENOENT || errno == ENOTDIR ? "" : r.temporary + ": " + error_text();
    }
    act = true;
    if (absolute && !is_plain_absolute_folder(folder_of(t))) return "a folder spelled with links, \".\" or \"..\"";
    if (!S_ISREG(st.st_mode)) return r.temporary + " is " + file_kind_text(file_kind_at(r.temporary));
    if (!system_calls::single_link_of_this_user(st))
        return r.temporary + " is not a file this program made (other links to it, or another owner)";
    const FileKind final_kind = file_kind_at(r.final_path);
    if (final_kind == FileKind::folder || final_kind == FileKind::special)
        return r.final_path + " is " + file_kind_text(final_kind);
    if (!absolute) {
        if (!is_result_file_name(name_of(f)) || name_of(f) == kResultJournalName)
            return "\"" + name_of(f) + "\", which is not the name of a result file";
        return "";
    }
    // Elsewhere only NetCDF files and model states are written, over
    // nothing, an empty file, a link or a file of the same kind.
    const FileKind kind = file_kind_at(r.temporary);
    if (kind != FileKind::netcdf && kind != FileKind::state)
        return r.temporary + " is " + file_kind_text(kind) + ", not a NetCDF file or a model state";
    if (final_kind != FileKind::absent && final_kind != FileKind::empty && final_kind != FileKind::link &&
        final_kind != kind)
        return r.final_path + " is " + file_kind_text(final_kind) + ", not " + file_kind_text(kind);
    return "";
}

// The renames a journal asks for, every entry checked before any is made;
// throws OutputError naming the journal when one breaks a rule.
std::vector<Rename> checked_renames(const std::string& journal, const std::string& folder) {
    auto refuse = [&](const std::string& why) {
        throw OutputError(journal + " is not a record of renames this program made (" + why +
                          "); nothing was renamed or removed. If no run was stopped while it replaced its "
                          "results, remove that file");
    };
    struct stat st {};
    if (system_calls::status_no_follow(journal.c_str(), &st) != 0)
        throw OutputError("cannot read " + journal + ": " + error_text());
    if (!S_ISREG(st.st_mode)) refuse(std::string("it is ") + file_kind_text(file_kind_at(journal)));
    if (!system_calls::owned_by_this_user(st)) refuse("it belongs to another user");
    std::string text;
    std::vector<Rename> spelled, renames;
    if (!read_small_file(journal, text) || !parse_journal(text, spelled)) refuse("it is not a whole journal");
    for (std::size_t k = 0; k < spelled.size(); ++k) {
        Rename r;
        bool act = false;
        const std::string fault = entry_fault(spelled[k], folder, r, act);
        if (!fault.empty()) refuse("entry " + std::to_string(k + 1) + ": " + fault);
        for (const Rename& earlier : renames)
            if (earlier.final_path == r.final_path) refuse("entry " + std::to_string(k + 1) + ": a result named twice");
        if (act) renames.push_back(std::move(r));
    }
    return renames;
}

int remove_stale(const std::string& folder, const std::string& final_name, bool any_result) {
    std::vector<std::string> stale;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            std::string final;
            long pid = 0;
            if (!parse_temporary_name(e->d_name, &final, &pid) || process_may_run(pid)) continue;
            if (any_result ? is_result_file_name(final) : final == final_name) stale.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    int removed = 0;
    for (const std::string& name : stale) {
        struct stat st {};
        const std::string p = (folder == "/" ? "" : folder) + "/" + name;
        if (system_calls::status_no_follow(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            system_calls::single_link_of_this_user(st) && ::unlink(p.c_str()) == 0)
            ++removed;
    }
    return removed;
}

}  // namespace

ResultFile::ResultFile(std::string final_path, std::string temporary_path, int fd)
    : final_path_(std::move(final_path)), temporary_path_(std::move(temporary_path)), fd_(fd) {
    buffer_.reserve(kBufferSize);
}

ResultFile::~ResultFile() {
    if (fd_ >= 0) ::close(fd_);
}

void ResultFile::drain() {
    write_all(fd_, buffer_.data(), buffer_.size(), final_path_);
    buffer_.clear();
}

void ResultFile::write(std::string_view text) {
    if (fd_ < 0) throw OutputError("cannot write " + final_path_ + ": the file is already complete");
    if (buffer_.size() + text.size() > kBufferSize) {
        drain();
        if (text.size() >= kBufferSize) {
            write_all(fd_, text.data(), text.size(), final_path_);
            return;
        }
    }
    buffer_.append(text.data(), text.size());
}

void ResultFile::finish() {
    if (fd_ < 0) return;
    drain();
    if (system_calls::sync_file(fd_) != 0 && errno != EINVAL && errno != EROFS)
        throw OutputError("cannot write " + final_path_ + " completely: " + error_text());
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw OutputError("cannot write " + final_path_ + " completely: " + error_text());
}

ResultSet::~ResultSet() {
    if (committed_ || journal_written_) return;
    for (auto& f : files_) ::unlink(f->temporary_path().c_str());
}

ResultFile& ResultSet::create(const std::string& path) {
    if (committed_ || journal_written_)
        throw OutputError("cannot create " + path + ": the result set is already complete");
    const std::string temporary = temporary_name_for(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) throw OutputError("cannot create " + path + ": " + error_text());
    files_.push_back(std::make_unique<ResultFile>(path, temporary, fd));
    return *files_.back();
}

void ResultSet::commit() {
    if (committed_) return;
    if (files_.empty()) {
        committed_ = true;
        return;
    }
    for (auto& f : files_) f->finish();
    std::vector<Rename> renames;
    std::vector<std::string> folders;
    for (auto& f : files_) {
        // A folder at a result path would stop the renames halfway: refuse it first.
        struct stat st {};
        if (system_calls::status_no_follow(f->path().c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            throw OutputError("cannot replace " + f->path() + ": it is a folder");
        renames.push_back({f->temporary_path(), f->path()});
        const std::string folder = folder_of(f->path());
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    for (const std::string& folder : folders) sync_folder(folder);

    const std::string folder = journal_folder_.empty() ? folders.front() : journal_folder_;
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    const std::string journal = journal_path(folder);
    {
        ResultSet journal_file;
        journal_file.write_file(journal, journal_text(renames, folder));
        journal_file.files_.front()->finish();
        if (system_calls::replace_file(journal_file.files_.front()->temporary_path(), journal) != 0)
            throw OutputError("cannot create " + journal + ": " + error_text());
        journal_file.committed_ = true;
    }
    journal_written_ = true;
    sync_folder(folder);

    int done = 0;
    for (const Rename& r : renames) {
        if (stop_after_renames.load() == done) system_calls::stop_now();
        rename_or_throw(r, journal);
        ++done;
    }
    if (stop_after_renames.load() == done) system_calls::stop_now();
    for (const std::string& f : folders) sync_folder(f);
    if (::unlink(journal.c_str()) != 0) throw OutputError("cannot remove " + journal + ": " + error_text());
    sync_folder(folder);
    committed_ = true;
}

RecoveryReport recover_result_sets(const std::string& folder) {
    RecoveryReport report;
    const std::string journal = journal_path(folder);
    if (exists_no_follow(journal)) {
        report.journal_found = true;
        const std::vector<Rename> renames = checked_renames(journal, folder);
        std::vector<std::string> folders{folder};
        for (const Rename& r : renames) {
            rename_or_throw(r, journal);
            ++report.finished_renames;
            const std::string f = folder_of(r.final_path);
            if (std::find(folders.begin(), folders.end(), f) == folders.end()) folders.push_back(f);
        }
        for (const std::string& f : folders) sync_folder(f);
        if (::unlink(journal.c_str()) != 0) throw OutputError("cannot remove " + journal + ": " + error_text());
        sync_folder(folder);
    }
    // Temporary files of runs stopped before their renames.
    report.removed_temporaries = remove_stale(folder, "", true);
    return report;
}

int remove_stale_temporaries(const std::string& path) { return remove_stale(folder_of(path), name_of(path), false); }

std::string describe_recovery(const RecoveryReport& r, const std::string& folder) {
    std::string s;
    if (r.finished_renames > 0)
        s = "completed the interrupted replacement of the results in " + folder + " (" +
            std::to_string(r.finished_renames) + (r.finished_renames == 1 ? " file)" : " files)");
    else if (r.journal_found)
        s = "the results in " + folder + " were already complete; removed the record of their replacement";
    else
        s = "nothing to recover in " + folder;
    if (r.removed_temporaries > 0)
        s += "; removed " + std::to_string(r.removed_temporaries) + " unfinished result file" +
             (r.removed_temporaries == 1 ? "" : "s") + " of a stopped run";
    return printable(s);
}

void treat_file_size_limit_as_write_error() {
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void stop_after_renames_for_tests(int n) { stop_after_renames.store(n); }

}  // namespace hydro
