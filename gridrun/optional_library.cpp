#include "optional_library.hpp"

#include <dlfcn.h>

namespace hydro {

bool OptionalLibrary::open() {
    std::call_once(once_, [this] {
        // Kept open until the process ends: its functions may be in use anywhere.
        handle_ = ::dlopen(file_, RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            const char* why = ::dlerror();
            error_ = why ? why : "cannot be opened";
        }
    });
    return handle_ != nullptr;
}

void* OptionalLibrary::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

}  // namespace hydro
