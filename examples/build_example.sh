#!/usr/bin/env bash
# Rebuilds the example project examples/jacksboro from the raw data in
# examples/raw: the 90 m Jacksboro DEM and the daily weather of two stations.
#   1. station series p.txt, t.txt, pet.txt (Hargreaves) from the weather CSV (make_forcing.awk)
#   2. the project made by gridprep: outlet at DEM row 254, column 79 (snapped within 2 cells),
#      default stream threshold, daily steps, the two stations of stations.csv
#   3. the control file: gridprep's parameters with yearly map periods
# Usage: examples/build_example.sh   (needs a built gridprep in build/)
set -euo pipefail
cd "$(dirname "$0")"
gridprep=../build/gridprep/gridprep
[ -x "$gridprep" ] || { echo "build first: ./run_tests.sh or cmake --build build" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
awk -F, -v out="$tmp" -f make_forcing.awk raw/weather_seattle_newyork_2012_2015.csv
rm -rf jacksboro
"$gridprep" --dem raw/jacksboro_utm16n_90m.asc --output jacksboro --outlet-rc 254 79 --snap 2 \
  --stations stations.csv --time-step 24 \
  --precipitation "$tmp/p.txt" --pet "$tmp/pet.txt" --temperature "$tmp/t.txt"
# Keep gridprep's parameter lines, replace the map periods by one per year
# (moisture: the summer and the winter of 2013).
control=jacksboro/model/input/input.txt
head -n 6 "$control" > "$tmp/input.txt"
cat >> "$tmp/input.txt" <<'PERIODS'
Runoff_maps     | yearly sums
4
2012 1 1 0 2012 12 31 0
2013 1 1 0 2013 12 31 0
2014 1 1 0 2014 12 31 0
2015 1 1 0 2015 12 31 0
Interflow_maps  | yearly sums
4
2012 1 1 0 2012 12 31 0
2013 1 1 0 2013 12 31 0
2014 1 1 0 2014 12 31 0
2015 1 1 0 2015 12 31 0
Recharge_maps   | yearly sums
4
2012 1 1 0 2012 12 31 0
2013 1 1 0 2013 12 31 0
2014 1 1 0 2014 12 31 0
2015 1 1 0 2015 12 31 0
Moisture_maps   | mean relative moisture: summer 2013, winter 2013/14
2
2013 6 1 0 2013 8 31 0
2013 12 1 0 2014 2 28 0
Evaporation_maps | yearly sums, groundwater evaporation included
4
2012 1 1 0 2012 12 31 0
2013 1 1 0 2013 12 31 0
2014 1 1 0 2014 12 31 0
2015 1 1 0 2015 12 31 0
PERIODS
cp "$tmp/input.txt" "$control"
touch jacksboro/run/here/.gitkeep  # the working folder, kept in git
echo "example project written to examples/jacksboro"
