#!/usr/bin/env bash
# The engine against the classic serial loop on cases shaped like a real
# hourly basin (about 65,000 cells x 2,000 hourly steps, run mode 2,
# temperature and snow, 2-3 ordinates per cell response, 20 subbasins), all
# ratios measured in one process (bench_engine): "wet" (spring, frequent rain,
# soils above field capacity: percolation and interflow in most steps, the
# case as hard as a real one) and "hourly" (a winter, mostly snow); then peak
# memory of whole runs against the arrays they need, and a tiny basin with a
# long hourly series.
#
# Usage: bench/run_engine_bench.sh [--huge] [--long STEPS]
#   --huge        adds the 10^6-cell case (1000 x 1002 cells, 200 hourly steps)
#   --long STEPS  the tiny basin's series length (default 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
huge=0
long_steps=1000000
while [ $# -gt 0 ]; do
  case "$1" in
    --huge) huge=1 ;;
    --long) long_steps=$2; shift ;;
  esac
  shift
done
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target gridrun bench_tools bench_engine >/dev/null
work=bench/work
mkdir -p "$work"
echo "machine: $(nproc) hardware threads, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"

peak_of() {  # project threads -> peak MB of a whole gridrun run
  (cd "$1/run/here" && /usr/bin/time -f '%M' ../../../../../build/gridrun --mode 2 --quiet --threads "$2" 2>&1 >/dev/null | tail -1) |
    awk '{printf "%.0f", $1 / 1024}'
}

cases=("wet 256 256 2000 wet" "hourly 256 256 2000")
if [ "$huge" = 1 ]; then cases+=("huge 1000 1002 200 wet"); fi
for entry in "${cases[@]}"; do
  read -r name rows cols steps kind <<<"$entry"
  dir=$work/engine-$name
  if [ ! -f "$dir/model/output/uh_cell_s.txt" ]; then
    rm -rf "$dir"
    # shellcheck disable=SC2086
    build/bench_tools make-hourly "$dir" "$rows" "$cols" "$steps" $kind
  fi
  echo
  echo "== $name: $rows x $cols grid, $steps hourly steps"
  build/bench_engine "$dir" 2
  echo "peak memory of gridrun: 1 thread $(peak_of "$dir" 1) MB, 2 threads $(peak_of "$dir" 2) MB"
done

dir=$work/engine-long-$long_steps
if [ ! -f "$dir/model/output/uh_cell_s.txt" ]; then
  rm -rf "$dir"
  build/bench_tools make-hourly "$dir" 8 12 "$long_steps"
fi
echo
echo "== tiny basin (80 cells, 20 subbasins, 4 + 3 + 3 stations), $long_steps hourly steps"
echo "series files: $(du -cm "$dir"/model/input/*.txt | tail -1 | cut -f1) MB of text"
# The arrays the run needs are the forcing (one float per station and step);
# grids, responses and state of 80 cells are a few kB.
stations=0
for f in p pet t; do stations=$((stations + $(head -1 "$dir/model/input/$f.txt" | wc -w) - 4)); done
forcing=$(awk -v n="$stations" -v s="$long_steps" 'BEGIN { printf "%.0f", n * s * 4 / 1048576 }')
peak=$(peak_of "$dir" 2)
echo "peak memory of gridrun: 2 threads $peak MB; forcing $forcing MB ($stations stations x $long_steps steps x 4 bytes):" \
  "$(awk -v p="$peak" -v f="$forcing" 'BEGIN { printf "%.2f", p / f }') x the forcing"
