// The unit responses of a new project: uh_cell_h.txt (each basin cell to
// the basin outlet), uh_cell_s.txt (each basin cell to its subbasin's
// outlet), both for the basin cells in reading order, and uh_river.txt (each
// subbasin's outlet to the basin outlet), written as they are made.
#pragma once

#include <cstdint>
#include <vector>

#include "project_folder.hpp"
#include "travel_time.hpp"

namespace gridprep {

// Writes the three files into model/output; returns the longest last lag
// (in steps) of the responses to the basin outlet, to which every other
// response is cut.
int32_t write_response_files(ProjectFolder& out, const std::vector<uint8_t>& basin, const TravelTimes& tt,
                             int32_t subbasins);

}  // namespace gridprep
