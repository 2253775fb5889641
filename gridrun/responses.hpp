// Precomputed unit responses: for each cell (to the basin outlet or to its
// subbasin outlet) and for each subbasin (river to the basin outlet), the
// fraction of a flow that arrives after each lag of 0..uh_length steps.
// Only the lags first..last of each line are stored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hydro {

class ResponseTable {
  public:
    // Reads `n_lines` response lines; a first lag below 0 or a last lag above
    // `uh_length` is refused with the file and line.
    static ResponseTable read(const std::string& path, int32_t n_lines, int32_t uh_length);

    int32_t first(std::size_t line) const { return first_[line]; }
    int32_t last(std::size_t line) const { return last_[line]; }
    // Ordinates of lags first..last of a line (empty when last < first).
    const float* ordinates(std::size_t line) const { return ordinates_.data() + offset_[line]; }
    std::size_t size() const { return first_.size(); }

  private:
    std::vector<int32_t> first_, last_;
    std::vector<std::size_t> offset_;
    std::vector<float> ordinates_;
};

}  // namespace hydro
