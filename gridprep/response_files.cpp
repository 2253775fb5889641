#include "response_files.hpp"

#include <algorithm>

#include "response_functions.hpp"

namespace gridprep {

namespace {

bool same(const TravelTime& a, const TravelTime& b) { return a.mean == b.mean && a.variance == b.variance; }

}  // namespace

int32_t write_response_files(ProjectFolder& out, const std::vector<uint8_t>& basin, const TravelTimes& tt,
                             int32_t subbasins) {
    // Both cell files in one pass. A cell's response to its subbasin outlet
    // may not reach past the longest response to the basin outlet, known
    // only at the end; it rarely does (its path is part of the other), so
    // the cell-to-subbasin file is written as if it did not, and written
    // again with the responses cut only when one does. Where the two travel
    // times are the same numbers (the subbasin of the basin outlet), so are
    // the responses.
    int32_t uh_length = 0, longest_s = 0;
    {
        ProjectFolder::File h = out.open("model/output/uh_cell_h.txt");
        ProjectFolder::File s = out.open("model/output/uh_cell_s.txt");
        for (std::size_t i = 0; i < basin.size(); ++i) {
            if (!basin[i]) continue;
            const TravelTime& to_outlet = tt.to_basin_outlet_of(i);
            const TravelTime& to_subbasin = tt.to_subbasin_outlet_of(i);
            const Response r = cell_response(to_outlet);
            uh_length = std::max(uh_length, r.last());
            const std::string line = format_response(r);
            h.write(line);
            if (same(to_outlet, to_subbasin)) {
                longest_s = std::max(longest_s, r.last());
                s.write(line);
            } else {
                const Response rs = cell_response(to_subbasin);
                longest_s = std::max(longest_s, rs.last());
                s.write(format_response(rs));
            }
        }
        h.close();
        s.close();
    }
    if (longest_s > uh_length) {
        ProjectFolder::File s = out.open("model/output/uh_cell_s.txt");
        for (std::size_t i = 0; i < basin.size(); ++i) {
            if (!basin[i]) continue;
            Response r = cell_response(tt.to_subbasin_outlet_of(i));
            limit_last_lag(r, uh_length);
            s.write(format_response(r));
        }
        s.close();
    }
    ProjectFolder::File river = out.open("model/output/uh_river.txt");
    for (int32_t s = 1; s <= subbasins; ++s) {
        Response r = river_response(tt.river[static_cast<std::size_t>(s - 1)]);
        limit_last_lag(r, uh_length);
        river.write(format_response(r));
    }
    river.close();
    return uh_length;
}

}  // namespace gridprep
