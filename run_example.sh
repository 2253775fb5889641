#!/usr/bin/env bash
# Builds the programs it needs (gridrun, areamean, gridprep, run_summary),
# showing how far the build has come, then runs areamean and gridrun (run mode 2, reported
# subbasins and yearly maps) on a scratch copy of the example project
# examples/jacksboro, prints a summary of the run and draws the hydrograph.
# The repository's copy of the example is never modified. With --observed, the
# summary adds the fit scores against that gauge record (CSV date,discharge)
# and the hydrograph draws it over the simulated flow.
# Usage: ./run_example.sh [--observed FILE] [SCRATCH_DIR]      (default: out/example)
set -euo pipefail
observed=
if [ "${1:-}" = "--observed" ]; then
  [ $# -ge 2 ] || { echo "usage: ./run_example.sh [--observed FILE] [SCRATCH_DIR]" >&2; exit 2; }
  observed=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
  [ -f "$observed" ] || { echo "run_example.sh: no observed discharge file $2" >&2; exit 2; }
  shift 2
fi
cd "$(dirname "$0")"
scratch=${1:-out/example}

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
if [ ${#missing[@]} -gt 0 ]; then
  echo "run_example.sh: missing prerequisite(s): ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install -y cmake g++ make libgtest-dev gnuplot-nox" >&2
  exit 2
fi
# The build's progress: one line that counts up on a terminal, a line every
# tenth otherwise (compiler messages still reach the screen through stderr).
show_progress() {
  local line pct last=-10
  while IFS= read -r line; do
    [[ $line =~ ^\[\ *([0-9]+)%\] ]] || continue
    pct=${BASH_REMATCH[1]}
    if [ -t 1 ]; then
      printf '\r   %3d%% %-70.70s' "$pct" "${line#*] }"
    elif [ "$pct" -ge $((last + 10)) ]; then
      last=$pct
      echo "   $pct%"
    fi
  done
  if [ -t 1 ]; then printf '\r   done%-72s\n' ""; fi
}
targets=(gridrun areamean gridprep run_summary)
echo "== building ${targets[*]} into build/ (Release; a first build takes a few minutes)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}" | show_progress

rm -rf "$scratch"
mkdir -p "$(dirname "$scratch")"
cp -r examples/jacksboro "$scratch"
mkdir -p "$scratch/run/here"
here=$(cd "$scratch/run/here" && pwd)
bin=$(pwd)/build

echo "== areamean (subbasin means of the station series)"
(cd "$here" && "$bin/areamean" | sed -n '/Run-time/p')
echo "== gridrun, run mode 2 (cells -> subbasin outlets -> river -> basin outlet)"
(cd "$here" && "$bin/gridrun" --mode 2 --quiet)
echo
if [ -n "$observed" ]; then
  "$bin/run_summary" "$scratch" --observed "$observed"
else
  "$bin/run_summary" "$scratch"
fi
echo
echo "Results: $scratch/model/output/ (q_tot.txt, balance.txt, q_sub.txt, Subbasin_*.txt, yearly maps *.asc)"
if command -v gnuplot >/dev/null 2>&1; then
  if [ -n "$observed" ]; then
    gnuplot -e "qtot='$scratch/model/output/q_tot.txt'; out='$scratch/hydrograph.png'; obs='$observed'; obsawk='examples/observed_for_plot.awk'" examples/hydrograph.gp
  else
    gnuplot -e "qtot='$scratch/model/output/q_tot.txt'; out='$scratch/hydrograph.png'" examples/hydrograph.gp
  fi
  echo "Hydrograph: $scratch/hydrograph.png"
else
  echo "No hydrograph picture: gnuplot is not installed (sudo apt-get install -y gnuplot-nox)."
fi
