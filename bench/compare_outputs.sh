#!/usr/bin/env bash
# Output identity after a speed change: ftir-reduce of the working tree against the one of a
# git revision, on the same inputs, byte for byte.
#
#   bench/compare_outputs.sh [REV]        # REV defaults to HEAD
#
# The reference is built from `git archive REV` in a temporary folder, the working tree in
# build-bench/ (BUILD_DIR). Ten interferograms from make-interferogram (single- and
# double-sided, new and old format, 16- and 32-bit and f32, 3000 to 266000 points, with
# offset, dispersion, noise, DC, a negative burst, a burst in the first samples) are listed
# 19 times in each red.dat (repeats included, so kept window weights are reused and
# replaced), under 20 settings that cover every window code and some outside 0..6, both
# paths, iphase 1, ipow2/npow, ires and zero filling, and narrow or empty output ranges.
# For each setting the console text, the exit status, red.out and every written file
# (.spc, .phz, .shr) must be identical; only the date stamp of the files (bytes 18..23 of
# each header, the minute of writing) is masked. Exit status 1 when anything differs.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
rev=${1:-HEAD}
build=${BUILD_DIR:-build-bench}
case "$build" in /*) ;; *) build="$repo/$build" ;; esac
jobs=${JOBS:-2}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$repo/scripts/install-packages.sh" cmake make g++ libcli11-dev nlohmann-json3-dev >/dev/null
mkdir -p "$work/ref"
git -C "$repo" archive "$rev" | tar -x -C "$work/ref"
cmake -S "$work/ref" -B "$work/ref/build" -DCMAKE_BUILD_TYPE=Release -DFTIR_TESTS=OFF \
  -DFTIR_TOOLS=OFF >/dev/null
cmake --build "$work/ref/build" -j"$jobs" --target ftir-reduce >/dev/null
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs" --target ftir-reduce make-interferogram >/dev/null
ref_exe="$work/ref/build/ftir-reduce"
new_exe="$build/ftir-reduce"

mi() { "$build/make-interferogram" --date 2024-01-01T00:00 "$@" >/dev/null; }
inputs="$work/inputs"
mkdir -p "$inputs"
mi --points 262144 --center 1023 -o "$inputs/a.spc"
mi --points 262144 --center 5000 --offset 0.3 --dispersion 1e-7 --noise 1e-4 --seed 3 \
  --line 1600:4:0.5 -o "$inputs/b.spc"
mi --points 16384 --center 1500 --format old --bits 16 --offset -0.2 -o "$inputs/c.spc"
mi --points 20000 --center 700 --float --dispersion 2e-7 --noise 1e-3 -o "$inputs/d.spc"
mi --points 32768 --double --offset 0.1 --noise 1e-4 -o "$inputs/e.spc"
mi --points 100000 --double --format old -o "$inputs/f.spc"
mi --points 3000 --center 1000 -o "$inputs/g.spc"
mi --points 5000 --center 2 -o "$inputs/h.spc"
mi --points 266000 --center 4095 --peak -5000 -o "$inputs/i.spc"
mi --points 200000 --center 3000 --bits 16 --dc 300 -o "$inputs/j.spc"
list="a b c d e f g h i j a a j c c e e b b"

settings=(
  # iphase iapod ipow2 npow ires idbl res wlow whigh
  "0 3 1 18 0 0 4.0 400 4000"
  "1 0 0 14 1 0 4.0 400 4000"
  "1 1 0 14 1 0 1.0 0 8000"
  "0 2 1 12 1 0 0.5 -10 10000"
  "1 3 0 18 1 0 16.0 500 3000"
  "0 4 1 18 0 0 4.0 400 4000"
  "0 5 1 16 0 0 4.0 1000 1000.5"
  "0 6 1 17 0 0 4.0 400 4000"
  "0 9 1 18 0 0 4.0 400 4000"
  "0 -1 1 18 0 0 4.0 7000 9000"
  "0 0 1 18 0 1 4.0 400 4000"
  "0 1 0 18 1 1 1.0 400 4000"
  "0 2 1 10 0 1 4.0 0 8000"
  "0 3 0 18 1 1 0.25 400 4000"
  "0 4 0 18 1 1 2.0 400 4000"
  "0 5 1 14 0 1 4.0 400 4000"
  "0 6 0 18 1 1 8.0 400 4000"
  "0 7 0 18 1 1 8.0 400 4000"
  "0 3 0 18 1 0 0.06 400 4000"
  "1 3 1 18 0 0 4.0 400 4000"
)

# Runs $1 in a fresh folder $2 with the setting $3; masks the date stamps of its outputs.
run_one() {
  local exe=$1 dir=$2 f iphase iapod ipow2 npow ires idbl res wlow whigh
  read -r iphase iapod ipow2 npow ires idbl res wlow whigh <<<"$3"
  mkdir -p "$dir/out"
  for f in $list; do ln -sf "$inputs/$f.spc" "$dir/$f.spc"; done
  {
    printf '%5d\n' 19
    for f in $list; do printf '%-40s\n' "$f.spc"; done
    printf '%5d\n' "$iphase"
    echo 1.0
    printf '%5d\n' "$iapod" "$ipow2" "$npow" "$ires" "$idbl"
    printf '%15s\n' "$res"
    echo "$wlow"
    echo "$whigh"
    printf '%15s\n' 15800.823
    printf '%-40s\n' out
    printf '%5d\n' 1
  } >"$dir/red.dat"
  local status=0
  (cd "$dir" && "$exe" >console.txt 2>&1 </dev/null) || status=$?
  echo "exit status $status" >>"$dir/console.txt"
  for f in "$dir"/out/*; do
    [ -f "$f" ] || continue
    dd if=/dev/zero of="$f" bs=1 seek=18 count=6 conv=notrunc status=none
  done
}

echo "ftir-reduce of the working tree against $rev ($(git -C "$repo" rev-parse --short "$rev"))"
differ=0
for k in "${!settings[@]}"; do
  run_one "$ref_exe" "$work/runs/$k/ref" "${settings[$k]}"
  run_one "$new_exe" "$work/runs/$k/new" "${settings[$k]}"
  outputs=$(find "$work/runs/$k/new/out" -type f | wc -l)
  if diff -r "$work/runs/$k/ref" "$work/runs/$k/new" >/dev/null; then
    printf '  setting %2d (%s): identical, %d files written\n' "$k" "${settings[$k]}" "$outputs"
  else
    printf '  setting %2d (%s): DIFFERENT\n' "$k" "${settings[$k]}"
    diff -r "$work/runs/$k/ref" "$work/runs/$k/new" | head -5 || true
    differ=1
  fi
done
if [ "$differ" -eq 0 ]; then
  echo "every console text, log and output file identical"
fi
exit "$differ"
