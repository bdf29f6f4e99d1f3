#!/usr/bin/env bash
# Every benchmark in one run: the CFFT/FFTW table (fft_bench), the I/O of one file against
# plain stream calls (io_bench), then whole batches and the start-up cost (batch_bench.sh).
#
#   bench/run_all.sh                      # Release build in build-bench/, about 2 minutes
#   BUILD_DIR=build-x bench/run_all.sh
#
# Google Benchmark and FFTW come from Debian (libbenchmark-dev, libfftw3-dev); they are
# installed when missing. The machine is shared with whatever else runs: compare figures
# from one run, and rerun when the load average is high.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build-bench}
case "$build" in /*) ;; *) build="$repo/$build" ;; esac
jobs=${JOBS:-2}

"$repo/scripts/install-packages.sh" cmake make g++ libcli11-dev nlohmann-json3-dev time libbenchmark-dev libfftw3-dev >/dev/null
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFTIR_BENCH=ON -DFTIR_TOOLS=ON >/dev/null
cmake --build "$build" -j"$jobs" --target fft_bench io_bench ftir-reduce make-interferogram \
  >/dev/null

echo "== CFFT against FFTW =="
"$build/fft_bench"
echo
echo "== I/O of one file =="
"$build/io_bench"
echo
echo "== Batches =="
BUILD_DIR="$build" JOBS="$jobs" "$repo/bench/batch_bench.sh"
