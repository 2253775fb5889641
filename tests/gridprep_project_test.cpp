// Whole projects made by the gridprep executable: every rule the model and
// its preprocessor rely on holds, both programs run on them in both run
// modes, and bad inputs end with one clear line and no project.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "dem_grid.hpp"
#include "test_support.hpp"

#ifdef GRIDPREP_EXE

namespace {

using namespace testing_support;

const std::string kVolcano = std::string(TEST_SOURCE_DIR) + "/gridprep_data/volcano_10m.asc";

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l.find_first_not_of(" \t\r") != std::string::npos) lines.push_back(l);
    return lines;
}

// Series of two stations over `steps` hours: rain in the first third only.
std::string series(int steps, double wet, double dry, int columns = 2) {
    std::string t = "year month day hour";
    for (int c = 0; c < columns; ++c) t += " " + std::to_string(100 + c);
    t += "\n";
    for (int k = 0; k < steps; ++k) {
        t += "2014 6 " + std::to_string(1 + k / 24) + " " + std::to_string(k % 24);
        for (int c = 0; c < columns; ++c) t += " " + std::to_string(k < steps / 3 && (k + c) % 3 == 0 ? wet : dry);
        t += "\n";
    }
    return t;
}

struct Inputs {
    TempDir dir{"gridprep"};
    fs::path stations = dir.path() / "stations.csv";
    fs::path p = dir.path() / "p_in.txt", e = dir.path() / "e_in.txt", t = dir.path() / "t_in.txt";
    fs::path root = dir.path() / "project";
    Inputs() {
        write_file(stations,
                   "variable,station,x,y\np,1,100,100\np,2,600,800\ne,1,300,300\ne,2,500,500\n"
                   "t,1,0,0\nt,2,610,870\n");
        write_file(p, series(72, 12.0, 0.0));
        write_file(e, series(72, 0.2, 0.2));
        write_file(t, series(72, 18.0, 18.0));
    }
    std::vector<std::string> args(const std::string& dem) const {
        return {"--dem",    dem,     "--output", root.string(),   "--stations", stations.string(), "--precipitation",
                p.string(), "--pet", e.string(), "--temperature", t.string(),   "--time-step",     "1"};
    }
};

struct Grid {
    std::vector<std::string> header;
    gridprep::Raster raster;
};

Grid grid(const fs::path& root, const std::string& name) {
    const fs::path p = root / "arcview" / "ascii" / name;
    const std::vector<std::string> l = lines_of(read_file(p));
    Grid g{std::vector<std::string>(l.begin(), l.begin() + 6), gridprep::read_ascii_raster(p.string())};
    // The no-data value as written, for the model's own tests on it.
    for (std::size_t i = 0; i < g.raster.value.size(); ++i)
        if (!g.raster.has_data[i]) g.raster.value[i] = g.raster.nodata;
    return g;
}

struct ResponseLine {
    int first = 0, last = 0;
    std::vector<double> ordinates;
};

std::vector<ResponseLine> responses(const fs::path& root, const std::string& name) {
    std::vector<ResponseLine> out;
    for (const std::string& l : lines_of(read_file(root / "model" / "output" / name))) {
        std::istringstream in(l);
        ResponseLine r;
        in >> r.first >> r.last;
        for (double o; in >> o;) r.ordinates.push_back(o);
        out.push_back(r);
    }
    return out;
}

// The rules of a valid project; returns the number of basin cells.
int check_project(const fs::path& root, const fs::path& stations_csv) {
    const char* real_grids[] = {"runoff_co.asc", "fieldcap.asc",   "porosity.asc",   "conductivity.asc",
                                "poreindex.asc", "depression.asc", "interc_max.asc", "interc_min.asc",
                                "residual.asc",  "rootdepth.asc",  "slope.asc",      "wiltingpoint.asc",
                                "elevation.asc"};
    const char* int_grids[] = {"thiessen_p.asc", "thiessen_e.asc", "thiessen_t.asc"};
    const Grid ws = grid(root, "watershed.asc");
    std::map<std::string, Grid> g;
    for (const char* n : real_grids) g[n] = grid(root, n);
    for (const char* n : int_grids) g[n] = grid(root, n);
    const gridprep::Geometry& geo = ws.raster.geometry;
    EXPECT_EQ(geo.cell_size, std::round(geo.cell_size));
    for (const auto& [name, other] : g) EXPECT_EQ(other.header, ws.header) << name << ": the same geometry";

    const std::size_t n = geo.cells();
    int cells = 0, subbasins = 0;
    std::map<int, bool> has_runoff_cell;
    for (std::size_t i = 0; i < n; ++i) {
        const double s = ws.raster.value[i];
        EXPECT_EQ(s, std::floor(s));
        const bool valid = g["rootdepth.asc"].raster.value[i] >= 0 && g["porosity.asc"].raster.value[i] >= 0 &&
                           g["slope.asc"].raster.value[i] >= 0 && g["thiessen_p.asc"].raster.value[i] >= 0 && s >= 0 &&
                           g["runoff_co.asc"].raster.value[i] >= 0;
        EXPECT_EQ(valid, s > 0) << "cell " << i << ": simulated exactly inside the basin";
        if (s <= 0) {
            for (auto& [name, other] : g) EXPECT_LT(other.raster.value[i], 0) << name << " outside the basin";
            continue;
        }
        ++cells;
        subbasins = std::max(subbasins, static_cast<int>(s));
        has_runoff_cell[static_cast<int>(s)] |=
            g["runoff_co.asc"].raster.value[i] > 0 && g["rootdepth.asc"].raster.value[i] > 0;
        EXPECT_GT(g["porosity.asc"].raster.value[i], g["fieldcap.asc"].raster.value[i]);
        for (const char* z : int_grids) {
            const double v = g[z].raster.value[i];
            EXPECT_EQ(v, std::floor(v));
            EXPECT_GE(v, 1) << z;
        }
    }
    EXPECT_EQ(static_cast<int>(has_runoff_cell.size()), subbasins) << "subbasins 1..n without gaps";
    for (const auto& [s, ok] : has_runoff_cell) EXPECT_TRUE(ok) << "subbasin " << s << " has a cell that makes runoff";

    // Thiessen grids: the nearest station of the cell centre.
    std::map<char, std::vector<std::array<double, 3>>> st;
    for (const std::string& l : lines_of(read_file(stations_csv))) {
        std::istringstream in(l);
        std::string v, num, x, y;
        std::getline(in, v, ',');
        std::getline(in, num, ',');
        std::getline(in, x, ',');
        std::getline(in, y, ',');
        if (v.size() == 1) st[v[0]].push_back({std::stod(num), std::stod(x), std::stod(y)});
    }
    for (const auto& [var, name] :
         {std::pair{'p', "thiessen_p.asc"}, std::pair{'e', "thiessen_e.asc"}, std::pair{'t', "thiessen_t.asc"}})
        for (int r = 0; r < geo.n_rows; ++r)
            for (int c = 0; c < geo.n_cols; ++c) {
                const std::size_t i = geo.index(r, c);
                if (ws.raster.value[i] <= 0) continue;
                const double x = geo.xll + (c + 0.5) * geo.cell_size,
                             y = geo.yll + (geo.n_rows - r - 0.5) * geo.cell_size;
                double best = 1e300, nearest = 0;
                // Without temperature stations the temperature grid repeats the precipitation one.
                for (const auto& s : st[st[var].empty() ? 'p' : var]) {
                    const double d = std::hypot(x - s[1], y - s[2]);
                    if (d < best || (d == best && s[0] < nearest)) best = d, nearest = s[0];
                }
                EXPECT_EQ(g[name].raster.value[i], nearest) << name << " row " << r << " col " << c;
            }

    // Responses: one line per cell (row-major) and per subbasin, sums of 1, lags in bounds.
    const auto h = responses(root, "uh_cell_h.txt"), s = responses(root, "uh_cell_s.txt"),
               river = responses(root, "uh_river.txt");
    EXPECT_EQ(static_cast<int>(h.size()), cells);
    EXPECT_EQ(static_cast<int>(s.size()), cells);
    EXPECT_EQ(static_cast<int>(river.size()), subbasins);
    int uh_length = 0;
    for (const auto& r : h) uh_length = std::max(uh_length, r.last);
    for (const auto* file : {&h, &s, &river})
        for (const ResponseLine& r : *file) {
            EXPECT_GE(r.first, 0);
            EXPECT_LE(r.last, uh_length);
            EXPECT_EQ(static_cast<int>(r.ordinates.size()), r.last - r.first + 1);
            double sum = 0;
            for (double o : r.ordinates) sum += o;
            EXPECT_NEAR(sum, 1.0, 1e-8);
        }
    return cells;
}

// Sum of the discharge column Q of q_tot.txt.
double outflow_sum(const fs::path& root) {
    double sum = 0;
    const std::vector<std::string> l = lines_of(read_file(root / "model" / "output" / "q_tot.txt"));
    for (std::size_t k = 1; k < l.size(); ++k) {
        std::istringstream in(l[k]);
        double v[9];
        for (double& x : v) in >> x;
        sum += v[8];
    }
    return sum;
}

TEST(GridprepProject, VolcanoRunsThroughBothProgramsInBothModes) {
    Inputs in;
    const RunResult made = run_program(GRIDPREP_EXE, in.args(kVolcano), in.dir.path());
    ASSERT_EQ(made.exit_code, 0) << made.err;
    EXPECT_EQ(made.err, "");
    EXPECT_GT(check_project(in.root, in.stations), 100);
    EXPECT_EQ(read_file(in.root / "model" / "input" / "p.txt"), read_file(in.p));

    const fs::path here = run_dir(in.root);
    const RunResult means = run_program(AREAMEAN_EXE, {}, here);
    ASSERT_EQ(means.exit_code, 0) << means.err;
    EXPECT_TRUE(fs::exists(in.root / "model" / "output" / "Subbasin_T.txt"));
    const RunResult mode1 = run_program(GRIDRUN_EXE, {}, here, "1\n");
    ASSERT_EQ(mode1.exit_code, 0) << mode1.err;
    const double volume1 = outflow_sum(in.root);
    const RunResult mode2 = run_program(GRIDRUN_EXE, {}, here, "2\n");
    ASSERT_EQ(mode2.exit_code, 0) << mode2.err;
    EXPECT_TRUE(fs::exists(in.root / "model" / "output" / "q_sub.txt"));
    EXPECT_TRUE(fs::exists(in.root / "model" / "output" / "runoff0001.asc")) << "a map over the whole series";
    // The same water reaches the outlet by either routing.
    const double volume2 = outflow_sum(in.root);
    EXPECT_GT(volume1, 0.0);
    EXPECT_NEAR(volume2, volume1, 0.02 * volume1);
}

TEST(GridprepProject, FlatsPitsAndANoDataMarginGiveAValidProject) {
    Inputs in;
    // A valley in a frame without data, with a flat floor, two pits and a hole.
    std::string dem = "ncols 24\nnrows 20\nxllcorner 0.0\nyllcorner 0.0\ncellsize 30.000\nNODATA_value -32768\n";
    for (int r = 0; r < 20; ++r) {
        for (int c = 0; c < 24; ++c) {
            double z = 100 + 2.0 * std::abs(c - 12) + 0.5 * (19 - r);
            if (r < 2 || c < 2 || c > 21 || r > 18 || (r == 9 && c == 5))
                z = -32768;
            else if (r >= 6 && r <= 12 && c >= 10 && c <= 14)
                z = 104;  // a flat floor
            else if ((r == 15 && c == 12) || (r == 4 && c == 18))
                z = 90;  // pits
            dem += (c ? " " : "") + std::to_string(z);
        }
        dem += "\n";
    }
    write_file(in.dir.path() / "nasty.asc", dem);
    write_file(in.stations, "p,1,0,0\ne,1,0,0\n");
    std::vector<std::string> args = {"--dem",
                                     (in.dir.path() / "nasty.asc").string(),
                                     "--output",
                                     in.root.string(),
                                     "--stations",
                                     in.stations.string(),
                                     "--outlet-rc",
                                     "18",
                                     "13",
                                     "--snap",
                                     "2",
                                     "--threshold-cells",
                                     "8",
                                     "--time-step",
                                     "1"};
    const RunResult made = run_program(GRIDPREP_EXE, args, in.dir.path());
    ASSERT_EQ(made.exit_code, 0) << made.err;
    EXPECT_NE(made.out.find("snow is off"), std::string::npos) << made.out;
    EXPECT_GT(check_project(in.root, in.stations), 200);
    write_file(in.root / "model" / "input" / "p.txt", series(30, 8.0, 0.0, 1));
    write_file(in.root / "model" / "input" / "pet.txt", series(30, 0.1, 0.1, 1));
    const RunResult model = run_program(GRIDRUN_EXE, {}, run_dir(in.root), "2\n");
    EXPECT_EQ(model.exit_code, 0) << model.err;
}

struct Failure {
    const char* name;
    std::vector<std::string> extra;  // replaces or extends the arguments
    const char* message_part;
    int exit_code;
};

class GridprepRefuses : public ::testing::TestWithParam<Failure> {};

TEST_P(GridprepRefuses, WithOneLineAndNoProject) {
    Inputs in;
    write_file(in.dir.path() / "few_columns.txt", series(10, 1.0, 0.0, 1));
    write_file(in.dir.path() / "no_pet.csv", "p,1,0,0\nt,1,0,0\n");
    std::vector<std::string> args = in.args(kVolcano);
    for (const std::string& a : GetParam().extra) args.push_back(a);
    for (std::string& a : args) {
        if (a == "@few") a = (in.dir.path() / "few_columns.txt").string();
        if (a == "@no_pet") a = (in.dir.path() / "no_pet.csv").string();
    }
    const RunResult r = run_program(GRIDPREP_EXE, args, in.dir.path());
    EXPECT_EQ(r.exit_code, GetParam().exit_code);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(GetParam().message_part), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(in.root));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, GridprepRefuses,
    ::testing::Values(
        Failure{"missing_dem", {"--dem", "no_such.asc"}, "no_such.asc: expected an existing, readable DEM", 1},
        Failure{"outlet_outside", {"--outlet-rc", "88", "1"}, "expected an outlet row from 1 to 87", 1},
        Failure{"outlet_far_away", {"--outlet-xy", "-50", "20"}, "expected an outlet inside the DEM", 1},
        Failure{"short_series", {"--precipitation", "@few"}, "few_columns.txt, line 1: expected 6 values", 1},
        Failure{"no_pet_station", {"--stations", "@no_pet"}, "at least one evapotranspiration station", 1},
        Failure{"bad_report", {"--report", "1,99"}, "expected subbasin numbers from 1 to", 1},
        Failure{"unknown_option", {"--fast"}, "unknown option \"--fast\"", 2}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(GridprepProgram, HelpAndVersion) {
    TempDir dir("gridprep_help");
    const RunResult help = run_program(GRIDPREP_EXE, {"--help"}, dir.path());
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("Usage: gridprep --dem", 0), 0u);
    const RunResult version = run_program(GRIDPREP_EXE, {"--version"}, dir.path());
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out.rfind("gridprep ", 0), 0u);
}

}  // namespace

#endif  // GRIDPREP_EXE
