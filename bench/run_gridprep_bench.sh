#!/usr/bin/env bash
# Benchmark of gridprep's terrain analysis at 10^6 cells, side by side with
# GRASS GIS r.watershed in single flow direction mode (-s) on the same DEMs
# when GRASS is installed (Debian: apt-get install grass-core).
#
#   dem1m    1000 x 1000 cells of 28 m resampled (bilinear, GDAL) from the 90 m Jacksboro DEM
#            (../shared/data; without GDAL or the data: rolling hills from gridprep_bench_dems)
#   spiral   a one-cell-wide spiral channel, 1001 x 1001 cells: every flow path winds through
#            the whole grid (about 5 x 10^5 cells long)
#
# gridprep makes a whole project (default outlet, daily steps): reading the DEM, filling,
# directions, accumulation, subbasins, travel times and responses, and writing every grid and
# response file. r.watershed is timed alone (the DEM imported beforehand), writing the
# accumulation, drainage and basin rasters. Each program runs 3 times; the table shows the
# fastest wall time, its user CPU time and the largest peak resident memory.
#
# Usage: bench/run_gridprep_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target gridprep gridprep_bench_dems >/dev/null
work=bench/work/gridprep
mkdir -p "$work"
data=../shared/data/jacksboro_utm16n_90m.asc
runs=3

if [ ! -f "$work/dem1m.asc" ]; then
  if command -v gdalwarp >/dev/null && [ -f "$data" ]; then
    gdalwarp -q -overwrite -te 731880 4038490 759880 4066490 -tr 28 28 -r bilinear -of AAIGrid \
      -co DECIMAL_PRECISION=2 "$data" "$work/dem1m.asc"
  else
    echo "(no GDAL or no $data: rolling hills instead of the resampled DEM)"
    build/gridprep_bench_dems hills 1000 "$work/dem1m.asc"
  fi
fi
[ -f "$work/spiral.asc" ] || build/gridprep_bench_dems spiral 1001 "$work/spiral.asc"

# once CMD...: runs CMD (which runs its program under /usr/bin/time -f 'TIME %e %U %M'); prints the TIME line
timed() { /usr/bin/time -f 'TIME %e %U %M' "$@"; }
once() { "$@" 2>&1 >/dev/null | grep '^TIME' | tail -1 || true; }
# best_of CMD...: $runs runs; prints "wall user peak_mb" (fastest wall, its user time, largest peak)
best_of() {
  for _ in $(seq "$runs"); do once "$@"; done |
    awk '{ if (!n || $2 < w) { w = $2; u = $3 } if ($4 > m) m = $4; n++ } END { printf "%.2f %.2f %.0f", w, u, m / 1024 }'
}

echo "machine: $(nproc) hardware threads, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
have_grass=0
if command -v grass >/dev/null; then have_grass=1; echo "GRASS: $(grass --version 2>&1 | head -1)"; else
  echo "GRASS GIS not installed (apt-get install grass-core): gridprep alone"; fi
printf '\n%-8s %-34s %8s %8s %9s\n' dem program "wall s" "user s" "peak MB"
for dem in dem1m spiral; do
  out="$work/project_$dem"
  read -r w u m <<<"$(best_of timed build/gridprep/gridprep --dem "$work/$dem.asc" --output "$out" --force --time-step 24)"
  printf '%-8s %-34s %8s %8s %9s\n' "$dem" "gridprep (whole project)" "$w" "$u" "$m"
  if [ "$have_grass" = 1 ]; then
    db="$work/grassdb_$dem"
    if [ ! -d "$db/loc/PERMANENT" ]; then
      rm -rf "$db" && mkdir -p "$db"
      grass -c EPSG:32616 -e "$db/loc" >/dev/null 2>&1
      grass "$db/loc/PERMANENT" --exec r.in.gdal -o input="$work/$dem.asc" output=dem >/dev/null 2>&1
      grass "$db/loc/PERMANENT" --exec g.region raster=dem >/dev/null 2>&1
    fi
    # Timed inside GRASS's session: r.watershed alone, not the session's start.
    read -r w u m <<<"$(best_of grass "$db/loc/PERMANENT" --exec /usr/bin/time -f 'TIME %e %U %M' r.watershed -s \
                          --overwrite elevation=dem accumulation=acc drainage=dir basin=bas threshold=10000)"
    printf '%-8s %-34s %8s %8s %9s\n' "$dem" "r.watershed -s (alone)" "$w" "$u" "$m"
  fi
done
echo
echo "wall s: fastest of $runs runs; user s: CPU time of that run; peak MB: largest resident set (/usr/bin/time %M)."
