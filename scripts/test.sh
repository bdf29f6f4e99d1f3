#!/usr/bin/env bash
# Builds and runs every test: the normal build, run again with the vector loops forced to
# their plain and SSE2 forms, then the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and under ThreadSanitizer, then a short fuzzing pass. Ends
# with one line that counts the tests of all these runs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
# parallel, slurm-wlm and munge: the tests of the recipes for many machines run GNU parallel
# and a single-node Slurm.
scripts/install-packages.sh cmake make g++ libcli11-dev nlohmann-json3-dev libgtest-dev libxml2-utils clang \
  libclang-rt-14-dev python3 zlib1g-dev chromium parallel pybind11-dev python3-dev python3-numpy \
  python3-pytest slurm-wlm munge libnetcdf-dev netcdf-bin python3-xarray python3-netcdf4 \
  python3-h5netcdf python3-h5py

# The public SPC samples are not carried by the project: their tests skip themselves without
# them, which CI must never do.
if [ -n "${CI:-}" ] && [ ! -d ../shared/data/spc-samples ]; then
  echo "CI needs the public SPC samples in ../shared/data/spc-samples" >&2
  exit 1
fi

# Runs ctest in build folder $1 and adds its test count to `total`.
total=0
run_suite() {
  local log
  log=$(mktemp)
  (cd "$1" && ctest --output-on-failure -j"$jobs") | tee "$log"
  total=$((total + $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log")))
  rm -f "$log"
}

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFTIR_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
scripts/install-node-readers.sh build
run_suite build
# The same suite with the narrower forms forced; the runs of ftir-reduce that the tests
# start inherit the setting.
FTIR_SIMD=plain run_suite build
FTIR_SIMD=sse2 run_suite build

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Release -DFTIR_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
scripts/install-node-readers.sh build-asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_suite build-asan

# The command line's workers run threads: the suite once more under ThreadSanitizer.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Release -DFTIR_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs"
scripts/install-node-readers.sh build-tsan
TSAN_OPTIONS=halt_on_error=1 run_suite build-tsan

if [ -x scripts/fuzz.sh ] && command -v clang++ >/dev/null 2>&1; then
  scripts/fuzz.sh 10
fi
echo "tests: $total passed, 0 failed"
