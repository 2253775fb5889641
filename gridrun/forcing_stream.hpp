// The station series of a run read a tile of steps at a time, so that the
// memory a run takes does not grow with the length of its series: the
// records of each tile are read into the tile's own windows just before the
// tile is simulated. Each file (p, pet, t) is read on its own, so the three
// may be read at the same time; each is asked for its tiles in step order
// (going back to an earlier step reads the file again from its start).
#pragma once

#include <array>
#include <cstddef>
#include <memory>

#include "cell_loop.hpp"
#include "free_format.hpp"
#include "model_state.hpp"

namespace hydro {

class ForcingStream {
  public:
    // The files of `in` (series_files); their headers were checked when the
    // inputs were loaded.
    explicit ForcingStream(const ModelInputs& in);
    ~ForcingStream();
    ForcingStream(const ForcingStream&) = delete;
    ForcingStream& operator=(const ForcingStream&) = delete;

    // The files the run reads: 2 (p, pet) or 3 (and t, where temperature is used).
    std::size_t files() const { return n_files_; }
    // Reads the records of steps [t0, t0 + len) of file v (0 p, 1 pet, 2 t)
    // into `steps.window[v]` and points the tile's forcing of that variable
    // at them. A record that is not as it should be throws InputError naming
    // its file and line; so does a date of p.txt that is not the one read
    // when the inputs were loaded (a file changed since).
    void read_tile(std::size_t v, std::size_t t0, std::size_t len, TileSteps& steps);
    // Every file's records of the tile, one file after the other.
    void read_tile(std::size_t t0, std::size_t len, TileSteps& steps);

  private:
    struct File {
        const StationSeries* series = nullptr;
        std::unique_ptr<FreeFormatReader> reader;
        std::size_t next = 0;  // the step of the next record
        StationSeries passed;  // one step, for records before a tile that starts later
    };
    void open(File& f, std::size_t v);
    void read_record(std::size_t v, StationSeries& window, int32_t step);

    const ModelInputs& in_;
    std::size_t n_files_;
    std::array<File, 3> files_;
};

}  // namespace hydro
