#!/usr/bin/env bash
# Batch benchmark: whole runs of ftir-reduce as a user starts them, process start included.
#
#   bench/batch_bench.sh                  # builds Release in build-bench/, then measures
#   BUILD_DIR=build-x RUNS=31 bench/batch_bench.sh
#
# One single-sided interferogram of 262144 points (make-interferogram, centerburst at point
# 1024) is listed 1, 20, 100 and 700 times in red.dat: Blackman-Harris (iapod 3), ipow2 1,
# npow 18, ires 0, idbl 0, so every file is transformed at lnum 262144 (a 2^19-point
# transform) and written as a spectrum from 400 to 4000 cm-1. Each batch runs under
# /usr/bin/time -v for its peak resident memory; the figures are wall times (median of the
# runs), the time per file (wall / files), files per second, and the marginal time of a
# file after the first ((wall - wall of the one-file run) / (files - 1)). The files of a
# batch share their geometry, so from the second file on the window weights are the ones
# the first file computed. Then the one-file run alone (median of RUNS runs, no time -v
# around it) and a run with no files, the start-up cost. CPU times (user + system) stand
# next to the wall times: on an idle machine they are about the same, on a shared one they
# leave out the time the other processes took. Last, when this ftir-reduce has a
# command line with `-j` (asked of its --help at run time), 700 copies of the same file
# converted with -j 1 and with -j 2 (median of JRUNS runs each), as files per second;
# otherwise that row says "n/a (no -j)". Then 1000 copies of the shared OPUS file test.0000
# with -j 1 and -j 2, in the work folder and in a folder in memory (/dev/shm).
#
# The machine is shared: the load average is printed before and after.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build-bench}
case "$build" in /*) ;; *) build="$repo/$build" ;; esac
runs=${RUNS:-21}
jruns=${JRUNS:-3}
jobs=${JOBS:-2}

"$repo/scripts/install-packages.sh" cmake make g++ libcli11-dev nlohmann-json3-dev time >/dev/null
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs" --target ftir-reduce make-interferogram >/dev/null
exe="$build/ftir-reduce"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/make-interferogram" --points 262144 --center 1023 --date 2024-01-01T00:00 \
  -o "$work/ig.spc" >/dev/null

# red.dat in folder $1 listing ig.spc $2 times.
make_run() {
  local dir=$1 count=$2
  mkdir -p "$dir/out"
  ln -sf "$work/ig.spc" "$dir/ig.spc"
  {
    printf '%5d\n' "$count"
    for ((k = 0; k < count; k++)); do printf '%-40s\n' ig.spc; done
    printf '%5d\n' 0                      # iphase
    echo "1.0"                            # sampr
    printf '%5d\n' 3 1 18 0 0             # iapod ipow2 npow ires idbl
    printf '%15s\n' "4.0"                 # res
    echo "400.0"                          # wlow
    echo "4000.0"                         # whigh
    printf '%15s\n' "15800.823"           # wref
    printf '%-40s\n' out                  # outdir
    printf '%5d\n' 0                      # ilog
  } >"$dir/red.dat"
}

now_ns() { date +%s%N; }

# Median of the numbers on standard input.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs ftir-reduce in folder $1 $2 times under /usr/bin/time -v; prints "wall_ns rss_kb
# cpu_ns", the median wall time, the largest peak resident set and the median CPU time
# (user + system).
measure_with_time() {
  local dir=$1 count=$2 walls=() cpus=() rss=0 k t0 t1 r
  for ((k = 0; k < count; k++)); do
    t0=$(now_ns)
    (cd "$dir" && /usr/bin/time -v -o "$work/time.txt" "$exe" >"$work/console.txt" </dev/null)
    t1=$(now_ns)
    grep -q '^OK' "$work/console.txt" || { echo "run in $dir did not end with OK" >&2; exit 1; }
    walls+=($((t1 - t0)))
    r=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$work/time.txt")
    ((r > rss)) && rss=$r
    cpus+=("$(awk -F: '/User time|System time/ { s += $2 } END { printf "%.0f", s * 1e9 }' \
      "$work/time.txt")")
  done
  echo "$(printf '%s\n' "${walls[@]}" | median) $rss $(printf '%s\n' "${cpus[@]}" | median)"
}

# $2 plain runs in folder $1; prints the median and the fastest wall time and the median
# CPU time (user + system), in ns, as the shell's own timing reports them.
measure_plain() {
  local dir=$1 count=$2 k TIMEFORMAT='%3R %3U %3S'
  for ((k = 0; k < count; k++)); do
    (cd "$dir" && { time "$exe" >/dev/null </dev/null; } 2>>"$work/plain.txt")
  done
  local walls cpus
  walls=$(awk '{ printf "%.0f\n", $1 * 1e9 }' "$work/plain.txt" | sort -n)
  cpus=$(awk '{ printf "%.0f\n", ($2 + $3) * 1e9 }' "$work/plain.txt" | median)
  rm -f "$work/plain.txt"
  echo "$(median <<<"$walls") $(head -1 <<<"$walls") $cpus"
}

echo "Batch benchmark: $exe"
echo "  $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "  load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  input: 262144-point single-sided interferogram, 1 MB; iapod 3, npow 18: lnum 262144,"
echo "         a 2^19-point transform; output 400-4000 cm-1"
echo
printf '  %6s %5s %11s %11s %11s %12s %10s %12s\n' files runs "wall (s)" "ms/file" "files/s" \
  "marginal ms" "peak RSS" "CPU ms/file"
wall1=0
for count in 1 20 100 700; do
  make_run "$work/n$count" "$count"
  reps=5
  ((count >= 100)) && reps=3
  read -r wall rss cpu < <(measure_with_time "$work/n$count" "$reps")
  [ -n "${wall:-}" ] || exit 1
  ((count == 1)) && wall1=$wall
  marginal="-"
  ((count > 1)) && marginal=$(awk -v w="$wall" -v w1="$wall1" -v n="$count" \
    'BEGIN { printf "%.2f", (w - w1) / (n - 1) / 1e6 }')
  awk -v n="$count" -v r="$reps" -v w="$wall" -v m="$marginal" -v rss="$rss" -v c="$cpu" 'BEGIN {
    printf "  %6d %5d %11.3f %11.2f %11.1f %12s %7.1f MB %12.2f\n", n, r, w / 1e9, w / n / 1e6,
      n / (w / 1e9), m, rss / 1024, c / n / 1e6 }'
done
echo

make_run "$work/none" 0
read -r one_median one_min one_cpu < <(measure_plain "$work/n1" "$runs")
read -r none_median none_min none_cpu < <(measure_plain "$work/none" "$runs")
read -r _ none_rss _ < <(measure_with_time "$work/none" 1)
awk -v m="$one_median" -v n="$one_min" -v r="$runs" -v c="$one_cpu" 'BEGIN {
  printf "  one-file run:  median %6.1f ms, fastest %6.1f ms, median CPU %6.1f ms (%d runs, process start included)\n",
    m / 1e6, n / 1e6, c / 1e6, r }'
awk -v m="$none_median" -v n="$none_min" -v r="$runs" -v rss="$none_rss" -v c="$none_cpu" 'BEGIN {
  printf "  no-file run:   median %6.1f ms, fastest %6.1f ms, median CPU %6.1f ms (%d runs), peak RSS %.1f MB\n",
    m / 1e6, n / 1e6, c / 1e6, r, rss / 1024 }'

# The median wall time in ns of `ftir-reduce -j N ARGS...` in folder DIR (its output in
# DIR/out, removed before each run): measure_jobs DIR N ARGS...
measure_jobs() {
  local dir=$1 jobs_n=$2 k t0 t1
  shift 2
  for ((k = 0; k < jruns; k++)); do
    rm -rf "$dir/out"
    t0=$(now_ns)
    (cd "$dir" && "$exe" -j "$jobs_n" -q -o out "$@" >/dev/null 2>&1 </dev/null) ||
      { echo "-j $jobs_n run in $dir failed" >&2; exit 1; }
    t1=$(now_ns)
    echo $((t1 - t0))
  done | median
}
# The line of a -j 2 against -j 1 figure: jobs_line LABEL FILES NS1 NS2.
jobs_line() {
  awk -v l="$1" -v n="$2" -v a="$3" -v b="$4" -v r="$jruns" 'BEGIN {
    printf "  -j 2 against -j 1, %s: %.1f against %.1f files/s, ratio %.2f (%d runs)\n",
      l, n / (b / 1e9), n / (a / 1e9), a / b, r }'
}

# -j N over 700 copies of the one interferogram (copies: the command line converts a file
# named twice, by a link too, only once), with the batch's settings on the command line.
if "$exe" --help 2>&1 | grep -- '--jobs' >/dev/null; then
  mkdir -p "$work/j"
  for ((k = 1; k <= 700; k++)); do cp "$work/ig.spc" "$work/j/$(printf 'ig%03d.spc' "$k")"; done
  settings=(--sides single --window blackman-harris --points 262144 --no-res --res 4
    --range 400:4000 --laser 15800.823 --sampr 1)
  jobs_line "700 files" 700 "$(cd "$work/j" && measure_jobs "$work/j" 1 "${settings[@]}" ig*.spc)" \
    "$(cd "$work/j" && measure_jobs "$work/j" 2 "${settings[@]}" ig*.spc)"
else
  echo "  -j 2 against -j 1, 700 files: n/a (no -j)"
fi
# -j N over 1000 copies of the shared OPUS file test.0000, converted by its own parameters.
opus="$repo/tests/data/opus/test.0000"
if [ -f "$opus" ]; then
  mkdir -p "$work/o"
  for ((k = 1; k <= 1000; k++)); do cp "$opus" "$work/o/$(printf 't%04d.0000' "$k")"; done
  jobs_line "1000 OPUS files" 1000 "$(cd "$work/o" && measure_jobs "$work/o" 1 t*.0000)" \
    "$(cd "$work/o" && measure_jobs "$work/o" 2 t*.0000)"
  # The same batch in a folder in memory (/dev/shm, where it is a tmpfs), seven runs each:
  # the disk's own delays, which on a virtual disk vary from one minute to the next by more
  # than the whole batch's work, left out, so that the figure is the program's scaling.
  if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && [ -w /dev/shm ]; then
    shm=$(mktemp -d /dev/shm/ftir-bench.XXXXXX)
    trap 'rm -rf "$work" "$shm"' EXIT
    cp "$work/o"/t*.0000 "$shm/"
    jline_runs=$jruns
    jruns=7
    jobs_line "1000 OPUS files in memory" 1000 "$(cd "$shm" && measure_jobs "$shm" 1 t*.0000)" \
      "$(cd "$shm" && measure_jobs "$shm" 2 t*.0000)"
    jruns=$jline_runs
    rm -rf "$shm"
  else
    echo "  -j 2 against -j 1, 1000 OPUS files in memory: n/a (/dev/shm is no tmpfs)"
  fi
else
  echo "  -j 2 against -j 1, 1000 OPUS files: n/a (no shared test.0000)"
fi
echo "  load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
