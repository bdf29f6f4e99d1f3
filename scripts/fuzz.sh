#!/usr/bin/env bash
# Fuzzes the interferogram reader and the red.dat parser: builds both libFuzzer targets with
# clang (AddressSanitizer and UndefinedBehaviorSanitizer) in build-fuzz, seeds their corpora
# and runs each for SECONDS (default 60). Exits non-zero when either run has a finding; the
# input that caused it is left as build-fuzz/findings/<target>-crash-... (or -leak-,
# -timeout-, -oom-) and each run's output in build-fuzz/<target>.log.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/install-packages.sh cmake make clang libcli11-dev nlohmann-json3-dev libclang-rt-14-dev python3

CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Release -DFTIR_FUZZ=ON \
  -DFTIR_TESTS=OFF -DFTIR_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j2 --target fuzz_reader fuzz_red_dat

# The corpora grow from run to run; the seeds are put back each time.
mkdir -p build-fuzz/corpus/reader build-fuzz/corpus/red_dat build-fuzz/findings
python3 tests/fuzz/make_reader_seeds.py build-fuzz/corpus/reader
cp tests/fuzz/red_dat_seeds/* build-fuzz/corpus/red_dat/

status=0
for corpus in reader red_dat; do
  target=fuzz_$corpus
  log=build-fuzz/$target.log
  echo "$target: ${seconds} s"
  if build-fuzz/$target -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix=build-fuzz/findings/$target- build-fuzz/corpus/$corpus >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
  else
    echo "$target: FINDING (see $log)"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
