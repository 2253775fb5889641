#!/usr/bin/env bash
# Speed of calibration on the example basin (13,710 cells x 1,461 daily
# steps, run mode 2): evaluations per second of gridcal with 1 and 2 threads
# (same seed, same trace: compared), and the time of one evaluation against
# the cell loop of one gridrun run (gridrun --timings, 1 thread). On a busy
# machine the wall-clock ratios mean little: the CPU seconds of both gridcal
# runs show whether threads add work.
#
# Usage: bench/calibration_bench.sh [EVALUATIONS]      (default 16)
set -euo pipefail
cd "$(dirname "$0")/.."
evaluations=${1:-16}
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target gridrun gridcal >/dev/null
work=$(pwd)/bench/work/calibration
rm -rf "$work"
mkdir -p "$work"
cp -r examples/jacksboro "$work/project"
log=$(/usr/bin/time -f 'CPU %U %S' build/gridrun --project "$work/project" --mode 2 --quiet --timings --threads 1 2>&1 >/dev/null)
gridrun_cpu=$(echo "$log" | sed -n 's/^CPU //p' | awk '{ print $1 + $2 }')
loop=$(echo "$log" | sed -n 's/.*cell loop \([0-9.]*\).*/\1/p')
total=$(echo "$log" | sed -n 's/.*total \([0-9.]*\).*/\1/p')
awk 'NR > 1 { printf "%04d-%02d-%02d,%.3f\n", $1, $2, $3, $9 * 1.1 } NR == 1 { print "date,discharge" }' \
  "$work/project/model/output/q_tot.txt" > "$work/observed.csv"
printf 'name,lower,upper\npet_factor,0.5,1.5\ninterflow_scale,0.2,3\ngroundwater_recession,0.005,0.1\nconductivity_multiplier,0.5,1.5\n' \
  > "$work/parameters.csv"
eps() {  # threads -> evaluations per second from report.txt (CPU seconds of the whole process in cpu$1)
  /usr/bin/time -f '%U %S' -o "$work/cpu$1" build/gridcal/gridcal --project "$work/project" --observed "$work/observed.csv" --parameters "$work/parameters.csv" \
    --output "$work/out$1" --evaluations "$evaluations" --threads "$1" --mode 2 >/dev/null 2>&1
  sed -n 's/.*, \([0-9.]*\) evaluations per second.*/\1/p' "$work/out$1/report.txt"
}
e1=$(eps 1)
e2=$(eps 2)
cmp -s "$work/out1/trace.csv" "$work/out2/trace.csv" || { echo "TRACES DIFFER"; exit 1; }
echo "machine: $(nproc) hardware threads, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "gridrun, 1 thread: cell loop $loop s, whole run $total s"
awk -v e1="$e1" -v e2="$e2" -v loop="$loop" -v n="$evaluations" 'BEGIN {
  printf "gridcal, %d evaluations: %.3f evaluations/s with 1 thread, %.3f with 2 threads: %.2fx\n", n, e1, e2, e2 / e1
  printf "one evaluation (1 thread) %.3f s = %.2f x the cell loop of one gridrun run\n", 1 / e1, (1 / e1) / loop }'
echo "traces of 1 and 2 threads: identical"
# CPU time, which a busy machine disturbs far less than wall-clock time: the
# whole gridcal process (load, default run, N evaluations, 2 final runs) with
# 1 and 2 threads, and one with a single evaluation (4 runs, all at or near
# the project's parameters) against one whole gridrun run.
/usr/bin/time -f '%U %S' -o "$work/cpu1e" build/gridcal/gridcal --project "$work/project" --observed "$work/observed.csv" \
  --parameters "$work/parameters.csv" --output "$work/out1e" --evaluations 1 --threads 1 --mode 2 >/dev/null 2>&1
awk -v n="$evaluations" -v g="$gridrun_cpu" -v l="$loop" -v t="$total" '{ c[NR] = $1 + $2 } END {
  printf "CPU s of gridcal (load, default run, %d evaluations, 2 final runs): %.1f with 1 thread, %.1f with 2\n", n, c[1], c[2]
  printf "CPU s per model run inside gridcal at the project parameters: %.2f; one whole gridrun run: %.2f, of which the cell loop (by its share of wall time) %.2f\n", c[3] / 4, g, g * l / t }' \
  "$work/cpu1" "$work/cpu2" "$work/cpu1e"
