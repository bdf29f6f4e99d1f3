#!/usr/bin/env bash
# Output identity after a change: ftir-reduce and spc-tool of the working tree against those
# of a git revision, on the same inputs, byte for byte, on both roads: red.dat runs and
# command lines.
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
# (.spc, .phz, .shr) must be identical.
#
# Then a table of command-line cases, each run by both builds in a fresh folder of the same
# path (the page of a run names its folder) holding links to the same interferograms, to a
# few bad ones made from them (several traces, most significant byte first, cut inside the
# header, an X range that gives no laser wavenumber), to a folder of spectra converted once
# for spc-tool, and to red.dat files (one good, one full of slips, one unreadable). The
# cases cover every --window, --sides, --res, --range, --laser (given, or taken from the
# files), --sampr, --points, --no-res, --phase-files, --carry-resolution, --log, --summary
# (CSV and JSON), --save-red-dat (and runs it cannot express), --report (with files, and
# alone on ./red.dat), -q, -j 1 and -j 2, --shard, a missing file, a file named twice,
# outputs that would replace inputs, bad options and unwritable outputs (exit 1), --check
# of good, doubtful and unreadable red.dat files, --help and --version, and every spc-tool
# command with its refusals. For each case standard output, standard error, the exit
# status and every file written must be identical.
#
# Masked, because they depend on the time of the run and nothing else: in files that
# ftir-reduce writes as spectra (.spc, .phz, .shr, old format), the date stamp (bytes 18..23
# of the header, the minute of writing); in a summary, the `milliseconds` values; in a page,
# its "Run at" minute. spc-tool takes the headers of its outputs (date included) from its
# inputs and reads no clock, so nothing of what it writes or prints is masked: both builds
# read the same spectra. Exit status 1 when anything differs.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
rev=${1:-HEAD}
build=${BUILD_DIR:-build-bench}
case "$build" in /*) ;; *) build="$repo/$build" ;; esac
jobs=${JOBS:-2}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$repo/scripts/install-packages.sh" cmake make g++ libcli11-dev nlohmann-json3-dev >/dev/null
# The reference build of a commit is kept (under ~/.cache, by the commit's full hash) and
# reused by later comparisons against the same commit; a build that did not finish leaves
# no stamp and is made again.
commit=$(git -C "$repo" rev-parse "$rev^{commit}")
ref_root="${XDG_CACHE_HOME:-$HOME/.cache}/ftir-reduce-compare/$commit"
if [ ! -f "$ref_root/built" ]; then
  rm -rf "$ref_root"
  mkdir -p "$ref_root/src"
  git -C "$repo" archive "$commit" | tar -x -C "$ref_root/src"
  cmake -S "$ref_root/src" -B "$ref_root/build" -DCMAKE_BUILD_TYPE=Release -DFTIR_TESTS=OFF \
    -DFTIR_TOOLS=ON -DFTIR_PYTHON=OFF >/dev/null
  cmake --build "$ref_root/build" -j"$jobs" --target ftir-reduce spc-tool >/dev/null
  touch "$ref_root/built"
fi
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFTIR_TOOLS=ON >/dev/null
cmake --build "$build" -j"$jobs" --target ftir-reduce spc-tool make-interferogram >/dev/null
ref_bin="$ref_root/build"
new_bin="$build"
ref_exe="$ref_bin/ftir-reduce"
new_exe="$new_bin/ftir-reduce"

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

# For the command line and spc-tool: a second record of g's geometry, and bad inputs made
# from good ones: two traces (g then g2's subheader and points, flag 0x04, 2 subfiles), the
# most significant byte first (version 0x4C), a file cut inside its header, and X from 100
# cm-1 (firstx 100.0), which states no laser wavenumber.
mi --points 3000 --center 1000 --noise 1e-3 --seed 5 -o "$inputs/g2.spc"
put() { printf '%b' "$3" | dd of="$inputs/$1" bs=1 seek="$2" conv=notrunc status=none; }
cp "$inputs/g.spc" "$inputs/multi.spc"
dd if="$inputs/g2.spc" bs=512 skip=1 status=none >>"$inputs/multi.spc"
put multi.spc 0 '\x04'
put multi.spc 24 '\x02\x00\x00\x00'
cp "$inputs/g.spc" "$inputs/msb.spc"
put msb.spc 1 '\x4c'
dd if="$inputs/a.spc" of="$inputs/trunc.spc" bs=100 count=1 status=none
cp "$inputs/g.spc" "$inputs/nolaser.spc"
put nolaser.spc 8 '\x00\x00\x00\x00\x00\x00\x59\x40'

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

# Command-line cases: the program, then its arguments (shell words); @good stands for the
# ten interferograms above, @bad for the bad ones and a missing file.
good="a.spc b.spc c.spc d.spc e.spc f.spc g.spc h.spc i.spc j.spc"
bad="multi.spc msb.spc trunc.spc nothere.spc nolaser.spc"
cases=(
  "ftir-reduce @good"
  "ftir-reduce @good --window boxcar"
  "ftir-reduce @good --window triangle"
  "ftir-reduce @good --window happ-genzel"
  "ftir-reduce @good --window blackman-harris"
  "ftir-reduce @good --window nb-weak"
  "ftir-reduce @good --window nb-medium"
  "ftir-reduce @good --window nb-strong"
  "ftir-reduce @good --sides auto"
  "ftir-reduce @good --sides single"
  "ftir-reduce @good --sides double"
  "ftir-reduce @good --res 1"
  "ftir-reduce @good --res 16 --sides double"
  "ftir-reduce @good --res 0.25 --sides single"
  "ftir-reduce @good --res 0.06"
  "ftir-reduce @good --range 500:3000"
  "ftir-reduce @good --range=-10:10000"
  "ftir-reduce @good --range 1000:1000.5"
  "ftir-reduce @good --range 7000:9000"
  "ftir-reduce @good @bad"
  "ftir-reduce @good @bad --laser 15800.823"
  "ftir-reduce @good --laser 16000 --sides single"
  "ftir-reduce @good --sampr 2 --laser 15800.823"
  "ftir-reduce @good --points 16384"
  "ftir-reduce @good --points 1024 --sides double"
  "ftir-reduce @good --points 524288 --window triangle"
  "ftir-reduce @good --no-res"
  "ftir-reduce @good --no-res --points 65536 --sides single"
  "ftir-reduce @good --phase-files"
  "ftir-reduce @good --phase-files --sides single --window triangle --res 1"
  "ftir-reduce @good --carry-resolution"
  "ftir-reduce @good --carry-resolution --sides double --res 0.5"
  "ftir-reduce @good @bad --log run.log"
  "ftir-reduce @good --log run.log --phase-files --sides single -o single"
  "ftir-reduce @good @bad --summary s.csv"
  "ftir-reduce @good @bad --summary s.json --phase-files"
  "ftir-reduce a.spc b.spc d.spc --save-red-dat saved.dat --phase-files --window nb-strong --res 2 --range 500:3500 --points 65536"
  "ftir-reduce a.spc b.spc g.spc --sides single --carry-resolution --log run.log --save-red-dat saved.dat"
  "ftir-reduce @good --save-red-dat saved.dat"
  "ftir-reduce a.spc nothere.spc --save-red-dat saved.dat"
  "ftir-reduce a.spc b.spc -o a_folder_name_longer_than_forty_columns_in_all --save-red-dat saved.dat"
  "ftir-reduce @good @bad --report page.html --phase-files"
  "ftir-reduce @good --report page.html --sides double -o double"
  "ftir-reduce @good @bad -q"
  "ftir-reduce @good @bad -j 1 --summary s.csv --log run.log --phase-files"
  "ftir-reduce @good @bad -j 2 --summary s.csv --log run.log --phase-files"
  "ftir-reduce @good @bad --shard 1/2 --summary s1.csv"
  "ftir-reduce @good @bad --shard 2/2 --summary s2.csv"
  "ftir-reduce @good @bad --shard 3/3 -q"
  "ftir-reduce g.spc a.spc g.spc"
  "ftir-reduce a.spc conv/a.spc"
  "ftir-reduce -o . g.spc c.spc"
  "ftir-reduce --help"
  "ftir-reduce --version"
  "ftir-reduce --window hamming a.spc"
  "ftir-reduce --sides both a.spc"
  "ftir-reduce --res x a.spc"
  "ftir-reduce --range 4000 a.spc"
  "ftir-reduce --points 1000 a.spc"
  "ftir-reduce --shard 3/2 a.spc"
  "ftir-reduce -j 0 a.spc"
  "ftir-reduce --laser abc a.spc"
  "ftir-reduce --bogus a.spc"
  "ftir-reduce --summary s.txt a.spc"
  "ftir-reduce -o x"
  "ftir-reduce --summary nodir/s.csv a.spc"
  "ftir-reduce --log nodir/run.log a.spc"
  "ftir-reduce --save-red-dat nodir/saved.dat a.spc"
  "ftir-reduce --report g.spc g.spc"
  "ftir-reduce --check"
  "ftir-reduce --check slips/red.dat"
  "ftir-reduce --check broken/red.dat"
  "ftir-reduce --check nothere.dat"
  "ftir-reduce --report page.html"
  "spc-tool"
  "spc-tool --help"
  "spc-tool --version"
  "spc-tool info --help"
  "spc-tool csv --help"
  "spc-tool svg --help"
  "spc-tool split --help"
  "spc-tool coadd --help"
  "spc-tool ratio --help"
  "spc-tool jcamp --help"
  "spc-tool bogus"
  "spc-tool info"
  "spc-tool info a.spc"
  "spc-tool info c.spc"
  "spc-tool info d.spc"
  "spc-tool info conv/a.spc"
  "spc-tool info multi.spc"
  "spc-tool info msb.spc"
  "spc-tool info trunc.spc"
  "spc-tool info nothere.spc"
  "spc-tool csv conv/c.spc"
  "spc-tool csv d.spc"
  "spc-tool csv f.spc"
  "spc-tool svg conv/a.spc conv/c.spc conv/e.spc -o plot.svg"
  "spc-tool svg conv/f.spc"
  "spc-tool svg conv/a.spc conv/b.spc --title 'Run 12' -o plot.svg"
  "spc-tool svg --bogus conv/a.spc"
  "spc-tool split multi.spc -o traces"
  "spc-tool split g.spc -o traces"
  "spc-tool coadd g.spc g2.spc -o avg.spc"
  "spc-tool coadd --traces multi.spc -o avg.spc"
  "spc-tool coadd a.spc g.spc -o avg.spc"
  "spc-tool ratio conv/a.spc conv/b.spc -o t.spc"
  "spc-tool ratio conv/a.spc conv/b.spc -o ab.spc --absorbance"
  "spc-tool ratio conv/b.spc conv/c.spc -o t.spc"
  "spc-tool ratio a.spc g.spc -o t.spc"
  "spc-tool jcamp conv/a.spc -o a.jdx"
  "spc-tool jcamp conv/c.spc -o c.jdx --title 'Film'"
  "spc-tool jcamp a.spc -o a.jdx"
)

# What every case folder links to: the spectra of the good files (made once, by the working
# tree, so both builds of spc-tool read the same bytes) and three red.dat files.
shared="$work/shared"
mkdir -p "$shared/from"
for f in "$inputs"/*.spc; do ln -s "$f" "$shared/from/"; done
status=0
(cd "$shared/from" && "$new_exe" $good --phase-files -o ../conv -q >/dev/null 2>&1) || status=$?
if [ "$status" -gt 2 ] || [ "$status" -eq 1 ]; then
  echo "the spectra for spc-tool could not be made (exit status $status)" >&2
  exit 1
fi
printf '%s\n' '    4' a.spc c.spc e.spc g.spc '    1' 1.0 '    3' '    0' '   14' '    1' \
  '    0' '          4.0' 400.0 4000.0 '      15800.823' out '    1' >"$shared/red.dat"
printf '%s\n' '    6' ../a.spc ../multi.spc ../nothere.spc ../conv/a.spc ../nolaser.spc \
  '../g.spc                                 and a comment' '    0' 1.0 '      9' '    0' \
  '   14' '    1' '    2' '          4' 7000.0 9000.0 '      15800' nodir '    1' \
  >"$shared/slips.dat"
printf '%s\n' '    1' ../a.spc '    0' x >"$shared/broken.dat"

# Runs case $3 with the programs of folder $1 in a fresh $work/case, masks what depends on
# the time, and moves folder, standard output and error and exit status into $2.
run_case() {
  local bin=$1 into=$2 line=$3 dir="$work/case" f status=0
  local -a args
  line=${line//@good/$good}
  line=${line//@bad/$bad}
  eval "args=($line)"
  rm -rf "$dir"
  mkdir -p "$dir/out" "$dir/slips" "$dir/broken" "$into"
  for f in "$inputs"/*.spc; do ln -s "$f" "$dir/"; done
  ln -s "$shared/conv" "$dir/conv"
  ln -s "$shared/red.dat" "$dir/red.dat"
  ln -s "$shared/slips.dat" "$dir/slips/red.dat"
  ln -s "$shared/broken.dat" "$dir/broken/red.dat"
  (cd "$dir" && "$bin/${args[0]}" "${args[@]:1}" >"$into/stdout" 2>"$into/stderr" </dev/null) ||
    status=$?
  echo "exit status $status" >"$into/status"
  # Only regular files were written by the run: everything the folder came with is a link.
  while IFS= read -r -d '' f; do
    case "$f" in
      *.spc | *.phz | *.shr)
        if [ "${args[0]}" = ftir-reduce ]; then
          dd if=/dev/zero of="$f" bs=1 seek=18 count=6 conv=notrunc status=none
        fi
        ;;
      *.csv)
        if head -n 1 "$f" | grep -q ',milliseconds$'; then
          sed -i -E '2,$s/,[0-9][-+.0-9eE]*$/,(ms)/' "$f"
        fi
        ;;
      *.json) sed -i -E 's/("milliseconds": )[-+.0-9eE]+/\1(ms)/' "$f" ;;
      *.html) sed -i -E 's#(<th>Run at</th><td>)[^<]*#\1(minute)#' "$f" ;;
    esac
  done < <(find "$dir" -type f -print0)
  find "$dir" -type f | wc -l >"$into/written"
  mv "$dir" "$into/folder"
}

echo "command lines of the working tree against $rev"
for k in "${!cases[@]}"; do
  run_case "$ref_bin" "$work/cli/$k/ref" "${cases[$k]}"
  run_case "$new_bin" "$work/cli/$k/new" "${cases[$k]}"
  result=$(cat "$work/cli/$k/new/status")
  if diff -r --no-dereference "$work/cli/$k/ref" "$work/cli/$k/new" >/dev/null; then
    printf '  case %3d (%s): identical, %s, %d files written\n' "$k" "${cases[$k]}" "$result" \
      "$(cat "$work/cli/$k/new/written")"
  else
    printf '  case %3d (%s): DIFFERENT\n' "$k" "${cases[$k]}"
    diff -r --no-dereference "$work/cli/$k/ref" "$work/cli/$k/new" | head -5 || true
    differ=1
  fi
done

if [ "$differ" -eq 0 ]; then
  echo "every console text, log, summary, page, output file and exit status identical"
fi
exit "$differ"
