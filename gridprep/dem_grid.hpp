// Grids as gridprep reads them: an elevation model, or a class map of soils
// or land cover, held in double precision. ESRI ASCII grids are read here;
// any other raster (GeoTIFF and the formats GDAL reads) through GDAL when
// gridprep is built with it.
//
// The reader is more lenient than the model's own grid reader, because DEMs
// come from many GIS exports: header keywords in any case and order,
// xllcenter/yllcenter instead of the corners, decimals in every header value,
// an optional NODATA_value of any size (also "nan"), rows split over lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gridprep {

// Geometry of a raster: row 0 is the top (northern) row, column 0 the left.
struct Geometry {
    int32_t n_cols = 0;
    int32_t n_rows = 0;
    double xll = 0.0;  // x of the lower-left corner of the lower-left cell
    double yll = 0.0;  // y of that corner
    double cell_size = 0.0;

    std::size_t cells() const { return static_cast<std::size_t>(n_cols) * static_cast<std::size_t>(n_rows); }
    std::size_t index(int32_t row, int32_t col) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(n_cols) + static_cast<std::size_t>(col);
    }
    bool inside(int32_t row, int32_t col) const { return row >= 0 && row < n_rows && col >= 0 && col < n_cols; }
    // Map coordinates of a cell centre.
    double x_of(int32_t col) const { return xll + (col + 0.5) * cell_size; }
    double y_of(int32_t row) const { return yll + (n_rows - row - 0.5) * cell_size; }
};

// A grid of real values; cells without data have has_data == 0.
struct Raster {
    Geometry geometry;
    std::vector<double> value;
    std::vector<uint8_t> has_data;
    double nodata = -9999.0;  // the file's no-data value (informative only)
    std::string crs_wkt;      // coordinate system as WKT (the .prj beside an ASCII grid); empty: unknown
    std::string crs_source;   // where crs_wkt came from, for messages
};

// Reads a raster in any format this build knows: an ESRI ASCII grid (and the
// .prj beside it), or, with GDAL, band 1 of any raster GDAL reads (and the
// coordinate system it carries). A file that is no raster (a TIFF given to a
// build without GDAL, a document) is refused with a hint and a name for its
// kind, never with its raw bytes. `what` names the file in messages ("DEM");
// `elevations` refuses heights that a raster says are in feet.
Raster read_raster(const std::string& path, const std::string& what, bool elevations = false);

// The kind of a file that is not an ESRI ASCII grid, from its first bytes
// ("a TIFF file", "a ZIP archive", "binary data", "text starting with ...").
std::string describe_file_start(const std::string& start);

// Whether `start` (the first bytes of a file) begins like an ESRI ASCII grid.
bool looks_like_ascii_grid(const std::string& start);

// Reads an ESRI ASCII grid (without its .prj). Throws hydro::InputError naming the file, the
// line, what was expected and what was found.
Raster read_ascii_raster(const std::string& path);

// Builds a raster from text already in memory (tests).
Raster parse_ascii_raster(const std::string& name, const std::string& contents);

// Elevations on Earth lie between about -11000 m (ocean trenches) and
// 8849 m: a DEM cell outside -12000..10000 m is a no-data value the file
// does not declare, or heights in other units. Throws InputError naming the
// first such cell.
void require_plausible_elevations(const Raster& dem, const std::string& path);

// Checks that a class map lies exactly on the DEM's cells (same size and
// corner within a hundredth of a cell); throws InputError otherwise.
void require_same_geometry(const Geometry& dem, const Geometry& other, const std::string& other_path);

}  // namespace gridprep
