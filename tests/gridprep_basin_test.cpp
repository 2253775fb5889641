// Long flow paths, basins cut off by the DEM's edge, outlets on filled flats,
// merging of small subbasins, and the project folder's manifest.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "accumulation.hpp"
#include "basin_checks.hpp"
#include "gridprep_test_dems.hpp"
#include "input_error.hpp"
#include "prep_options.hpp"
#include "prep_pipeline.hpp"
#include "priority_flood.hpp"
#include "project_folder.hpp"
#include "project_writer.hpp"
#include "response_functions.hpp"
#include "subbasins.hpp"
#include "test_support.hpp"
#include "travel_time.hpp"

namespace {

using namespace gridprep;
using namespace gridprep_testing;
namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

TEST(GridprepLongPaths, SpiralDrainsAlongItsWholeLengthToTheCorner) {
    const int n = 201;
    const Raster dem = spiral_dem(n);
    const FlowDirections fd = d8_directions(dem, fill_depressions(dem));
    const std::vector<int32_t> acc = flow_accumulation(fd);
    const std::size_t outlet = largest_outlet(acc);
    ASSERT_EQ(outlet, 0u);
    EXPECT_EQ(acc[outlet], n * n) << "every cell drains to the corner";
    const std::vector<uint8_t> basin = basin_above(fd, outlet);
    Subbasins sb = delineate_subbasins(fd, acc, basin, outlet, 5000);
    EXPECT_EQ(sb.count, 1) << "one channel, no junctions";
    RoutingParameters p;
    p.time_step_hours = 1.0;
    p.max_velocity = 1.0;  // 10 m cells, about 10^4 steps of channel: about 28 hours
    const TravelTimes tt = travel_times(fd, acc, sb, std::vector<double>(dem.value.size(), 1.0),
                                        std::vector<double>(dem.value.size(), 0.1), p);
    // The channel's far end, the last cell of the spiral, arrives last.
    std::size_t far = 0;
    for (std::size_t i = 0; i < dem.value.size(); ++i)
        if (dem.value[i] < 100.0 && dem.value[i] > dem.value[far]) far = i;
    const double channel_cells = dem.value[far] / 0.001;
    const TravelTime t = tt.to_basin_outlet_of(far);
    EXPECT_GT(t.mean, channel_cells * 10.0 / 3600.0);  // at most 1 m/s over more than the channel's length
    const Response r = cell_response(t);
    EXPECT_GT(r.first, 20);
    EXPECT_LT(r.ordinates.size(), 20u) << "a long delay, a short spread: the leading zeros are skipped";
    double sum = 0;
    for (double o : r.ordinates) sum += o;
    EXPECT_NEAR(sum, 1.0, 1e-12);
}

TEST(GridprepBasinChecks, EdgeCellsDrainingIntoTheBasinAreCountedBySide) {
    // The valley drains through the middle of its southern row; every other
    // border cell drains into the basin.
    const Raster dem = v_valley(12, 9);
    const FlowDirections fd = d8_directions(dem, fill_depressions(dem));
    const std::vector<uint8_t> basin = basin_above(fd, dem.geometry.index(11, 4));
    const InwardEdge e = inward_edge_cells(dem, fd, basin);
    EXPECT_EQ(e.cells, 12 + 12 + 7 + 8 - 2);  // west, east, north and south without corners, less the outlet
    EXPECT_EQ(e.north.cells, 9);
    EXPECT_EQ(e.south.cells, 8);
    EXPECT_EQ(e.west.cells, 12);
    EXPECT_EQ(e.south.from, 0);
    EXPECT_EQ(e.south.to, 8);
    EXPECT_EQ(e.nodata_rows.cells, 0);

    // A frame without data around a hole: cells beside it count there.
    const Raster framed = make_dem(12, 9, 10.0, [](int r, int c) {
        if (r == 0 || c == 0 || c == 8 || (r == 5 && c == 2)) return std::nan("");
        return 5.0 * std::abs(c - 4) + 2.0 * (11 - r) + 50.0;
    });
    const FlowDirections ffd = d8_directions(framed, fill_depressions(framed));
    const InwardEdge f = inward_edge_cells(framed, ffd, basin_above(ffd, framed.geometry.index(11, 4)));
    EXPECT_EQ(f.north.cells + f.west.cells + f.east.cells, 0);
    EXPECT_GT(f.nodata_rows.cells, 0);
    EXPECT_EQ(f.nodata_rows.from, 1);
    EXPECT_EQ(f.nodata_cols.to, 7);
}

TEST(GridprepBasinChecks, OutletInAFilledPitHasTheSpillCellOfItsFlat) {
    const Raster dem = v_valley_with_pit();  // the pit at row 6, column 4, filled to the cell below it
    const std::vector<double> filled = fill_depressions(dem);
    const FlowDirections fd = d8_directions(dem, filled);
    const std::vector<int32_t> acc = flow_accumulation(fd);
    const Geometry& g = dem.geometry;
    const OutletFlat f = flat_at_outlet(dem, filled, fd, acc, g.index(6, 4));
    EXPECT_EQ(f.cells, 2);
    EXPECT_DOUBLE_EQ(f.fill_depth, 18.0);
    EXPECT_FALSE(f.outlet_spills);
    EXPECT_EQ(f.spill, g.index(7, 4));
    EXPECT_GT(acc[f.spill], acc[g.index(6, 4)]);
    EXPECT_TRUE(flat_at_outlet(dem, filled, fd, acc, g.index(9, 4)).outlet_spills);
    // The stream two cells away from a slope cell.
    const NearbyStream near = largest_nearby(fd, acc, g.index(9, 2), 2.0);
    EXPECT_EQ(near.cell, g.index(9, 4));
    EXPECT_DOUBLE_EQ(near.distance, 2.0);
}

TEST(GridprepSubbasins, SmallSubbasinsMergeDownstreamAndATinyOutletSubbasinTakesTheLargestInflow) {
    // 5 x 3 cells: three columns run south; the corner columns turn into the
    // bottom middle cell, the outlet, which is a junction of three links.
    FlowDirections fd;
    fd.geometry.n_rows = 5;
    fd.geometry.n_cols = 3;
    fd.geometry.cell_size = 10;
    fd.code = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0, kOutflow, 4};
    const std::vector<int32_t> acc = flow_accumulation(fd);
    const std::vector<uint8_t> basin(15, 1);
    Subbasins sb = delineate_subbasins(fd, acc, basin, 13, 4);
    ASSERT_EQ(sb.id, (std::vector<int32_t>{3, 4, 2, 3, 4, 2, 3, 4, 2, 3, 4, 2, 3, 1, 2}));
    Subbasins none = sb;
    EXPECT_EQ(merge_small_subbasins(none, fd, 1), 0);
    EXPECT_EQ(none.id, sb.id);
    // The outlet's subbasin (1 cell) takes in the larger of the two 5-cell
    // links, the lower number among equals; the rest are numbered again.
    EXPECT_EQ(merge_small_subbasins(sb, fd, 3), 1);
    EXPECT_EQ(sb.count, 3);
    EXPECT_EQ(sb.id, (std::vector<int32_t>{2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 1, 1}));
    EXPECT_EQ(sb.outlet, (std::vector<std::size_t>{13, 12, 10}));
    // Everything small: one subbasin.
    Subbasins all = delineate_subbasins(fd, acc, basin, 13, 4);
    EXPECT_EQ(merge_small_subbasins(all, fd, 100), 3);
    EXPECT_EQ(all.id, std::vector<int32_t>(15, 1));
}

TEST(GridprepSubbasins, AChainOfShortLinksMergesIntoTheFirstLargeOneBelow) {
    const Raster dem = read_ascii_raster(std::string(TEST_SOURCE_DIR) + "/gridprep_data/volcano_10m.asc");
    const FlowDirections fd = d8_directions(dem, fill_depressions(dem));
    const std::vector<int32_t> acc = flow_accumulation(fd);
    const std::size_t outlet = largest_outlet(acc);
    const std::vector<uint8_t> basin = basin_above(fd, outlet);
    Subbasins sb = delineate_subbasins(fd, acc, basin, outlet, 20);
    const int32_t before = sb.count;
    const int32_t merged = merge_small_subbasins(sb, fd, 40);
    EXPECT_GT(merged, 0);
    EXPECT_EQ(sb.count, before - merged);
    std::vector<int64_t> size(static_cast<std::size_t>(sb.count) + 1, 0);
    for (std::size_t i = 0; i < basin.size(); ++i) {
        if (!basin[i]) continue;
        ASSERT_GE(sb.id[i], 1);
        ASSERT_LE(sb.id[i], sb.count);
        ++size[static_cast<std::size_t>(sb.id[i])];
        // Water stays in its subbasin until the subbasin's outlet.
        const bool is_outlet = sb.outlet[static_cast<std::size_t>(sb.id[i] - 1)] == i;
        if (!is_outlet) {
            EXPECT_EQ(sb.id[static_cast<std::size_t>(fd.downstream(i))], sb.id[i]);
        }
    }
    for (int32_t s = 1; s <= sb.count; ++s) EXPECT_GE(size[static_cast<std::size_t>(s)], 40) << "subbasin " << s;
    EXPECT_EQ(sb.outlet.front(), outlet);
}

// --- Whole projects, in process ---------------------------------------------

struct Folder {
    TempDir dir{"gridprep_basin"};
    std::string dem = (dir.path() / "dem.asc").string();
    std::string root = (dir.path() / "project").string();
    explicit Folder(const Raster& r) { write_file(dem, real_grid_text(r.geometry, r.has_data, r.value, 3)); }
    PrepSummary make(std::vector<std::string> extra) const {
        std::vector<std::string> args = {"--dem", dem, "--output", root};
        args.insert(args.end(), extra.begin(), extra.end());
        return make_project(parse_command_line(args));
    }
};

bool has_note(const PrepSummary& s, const std::string& part) {
    return std::any_of(s.notes.begin(), s.notes.end(),
                       [&](const std::string& n) { return n.find(part) != std::string::npos; });
}

TEST(GridprepProjectNotes, OutletInAPitIsSaidMovedOnRequestAndRefusedWhenStrict) {
    const Folder f(v_valley_with_pit());
    const PrepSummary plain = f.make({"--outlet-rc", "7", "5"});
    EXPECT_TRUE(has_note(plain, "on a flat of 2 cells")) << summary_text(PrepOptions{}, plain);
    EXPECT_TRUE(has_note(plain, "filled by 18 m"));
    EXPECT_TRUE(has_note(plain, "--outlet-to-spill"));
    EXPECT_TRUE(has_note(plain, "cut off by the DEM's edge"));
    EXPECT_EQ(plain.outlet_row, 7);

    const PrepSummary moved = f.make({"--outlet-rc", "7", "5", "--outlet-to-spill", "--force"});
    EXPECT_EQ(moved.outlet_row, 8);
    EXPECT_EQ(moved.outlet_col, 5);
    EXPECT_GT(moved.basin_cells, plain.basin_cells);

    const Folder g(v_valley_with_pit());
    EXPECT_THROW(g.make({"--outlet-rc", "7", "5", "--strict"}), hydro::InputError);
    EXPECT_FALSE(fs::exists(g.root)) << "no project left behind";
    // Beside the stream: --snap is suggested. The default outlet lies on the edge.
    EXPECT_TRUE(has_note(g.make({"--outlet-rc", "10", "3"}), "--snap 3 moves the outlet"));
    EXPECT_TRUE(has_note(g.make({"--force"}), "default outlet"));
}

// The snow every cell starts with follows the month of the first step:
// 15, 25, 35, 45 mm from November to February, none otherwise.
TEST(GridprepControlFile, NamesTheSnowPackTheRunStartsWith) {
    const struct {
        bool have_period;
        int32_t month;
        const char* text;
    } cases[] = {
        {true, 1, "35 mm on every cell (the first step is in January)"},
        {true, 11, "15 mm on every cell (the first step is in November)"},
        {true, 6, "none (the first step is in June)"},
        {false, 0,
         "by the month of the first step: January 35 mm, February 45 mm, November 15 mm, December 25 mm, none in "
         "other months"},
    };
    for (const auto& c : cases) {
        ControlSettings control = default_control(24.0);
        control.have_period = c.have_period;
        control.period_start.month = c.month;
        EXPECT_EQ(starting_snow_text(control), c.text);
        EXPECT_NE(control_text(control).find("| hours per time step; snow at the start: " + std::string(c.text) + "\n"),
                  std::string::npos);
    }
}

TEST(GridprepProjectFolder, RefusedUnlessForcedWhichRemovesOnlyTheListedFiles) {
    const Folder f(v_valley(12, 9));
    const fs::path root(f.root);
    write_file(f.dir.path() / "p.txt", "year month day hour 100\n2014 6 1 0 1\n");
    const PrepSummary made = f.make({"--precipitation", (f.dir.path() / "p.txt").string(), "--terrain-grids"});
    EXPECT_NE(summary_text(PrepOptions{}, made).find("  start snow  none (the first step is in June)\n"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(root / "model" / "input" / "p.txt"));
    const std::string accumulation = read_file(root / "arcview" / "ascii" / "flow_accumulation.asc");
    EXPECT_NE(accumulation.find(" 108 "), std::string::npos) << "the outlet gathers all 12 x 9 cells";
    const FolderState first = inspect_project_folder(f.root);
    EXPECT_EQ(first.listed.size(), 25u) << "17 grids, 3 terrain grids, input.txt, p.txt, 3 responses";

    // Files the user or the model put there, and a manifest line pointing outside.
    write_file(root / "model" / "output" / "q_tot.txt", "results\n");
    write_file(f.dir.path() / "outside.txt", "keep\n");
    write_file(f.dir.path() / "elsewhere" / "input.txt", "keep\n");
    fs::create_directory_symlink(f.dir.path() / "elsewhere", root / "linked");
    write_file(root / kManifestName,
               read_file(root / kManifestName) + "../outside.txt\n/etc/hostname\nlinked/input.txt\n");
    try {
        f.make({});
        FAIL() << "a project folder was written over without --force";
    } catch (const hydro::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("--force"), std::string::npos) << e.what();
    }
    const PrepSummary again = f.make({"--force"});
    EXPECT_TRUE(has_note(again, "were removed first"));
    EXPECT_FALSE(fs::exists(root / "model" / "input" / "p.txt")) << "the earlier run's series is gone";
    EXPECT_FALSE(fs::exists(root / "arcview" / "ascii" / "filled_dem.asc"));
    EXPECT_TRUE(fs::exists(root / "model" / "output" / "q_tot.txt")) << "not gridprep's";
    EXPECT_TRUE(fs::exists(f.dir.path() / "outside.txt"));
    EXPECT_TRUE(fs::exists(f.dir.path() / "elsewhere" / "input.txt")) << "not through a linked folder";
    const FolderState second = inspect_project_folder(f.root);
    EXPECT_EQ(second.listed.size(), 21u);
    for (const std::string& rel : second.listed) EXPECT_TRUE(fs::exists(root / rel)) << rel;
}

// Nothing is written or removed through a link that leads out of the
// project, and a manifest that is not a regular file is refused.
TEST(GridprepProjectFolder, NeverWritesThroughALinkLeavingTheProject) {
    const Folder f(v_valley(12, 9));
    const fs::path root(f.root), outside = f.dir.path() / "outside";
    f.make({});
    write_file(outside / "watershed.asc", "keep\n");
    write_file(outside / "target.txt", "keep\n");
    const fs::path manifest = root / kManifestName;
    const std::string listed = read_file(manifest);
    struct Case {
        const char* name;
        void (*plant)(const fs::path& root, const fs::path& outside);
        const char* message;
    };
    const Case cases[] = {
        {"a dangling link as the manifest",
         [](const fs::path& r, const fs::path& o) {
             fs::remove(r / kManifestName);
             fs::create_symlink(o / "made.txt", r / kManifestName);
         },
         "found a symbolic link"},
        {"a FIFO as the manifest",
         [](const fs::path& r, const fs::path&) {
             fs::remove(r / kManifestName);
             ASSERT_EQ(::mkfifo((r / kManifestName).c_str(), 0644), 0);
         },
         "found a FIFO"},
        {"the grid folder linked outside",
         [](const fs::path& r, const fs::path& o) {
             fs::rename(r / "arcview" / "ascii", r / "arcview" / "ascii.away");
             fs::create_directory_symlink(o, r / "arcview" / "ascii");
         },
         "outside the project folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.plant(root, outside);
        try {
            f.make({"--force"});
            ADD_FAILURE() << "accepted";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(read_file(outside / "watershed.asc"), "keep\n");
        EXPECT_FALSE(fs::exists(outside / "made.txt"));
        EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 2);
        // Undone for the next case.
        fs::remove(manifest);
        write_file(manifest, listed);
        if (fs::is_symlink(root / "arcview" / "ascii")) {
            fs::remove(root / "arcview" / "ascii");
            fs::rename(root / "arcview" / "ascii.away", root / "arcview" / "ascii");
        }
    }
}

}  // namespace
