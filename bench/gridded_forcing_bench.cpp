// Reading speed of gridded forcing: a year of hourly precipitation on a grid
// of 40 x 40 cells of 1 km (14 million values, NetCDF-4, float) turned into
// daily station series for a basin of 400 x 400 cells of 100 m that covers
// the whole grid (1600 stations). Prints the forcing values read per second
// of one core.
//
//     build/gridded_forcing_bench [FOLDER]     (default /tmp)
#include <netcdf.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gridded_forcing.hpp"

namespace {

void nc(int status) {
    if (status != NC_NOERR) {
        std::fprintf(stderr, "netCDF: %s\n", nc_strerror(status));
        std::exit(1);
    }
}

void write_forcing(const std::string& path, std::size_t n, std::size_t hours) {
    int id = 0, d[3], vt = 0, vy = 0, vx = 0, vp = 0;
    nc(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &id));
    nc(nc_def_dim(id, "time", hours, &d[0]));
    nc(nc_def_dim(id, "y", n, &d[1]));
    nc(nc_def_dim(id, "x", n, &d[2]));
    nc(nc_def_var(id, "time", NC_DOUBLE, 1, &d[0], &vt));
    nc(nc_put_att_text(id, vt, "units", 22, "hours since 2001-01-01"));
    nc(nc_def_var(id, "y", NC_DOUBLE, 1, &d[1], &vy));
    nc(nc_def_var(id, "x", NC_DOUBLE, 1, &d[2], &vx));
    nc(nc_def_var(id, "pr", NC_FLOAT, 3, d, &vp));
    nc(nc_put_att_text(id, vp, "standard_name", 18, "precipitation_flux"));
    nc(nc_put_att_text(id, vp, "units", 10, "kg m-2 s-1"));
    const size_t chunk[3] = {24, n, n};
    nc(nc_def_var_chunking(id, vp, NC_CHUNKED, chunk));
    nc(nc_enddef(id));
    std::vector<double> c(n);
    for (std::size_t i = 0; i < n; ++i) c[i] = 500.0 + 1000.0 * static_cast<double>(i);
    nc(nc_put_var_double(id, vx, c.data()));
    for (std::size_t i = 0; i < n; ++i) c[i] = 500.0 + 1000.0 * static_cast<double>(n - 1 - i);
    nc(nc_put_var_double(id, vy, c.data()));
    std::vector<double> time(hours);
    for (std::size_t t = 0; t < hours; ++t) time[t] = static_cast<double>(t);
    nc(nc_put_var_double(id, vt, time.data()));
    std::vector<float> slab(n * n);
    for (std::size_t t = 0; t < hours; ++t) {
        for (std::size_t i = 0; i < slab.size(); ++i) slab[i] = static_cast<float>((t * 7 + i * 3) % 13) * 1e-4f;
        const size_t start[3] = {t, 0, 0}, count[3] = {1, n, n};
        nc(nc_put_vara_float(id, vp, start, count, slab.data()));
    }
    nc(nc_close(id));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const std::string path = folder + "/gridded_forcing_bench.nc";
    const std::size_t n = 40, hours = 8760;
    write_forcing(path, n, hours);

    gridprep::Geometry dem;
    dem.n_rows = dem.n_cols = 400;
    dem.cell_size = 100;
    const std::vector<uint8_t> basin(dem.cells(), 1);
    const std::vector<double> elevation(dem.cells(), 250.0);
    const gridprep::ForcingTarget target{&dem, "", &basin, &elevation, 24.0};

    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t cpu0 = std::clock();
    const gridprep::GriddedSeries s = gridprep::gridded_series(path, "", gridprep::ForcingQuantity::precipitation,
                                                               "--precipitation-variable", target);
    const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    // Processor time is what one core spends; wall-clock time also counts waiting for a busy machine.
    std::printf(
        "%d stations, %lld daily records, %lld forcing values in %.3f s of processor time (%.3f s wall): "
        "%.1f million values/s\n",
        s.stations, static_cast<long long>(s.check.records), static_cast<long long>(s.values_read), cpu, seconds,
        static_cast<double>(s.values_read) / cpu / 1e6);
    std::remove(path.c_str());
    return 0;
}
