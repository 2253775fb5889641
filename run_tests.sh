#!/usr/bin/env bash
# Builds everything in ./build (Release) and runs the whole test suite.
# Usage: ./run_tests.sh
set -euo pipefail
cd "$(dirname "$0")"

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
if [ ! -f /usr/include/gtest/gtest.h ] && [ ! -f /usr/local/include/gtest/gtest.h ]; then missing+=(libgtest-dev); fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "run_tests.sh: missing prerequisite(s): ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install -y cmake g++ make libgtest-dev" >&2
  exit 2
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
