#!/usr/bin/env bash
# Builds the converter, the viewer and the Python module, converts the bundled example (examples/single and
# examples/double, each with its own red.dat) and draws every spectrum in one picture:
# examples/spectra.svg, and examples/spectra.png when rsvg-convert is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh cmake make g++ libcli11-dev nlohmann-json3-dev libnetcdf-dev pybind11-dev python3-dev \
  python3-numpy python3-pytest
build=build-example
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFTIR_TESTS=OFF -DFTIR_TOOLS=ON >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target ftir-reduce spc-tool \
  make-interferogram ftir_reduce

spectra=()
for run in single double; do
  echo "== examples/$run: ftir-reduce"
  mkdir -p "examples/$run/out"
  (cd "examples/$run" && "../../$build/ftir-reduce")
  # The spectra of the files red.dat lists: nfiles in columns 1-5, then one name a line.
  nfiles=$(head -n 1 "examples/$run/red.dat" | cut -c1-5 | tr -d ' ')
  for name in $(sed -n "2,$((nfiles + 1))p" "examples/$run/red.dat" | cut -c1-40); do
    spectra+=("examples/$run/out/${name%.*}.spc")
  done
done

"$build/spc-tool" svg "${spectra[@]}" -o examples/spectra.svg \
  --title "Bundled example: single-sided (Mertz) and double-sided spectra, Happ-Genzel window"
echo "== spectra: examples/single/out/, examples/double/out/ (logs: red.out beside each red.dat)"
echo "== picture: examples/spectra.svg"
if command -v rsvg-convert >/dev/null 2>&1; then
  rsvg-convert -w 1200 examples/spectra.svg -o examples/spectra.png
  echo "== picture: examples/spectra.png"
fi
