#!/usr/bin/env bash
# Builds everything and runs the whole test suite, in four stages:
#   1. Release build in ./build (every warning an error), every test (CTest);
#   2. when mingw-w64 and Wine are installed, gridrun.exe and areamean.exe
#      cross-built in ./build-win (every warning an error) and the reference
#      cases run under Wine;
#   3. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#      in ./build-asan (every warning an error; any finding fails the test that met it);
#   4. when clang++ with libFuzzer is installed, the fuzz targets of fuzz/ in
#      ./build-fuzz (every warning an error, sign conversions aside), each run for a
#      short, bounded time from its seed corpus.
# Stages 2-4 build as unity builds (several sources compiled as one), which
# nearly halves their compile time; stage 1 builds as users build.
# Usage: ./run_tests.sh
#   HYDRO_TESTS_QUICK=1 ./run_tests.sh   runs stage 1 only
#   HYDRO_FUZZ_SECONDS=N                 seconds per fuzz target (default 5)
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

# Every C++ file of the tree must be formatted by .clang-format. Other major
# versions of clang-format break lines differently, so only the version the
# tree was formatted with (Debian 12: clang-format 14) is held to it.
echo "== Format check (.clang-format)"
if command -v clang-format >/dev/null 2>&1 &&
   clang-format --version | grep -qE 'version 14\.'; then
  git ls-files -z '*.cpp' '*.hpp' '*.h' '*.cc' 2>/dev/null | xargs -0 -r clang-format --dry-run --Werror
  echo "format check: passed"
else
  echo "format check skipped: clang-format 14 not found (install it with: sudo apt-get install -y clang-format)"
fi

echo "== Release build and tests (build/)"
# Every warning of -Wall -Wextra -Wshadow -Wconversion is an error here and in
# the sanitizer build.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DHYDRO_WERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
# The Python module's tests (pytest, test PythonModule above) run when the module was built.
if ! ls build/python/gridrun/_gridrun*.so >/dev/null 2>&1; then
  echo "Python module tests skipped: the module was not built (install it with: sudo apt-get install -y pybind11-dev python3-pybind11 python3-numpy python3-pytest)"
elif ! ctest --test-dir build -N -R '^PythonModule$' | grep -q PythonModule; then
  echo "Python module tests skipped: pytest not found (install it with: sudo apt-get install -y python3-pytest)"
fi

if [ "${HYDRO_TESTS_QUICK:-0}" = 1 ]; then
  exit 0
fi

echo "== Windows programs under Wine (build-win/)"
if command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 && { command -v wine64 || command -v wine; } >/dev/null 2>&1; then
  launcher=()
  if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DHYDRO_BUILD_TESTS=OFF -DHYDRO_WERROR=ON -DCMAKE_UNITY_BUILD=ON "${launcher[@]}" >/dev/null
  cmake --build build-win -j"$jobs" --target gridrun areamean
  tests/windows_golden.sh build-win
else
  echo "Windows stage skipped: mingw-w64 or Wine not found" \
    "(install them with: sudo apt-get install -y g++-mingw-w64-x86-64-posix wine64)"
fi

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests (build-asan/)"
# gridcal over MPI is left out here: Open MPI's own start-up allocations are
# reported as leaks. The first stage tests it.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" \
  -DHYDRO_SANITIZE=ON -DHYDRO_MPI=OFF -DHYDRO_WERROR=ON -DCMAKE_UNITY_BUILD=ON
cmake --build build-asan -j"$jobs" --target unit_tests
# The tests run in one process per processor thread (gtest shards), not one
# process per test: a sanitized start-up costs more than most tests.
export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1
shard_pids=()
for ((shard = 0; shard < jobs; shard++)); do
  (cd build-asan/tests && GTEST_TOTAL_SHARDS=$jobs GTEST_SHARD_INDEX=$shard ./unit_tests --gtest_brief=1 \
     >"../asan_shard_$shard.log" 2>&1) &
  shard_pids+=($!)
done
asan_failed=0
for ((shard = 0; shard < jobs; shard++)); do
  if ! wait "${shard_pids[$shard]}"; then
    tail -n 80 "build-asan/asan_shard_$shard.log" >&2
    asan_failed=1
  fi
  grep -E '^\[  PASSED  \]|tests? ran' "build-asan/asan_shard_$shard.log" | tail -n 1 || true
done
unset ASAN_OPTIONS UBSAN_OPTIONS
if [ "$asan_failed" = 1 ]; then
  echo "run_tests.sh: a test failed under the sanitizers; the logs are build-asan/asan_shard_*.log" >&2
  exit 1
fi

echo "== Fuzzing (build-fuzz/)"
fuzz_probe_dir=$(mktemp -d)
trap 'rm -rf "$fuzz_probe_dir"' EXIT
if command -v clang++ >/dev/null 2>&1 &&
   printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' |
     clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o "$fuzz_probe_dir/probe" >/dev/null 2>&1; then
  cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHYDRO_FUZZ=ON -DHYDRO_BUILD_TESTS=OFF -DHYDRO_WERROR=ON -DCMAKE_UNITY_BUILD=ON
  cmake --build build-fuzz --target fuzzers -j"$jobs"
  seconds=${HYDRO_FUZZ_SECONDS:-5}
  mkdir -p build-fuzz/artifacts
  for target in free_format ascii_grid control_file station_series state_file result_journal observed_discharge \
    parameter_file manifest; do
    work=build-fuzz/corpus-work/$target
    log=build-fuzz/fuzz_$target.log
    mkdir -p "$work"
    echo "fuzz_$target: ${seconds} s"
    # New inputs go to the work folder; the seed corpus in fuzz/corpus stays as it is.
    if ! build-fuzz/fuzz/fuzz_$target -dict=fuzz/numbers.dict -max_total_time="$seconds" -max_len=4096 -timeout=10 \
         -malloc_limit_mb=512 -rss_limit_mb=2048 -seed=1 -print_final_stats=1 \
         -artifact_prefix="build-fuzz/artifacts/$target-" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
      tail -n 60 "$log" >&2
      echo "run_tests.sh: fuzz_$target found a fault; the input is in build-fuzz/artifacts/" >&2
      exit 1
    fi
    grep -E '^stat::number_of_executed_units' "$log" || true
  done
else
  echo "clang++ with libFuzzer not found: fuzzing skipped (install it with: sudo apt-get install -y clang)"
fi
echo "run_tests.sh: all stages passed"
