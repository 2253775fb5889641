#!/usr/bin/env bash
# Benchmark of gridrun: deterministic synthetic projects of several sizes,
# each run with 1 thread and with all hardware threads; the outputs must be
# identical. Prints per size: cell-steps per second, nanoseconds per
# cell-step, parallel speed-up, peak memory and the input phase, and the
# floor that the transcendental calls of a wet step cost alone.
#
# Usage: bench/run_bench.sh [--huge]     (--huge adds a case of 10^6 cells)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target gridrun bench_tools >/dev/null
work=bench/work
mkdir -p "$work"
threads=$(nproc)
steps=2000
sizes=("small 32 34" "medium 100 102" "large 316 318")
if [ "${1:-}" = "--huge" ]; then sizes+=("huge 1000 1002"); fi

echo "machine: $(nproc) hardware threads, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
floor_line=$(build/bench_tools floor)
echo "$floor_line" | head -1
floor_ns=$(echo "$floor_line" | sed -n 's/^FLOOR_NS=//p')
echo
printf '%-7s %9s %6s %13s %11s %8s %8s %8s %9s %9s %7s\n' size cells steps "cell-steps/s" "ns/cstep" ratio "t1 s" "tN s" speedup "peak MB" "input s"

run_case() {  # dir threads -> prints "total cell_loop input peak_kb"
  local dir=$1 n=$2 log
  log=$(cd "$dir/run/here" && /usr/bin/time -f 'PEAK_KB=%M' ../../../../../build/gridrun --mode 2 --quiet --timings --threads "$n" 2>&1 >/dev/null)
  local total loop input peak
  total=$(echo "$log" | sed -n 's/.*total \([0-9.]*\).*/\1/p')
  loop=$(echo "$log" | sed -n 's/.*cell loop \([0-9.]*\).*/\1/p')
  input=$(echo "$log" | sed -n 's/.*scan \([0-9.]*\), input \([0-9.]*\).*/\1 \2/p' | awk '{print $1+$2}')
  peak=$(echo "$log" | sed -n 's/^PEAK_KB=//p')
  echo "$total $loop $input $peak"
}

for entry in "${sizes[@]}"; do
  read -r name rows cols <<<"$entry"
  dir=$work/$name
  if [ ! -f "$dir/model/output/uh_cell_s.txt" ]; then
    rm -rf "$dir"
    build/bench_tools make-project "$dir" "$rows" "$cols" "$steps"
  fi
  cells=$(( rows * (cols - 2) ))
  read -r t1 loop1 input1 peak1 <<<"$(run_case "$dir" 1)"
  mkdir -p "$dir/out1" && cp "$dir"/model/output/*.txt "$dir"/model/output/*.asc "$dir/out1/"
  read -r tn loopn inputn peakn <<<"$(run_case "$dir" "$threads")"
  for f in "$dir"/out1/*; do
    cmp -s "$f" "$dir/model/output/$(basename "$f")" || { echo "OUTPUTS DIFFER: $(basename "$f")"; exit 1; }
  done
  awk -v n="$name" -v c="$cells" -v s="$steps" -v l1="$loop1" -v t1="$t1" -v tn="$tn" -v p="$peak1" -v pn="$peakn" -v i="$input1" -v f="$floor_ns" \
    'BEGIN { cs = c * s; ns = l1 * 1e9 / cs;
             printf "%-7s %9d %6d %13.3g %11.1f %8.2f %8.2f %8.2f %9.2f %9.0f %7.2f\n", n, c, s, cs / l1, ns, ns / f, t1, tn, t1 / tn, (pn > p ? pn : p) / 1024, i }'
  if [ "$name" = large ] || [ "$name" = huge ]; then
    build/bench_tools read-responses "$dir/model/output/uh_cell_s.txt" | sed 's/^/    responses: /'
  fi
done
echo
echo "ns/cstep and ratio: the cell loop of the 1-thread run per cell-step, and its ratio to the floor;"
echo "t1/tN: whole runs with 1 and $threads threads; outputs of both runs identical byte for byte."
