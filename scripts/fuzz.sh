#!/usr/bin/env bash
# Fuzzes the interferogram readers (SPC, OPUS, OMNIC SPA), the readers of many records
# (imaging headers, OPUS series, multi-trace SPC), the red.dat parser and whole runs: builds the libFuzzer
# targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) in build-fuzz, seeds
# their corpora and runs each for SECONDS (default 60), one after the other. Exits non-zero
# when any run has a finding; the input that caused it is left as
# build-fuzz/findings/<target>-crash-... (or -leak-, -timeout-, -oom-) and each run's output
# in build-fuzz/<target>.log.
#   scripts/fuzz.sh [SECONDS [TARGET...]]    TARGET: reader, red_dat, run, opus, omnic,
#                                            records (default: all six)
# FTIR_FUZZ_NO_BUILD=1 runs what build-fuzz already holds (for several runs at once).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
corpora=("$@")
[ ${#corpora[@]} -gt 0 ] || corpora=(reader red_dat run opus omnic records)

if [ "${FTIR_FUZZ_NO_BUILD:-0}" != 1 ]; then
  scripts/install-packages.sh cmake make clang libcli11-dev nlohmann-json3-dev libnetcdf-dev libclang-rt-14-dev python3
  CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Release -DFTIR_FUZZ=ON \
    -DFTIR_TESTS=OFF -DFTIR_TOOLS=OFF >/dev/null
  cmake --build build-fuzz -j2 --target fuzz_reader fuzz_red_dat fuzz_run fuzz_opus fuzz_omnic \
    fuzz_records
fi

# The corpora grow from run to run; the seeds are put back each time.
mkdir -p build-fuzz/corpus/reader build-fuzz/corpus/red_dat build-fuzz/corpus/run \
  build-fuzz/corpus/opus build-fuzz/corpus/omnic build-fuzz/corpus/records build-fuzz/findings
python3 tests/fuzz/make_reader_seeds.py build-fuzz/corpus/reader
cp tests/fuzz/red_dat_seeds/* build-fuzz/corpus/red_dat/
python3 tests/fuzz/make_run_seeds.py build-fuzz/corpus/run
# The instrument seeds include the shared instrument files, when present beside the project.
python3 tests/fuzz/make_instrument_seeds.py opus build-fuzz/corpus/opus
python3 tests/fuzz/make_instrument_seeds.py omnic build-fuzz/corpus/omnic
# The readers of many records start from the imaging headers, an OPUS file and, when the
# public samples lie beside the project, the multi-trace SPC file.
cp tests/data/agilent/*.bsp tests/data/agilent/*.dmt tests/data/opus/test.0000 \
  build-fuzz/corpus/records/
if [ -f ../shared/data/spc-samples/IG_MULTI.SPC ]; then
  cp ../shared/data/spc-samples/IG_MULTI.SPC build-fuzz/corpus/records/
fi

# Paths handed to the targets are absolute: fuzz_run works inside a folder of its own, and
# an input that crashes there is written from there.
# Largest input of each target: the reader's reaches past a few read chunks, a run's holds a
# red.dat and an interferogram of a few thousand points; the instrument readers' reach the
# size of the shared files (up to 86536 bytes).
declare -A max_len=([reader]=65536 [red_dat]=8192 [run]=32768 [opus]=131072 [omnic]=65536
  [records]=98304)

status=0
for corpus in "${corpora[@]}"; do
  target=fuzz_$corpus
  log=build-fuzz/$target.log
  echo "$target: ${seconds} s"
  # A target with a dictionary of its format's keys and values gets it.
  dict=()
  [ -f "tests/fuzz/$corpus.dict" ] && dict=(-dict="tests/fuzz/$corpus.dict")
  if build-fuzz/$target -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
       -max_len="${max_len[$corpus]}" -print_final_stats=1 "${dict[@]}" \
       -artifact_prefix="$PWD/build-fuzz/findings/$target-" "$PWD/build-fuzz/corpus/$corpus" \
       >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
    grep -E '^#[0-9]+.*(DONE|pulse|REDUCE|NEW).*cov:' "$log" | tail -n 1 || true
  else
    echo "$target: FINDING (see $log)"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
