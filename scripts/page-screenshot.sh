#!/usr/bin/env bash
# Makes the page of the bundled example and a screenshot of it for README: builds
# ftir-reduce (Release, in build-example/), converts the four interferograms of examples/
# in one command-line run (single- or double-sided chosen per file, phase files, the
# example's window, resolution and range, which are the defaults) with --report, and has
# headless Chromium draw the page: examples/page.html and the spectra in examples/out/
# (neither committed), and docs/page-example.png (the picture README shows).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh cmake make g++ libcli11-dev nlohmann-json3-dev libnetcdf-dev chromium
build=build-example
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFTIR_TESTS=OFF -DFTIR_TOOLS=OFF >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target ftir-reduce

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Names as a user in examples/ would give them.
(cd examples && "../$build/ftir-reduce" --quiet --out out --phase-files \
  --laser 15800.823 --report page.html single/ss-1300K-new32.spc single/ss-1000K-old16.spc \
  double/ds-1300K-old32.spc double/ds-1000K-new16.spc)

mkdir -p docs
chromium --headless --disable-gpu --no-sandbox --user-data-dir="$work/profile" \
  --hide-scrollbars --window-size=1280,1640 --screenshot="$PWD/docs/page-example.png" \
  "file://$PWD/examples/page.html" >/dev/null 2>&1
echo "== page: examples/page.html"
echo "== screenshot: docs/page-example.png"
