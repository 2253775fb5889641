// A calibration's output folder, made whole or not at all: everything is
// written into a hidden folder beside the final name (".NAME.tmp.PID"), which
// is renamed to it when the calibration has completed. A calibration that
// fails or is stopped leaves no output folder; the hidden folders of stopped
// calibrations are removed by the next one that writes beside them.
#pragma once

#include <string>

namespace hydro {

class UnfinishedFolder {
  public:
    // Makes the hidden folder (and the final folder's parents). Throws OutputError.
    explicit UnfinishedFolder(const std::string& final_path);
    // Removes the hidden folder unless finish() ran.
    ~UnfinishedFolder();
    UnfinishedFolder(const UnfinishedFolder&) = delete;
    UnfinishedFolder& operator=(const UnfinishedFolder&) = delete;

    // Where the files go until finish().
    const std::string& path() const { return path_; }
    // Renames the folder to its final name (which must not exist or be an empty folder).
    void finish();

  private:
    std::string final_, path_;
    bool finished_ = false;
};

}  // namespace hydro
