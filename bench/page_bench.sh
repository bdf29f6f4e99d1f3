#!/usr/bin/env bash
# The page of a 700-file run: its size and how long headless Chromium takes to open it.
#
#   bench/page_bench.sh                 # builds Release in build-bench/, then measures
#   BUILD_DIR=build-x RUNS=9 bench/page_bench.sh
#
# make-interferogram writes 700 single-sided interferograms of 16384 points (blackbody
# sources from 900 to 1399 K, three absorption bands, seeded noise; file 123 with its
# centerburst 376 points late, file 456 at a third of the height, file 700 cut inside its
# header), and one command-line run converts them with phase files and --report. Figures:
# the run's wall time and peak resident memory with and without --report, the page's
# size, and for RUNS openings of the page in headless Chromium the time from navigation
# start until the page's script has drawn the first screen (data-ready-ms, median and
# smallest) and the whole --dump-dom call next to the same call on an empty page (the
# browser's own start). The machine is shared: the load average is printed.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build-bench}
case "$build" in /*) ;; *) build="$repo/$build" ;; esac
runs=${RUNS:-5}

"$repo/scripts/install-packages.sh" cmake make g++ libcli11-dev nlohmann-json3-dev time \
  chromium >/dev/null
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target ftir-reduce make-interferogram >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/ig"
for i in $(seq 1 700); do
  center=1024 peak=10000
  [ "$i" -eq 123 ] && center=1400
  [ "$i" -eq 456 ] && peak=3000
  "$build/make-interferogram" --points 16384 --center "$center" --peak "$peak" \
    --temperature $((900 + (i * 37) % 500)) --line 1601:6:0.35 --line 2923:12:0.6 \
    --line 757:8:0.7 --offset 0.2 --dispersion 2e-7 --noise 1e-4 --seed "$i" \
    --date 2024-05-14T09:30 -o "$work/ig/$(printf 'scan%03d.spc' "$i")" >/dev/null
done
head -c 100 "$work/ig/scan001.spc" >"$work/ig/scan700.spc"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
run() {
  /usr/bin/time -f "%e s, %M kB" -o "$work/time.txt" "$build/ftir-reduce" -q --phase-files \
    --laser 15800.823 --out "$work/out" "$@" "$work"/ig/scan*.spc >/dev/null 2>&1 || true
  tail -n 1 "$work/time.txt"  # the last line: GNU time first notes the exit status 2 (a skip)
}
echo "run without --report: $(run)"
echo "run with --report:    $(run --report "$work/page.html")"
echo "page size: $(stat -c %s "$work/page.html") bytes"
echo '<!DOCTYPE html><title>empty</title>' >"$work/empty.html"

browser() {
  chromium --headless --disable-gpu --no-sandbox --user-data-dir="$work/profile" \
    --enable-logging=stderr --v=0 --dump-dom "file://$1" 2>"$work/log.txt"
}
ready=() wall=() empty=()
for ((k = 0; k < runs; k++)); do
  t0=$(now_ms)
  browser "$work/page.html" >"$work/dom.html"
  t1=$(now_ms)
  browser "$work/empty.html" >/dev/null
  t2=$(now_ms)
  grep -q 'data-ready="yes"' "$work/dom.html" || { echo "the page did not finish drawing" >&2; exit 1; }
  ! grep -q ':CONSOLE' "$work/log.txt" || { echo "console messages:" >&2; grep ':CONSOLE' "$work/log.txt" >&2; exit 1; }
  ready+=("$(grep -o 'data-ready-ms="[0-9]*"' "$work/dom.html" | tr -dc 0-9)")
  wall+=($((t1 - t0)))
  empty+=($((t2 - t1)))
done
echo "rows in the table: $(grep -o '<tr[^>]* data-i="[0-9]*"' "$work/dom.html" | wc -l)"
echo "drawn, navigation start to data-ready: median $(printf '%s\n' "${ready[@]}" | median) ms," \
  "smallest $(printf '%s\n' "${ready[@]}" | sort -n | head -1) ms ($runs openings)"
echo "chromium --dump-dom of the page: median $(printf '%s\n' "${wall[@]}" | median) ms;" \
  "of an empty page: $(printf '%s\n' "${empty[@]}" | median) ms"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
