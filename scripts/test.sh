#!/usr/bin/env bash
# Builds and runs every test: the normal build, then the whole suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzzing pass.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
scripts/install-packages.sh cmake make g++ libgtest-dev libxml2-utils clang libclang-rt-14-dev

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFTIR_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Release -DFTIR_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j"$jobs")

if [ -x scripts/fuzz.sh ] && command -v clang++ >/dev/null 2>&1; then
  scripts/fuzz.sh 10
fi
