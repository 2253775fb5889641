#!/usr/bin/env bash
# The reference cases through the Windows programs under Wine: every file
# gridrun.exe and areamean.exe write must match the expected one byte for
# byte (line ends of the standard output aside, and areamean's run-time line).
# areamean.exe gets the project as a Windows path (drive letter, backslashes).
# Usage: tests/windows_golden.sh BUILD_DIR   (a build with the mingw-w64 toolchain)
set -euo pipefail
golden=$(cd "$(dirname "$0")" && pwd)/golden
bin=$(cd "$1" && pwd)
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$bin/wine-prefix}"
wine=$(command -v wine64 || command -v wine)
# One Wine server for all the runs (it ends half a minute after the last).
if command -v wineserver >/dev/null 2>&1; then wineserver -p 30 >/dev/null 2>&1 || true; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for case_dir in "$golden"/*/; do
  name=$(basename "$case_dir")
  rm -rf "$work/project" && cp -r "$case_dir/project" "$work/project"
  here=$work/project/run/here
  if ! (cd "$here" && "$wine" "$bin/gridrun.exe" <"$case_dir/menu.txt" >"$work/gridrun.stdout" 2>"$work/err"); then
    echo "$name: gridrun.exe failed: $(cat "$work/err")"; failed=1; continue
  fi
  windows_root=$(winepath -w "$work/project" 2>/dev/null)
  if ! (cd "$work" && "$wine" "$bin/areamean.exe" --project "$windows_root" >"$work/areamean.stdout" 2>"$work/err"); then
    echo "$name: areamean.exe failed: $(cat "$work/err")"; failed=1; continue
  fi
  for expected in "$case_dir"/expected/*; do
    file=$(basename "$expected")
    case $file in
      gridrun.stdout | areamean.stdout) got=$work/$file ;;
      *) got=$work/project/model/output/$file ;;
    esac
    if [ "${file##*.}" = stdout ]; then
      same() { cmp -s <(tr -d '\r' <"$1" | grep -v '^ Run-time was:') <(tr -d '\r' <"$2" | grep -v '^ Run-time was:'); }
    else
      same() { cmp -s <(tr -d '\r' <"$1") "$2"; }
    fi
    if [ ! -f "$got" ] || ! same "$expected" "$got"; then
      echo "$name: $file differs from the expected file"; failed=1
    fi
  done
  [ "$failed" = 0 ] && echo "$name: every file as expected"
done
exit "$failed"
