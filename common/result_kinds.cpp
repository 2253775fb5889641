#include "result_kinds.hpp"

#include <array>
#include <cstring>

#include "system_calls.hpp"

namespace hydro {

namespace {

bool all_digits(std::string_view s) {
    if (s.empty() || s.size() > 18) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool ends_with(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// A map: runoff, interflow, recharge, moisture or evaporation, the period's
// number in at least four digits, then ".asc" or ".prj".
bool is_map_name(std::string_view name) {
    for (std::string_view kind : {"runoff", "interflow", "recharge", "moisture", "evaporation"}) {
        if (name.substr(0, kind.size()) != kind) continue;
        std::string_view rest = name.substr(kind.size());
        if (!ends_with(rest, ".asc") && !ends_with(rest, ".prj")) return false;
        rest.remove_suffix(4);
        return rest.size() >= 4 && all_digits(rest);
    }
    return false;
}

}  // namespace

bool is_result_file_name(std::string_view name) {
    static constexpr std::array<std::string_view, 6> kSeries = {"q_tot",      "balance",    "q_sub",
                                                                "Subbasin_P", "Subbasin_E", "Subbasin_T"};
    if (name == ".result-set.journal") return true;
    for (std::string_view base : kSeries) {
        if (name.size() == base.size() + 4 && name.substr(0, base.size()) == base &&
            (ends_with(name, ".txt") || ends_with(name, ".csv")))
            return true;
    }
    return is_map_name(name);
}

bool parse_temporary_name(std::string_view name, std::string* final_name, long* pid) {
    if (name.size() < 2 || name[0] != '.') return false;
    const std::size_t at = name.rfind(".tmp.");
    if (at == std::string_view::npos || at < 2) return false;
    const std::string_view rest = name.substr(at + 5);
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos || !all_digits(rest.substr(0, dot)) || !all_digits(rest.substr(dot + 1)))
        return false;
    const std::string_view final = name.substr(1, at - 1);
    if (final == "." || final == ".." || final.find('/') != std::string_view::npos) return false;
    if (final_name) *final_name = std::string(final);
    if (pid) *pid = std::stol(std::string(rest.substr(0, dot)));
    return true;
}

FileKind file_kind_at(const std::string& path) {
    struct stat st {};
    if (system_calls::status_no_follow(path.c_str(), &st) != 0) return FileKind::absent;
#ifdef S_ISLNK
    if (S_ISLNK(st.st_mode)) return FileKind::link;
#endif
    if (S_ISDIR(st.st_mode)) return FileKind::folder;
    if (!S_ISREG(st.st_mode)) return FileKind::special;
    if (st.st_size == 0) return FileKind::empty;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return FileKind::other;
    unsigned char head[8] = {};
    const ssize_t got = ::read(fd, head, sizeof head);
    ::close(fd);
    static constexpr unsigned char kHdf5[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
    static constexpr unsigned char kState[8] = {'G', 'R', 'S', 'T', 'A', 'T', 'E', '\n'};
    if (got == 8 && std::memcmp(head, kHdf5, 8) == 0) return FileKind::netcdf;
    if (got >= 4 && head[0] == 'C' && head[1] == 'D' && head[2] == 'F' &&
        (head[3] == 1 || head[3] == 2 || head[3] == 5))
        return FileKind::netcdf;
    if (got == 8 && std::memcmp(head, kState, 8) == 0) return FileKind::state;
    return FileKind::other;
}

const char* file_kind_text(FileKind kind) {
    switch (kind) {
        case FileKind::absent:
            return "no file";
        case FileKind::folder:
            return "a folder";
        case FileKind::link:
            return "a symbolic link";
        case FileKind::special:
            return "a FIFO, device or socket";
        case FileKind::empty:
            return "an empty file";
        case FileKind::netcdf:
            return "a NetCDF file";
        case FileKind::state:
            return "a model state file";
        case FileKind::other:
            break;
    }
    return "a file of another kind";
}

}  // namespace hydro
