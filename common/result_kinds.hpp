// The kinds of file the programs write as results, told apart by name (the
// files of a project's output folder) or by their first bytes (NetCDF files
// and saved model states, which may be written anywhere). Recovery of an
// interrupted result set and the clean-up of stopped runs act only on these.
#pragma once

#include <string>
#include <string_view>

namespace hydro {

// q_tot.txt, balance.txt, q_sub.txt, Subbasin_P.txt ... (and their .csv),
// the maps (runoff0001.asc ...) with their .prj, and the journal of a set.
bool is_result_file_name(std::string_view name);

// Whether `name` is a temporary name a result set gives: ".FINAL.tmp.PID.N".
// When it is, `final_name` gets FINAL and `pid` the process that wrote it.
bool parse_temporary_name(std::string_view name, std::string* final_name = nullptr, long* pid = nullptr);

enum class FileKind {
    absent,
    folder,
    link,     // a symbolic link (never followed)
    special,  // a FIFO, a device, a socket
    empty,    // a regular file without bytes
    netcdf,   // a NetCDF file (classic or NetCDF-4)
    state,    // a model state saved by gridrun
    other     // a regular file of any other kind
};
// The kind of what lies at `path`, from its first bytes; links are not followed.
FileKind file_kind_at(const std::string& path);
const char* file_kind_text(FileKind kind);

}  // namespace hydro
