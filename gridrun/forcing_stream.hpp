// The station series of a run read a tile of steps at a time, so that the
// memory a run takes does not grow with the length of its series: the
// records of each tile are read into the tile's own windows just before the
// tile is simulated. Tiles are asked for in step order; going back to an
// earlier step reads the files again from their start.
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

    // Reads the records of steps [t0, t0 + len) into `steps.window` and points
    // the tile's forcing at them. A record that is not as it should be throws
    // InputError naming its file and line; so does a date of p.txt that is
    // not the one read when the inputs were loaded (a file changed since).
    void read_tile(std::size_t t0, std::size_t len, TileSteps& steps);

  private:
    void open();
    void read_record(std::size_t v, StationSeries& window, int32_t step);

    const ModelInputs& in_;
    std::array<const StationSeries*, 3> series_;
    std::array<std::unique_ptr<FreeFormatReader>, 3> files_;
    std::size_t n_files_ = 0;
    std::size_t next_ = 0;                 // the step of the next record in the files
    std::array<StationSeries, 3> passed_;  // one step, for records before a tile that starts later
};

}  // namespace hydro
