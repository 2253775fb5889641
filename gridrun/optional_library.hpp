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
    // The address of a symbol of the opened library (or of a library it
    // loaded), or nullptr.
    void* symbol(const char* name) const;
    // A function the caller needs, with its type (HYDRO_LIBRARY_FUNCTION);
    // one not found is nullptr and remembered in `missing`.
    template <class F>
    F* function(const char* name) {
        void* f = symbol(name);
        if (!f && !missing_) missing_ = name;
        return reinterpret_cast<F*>(f);
    }
    // The first needed function not found, or nullptr.
    const char* missing() const { return missing_; }
    const char* file() const { return file_; }
    const std::string& error() const { return error_; }

  private:
    const char* file_;
    std::once_flag once_;
    void* handle_ = nullptr;
    std::string error_;
    const char* missing_ = nullptr;
};

// The function `f` of an opened library, with the type its header declares.
#define HYDRO_LIBRARY_FUNCTION(library, f) (library).function<decltype(::f)>(#f)

}  // namespace hydro
