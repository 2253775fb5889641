// A shared library opened at its first use rather than at start. GDAL and
// netCDF bring about a hundred shared libraries with them, whose loading took
// 70-80 ms of every run (more than reading all the inputs of a basin of
// 65,000 cells), whether or not the run writes NetCDF or needs a coordinate
// system; opened on demand, only the runs that use them pay.
#pragma once

#include <mutex>
#include <string>

namespace hydro {

class OptionalLibrary {
  public:
    // `file`: the library's name as the loader knows it (its SONAME).
    explicit OptionalLibrary(const char* file) : file_(file) {}
    OptionalLibrary(const OptionalLibrary&) = delete;
    OptionalLibrary& operator=(const OptionalLibrary&) = delete;

    // Opens it, once; false when it cannot be opened (`error` says why).
    bool open();
    // The address of a function of the opened library (or of a library it
    // loaded), or nullptr.
    void* symbol(const char* function) const;
    const char* file() const { return file_; }
    const std::string& error() const { return error_; }

  private:
    const char* file_;
    std::once_flag once_;
    void* handle_ = nullptr;
    std::string error_;
};

// The function `f` of an opened library, with the type its header declares.
#define HYDRO_LIBRARY_FUNCTION(library, f) reinterpret_cast<decltype(&f)>((library).symbol(#f))

}  // namespace hydro
