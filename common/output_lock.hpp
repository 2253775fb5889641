// One run at a time per project: a run holds an advisory lock on the
// project's output folder from before it reads its inputs until it exits
// (the system releases it when the process ends, however it ends). Both
// programs take the same lock, so a run of one waits for a run of the other.
#pragma once

#include <string>

namespace hydro {

class OutputFolderLock {
  public:
    // Locks `folder` (nothing when it does not exist). When another run holds it: with `wait`, says so on
    // standard error (as `program`) and waits; without, throws OutputError.
    OutputFolderLock(const std::string& folder, bool wait, const char* program);
    ~OutputFolderLock();
    OutputFolderLock(const OutputFolderLock&) = delete;
    OutputFolderLock& operator=(const OutputFolderLock&) = delete;

  private:
    int fd_ = -1;
};

}  // namespace hydro
