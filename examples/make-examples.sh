#!/usr/bin/env bash
# Regenerates the bundled interferograms in single/ and double/ with make-interferogram.
# Every file carries a fixed date and noise seed, so the same generator gives the same bytes.
# Usage: examples/make-examples.sh [PATH/TO/make-interferogram]
# (default: build-example/make-interferogram, which scripts/example.sh builds)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
mi="${1:-$here/../build-example/make-interferogram}"
if [ ! -x "$mi" ]; then
  echo "make-interferogram not found at $mi: build it first (scripts/example.sh does)" >&2
  exit 1
fi
cd "$here"

# A polystyrene-like film: ten absorption bands (NU:FWHM:DEPTH), the same in every file.
film=(--line 3060:8:0.40 --line 3026:8:0.50 --line 2923:12:0.60 --line 2850:10:0.35
      --line 1601:6:0.35 --line 1493:8:0.60 --line 1452:8:0.55 --line 1028:6:0.30
      --line 757:8:0.70 --line 698:10:0.80)

"$mi" --points 16384 --center 1024 --envelope 400:4000 --temperature 1300 "${film[@]}" \
  --offset 0.3 --dispersion 2e-7 --noise 1e-4 --seed 11 --format new --bits 32 \
  --date 2024-05-14T09:30 -o single/ss-1300K-new32.spc
"$mi" --points 8192 --center 512 --envelope 400:4000 --temperature 1000 "${film[@]}" \
  --offset -0.2 --dispersion -3e-7 --noise 2e-4 --seed 12 --format old --bits 16 \
  --date 2024-05-14T09:35 -o single/ss-1000K-old16.spc
"$mi" --double --points 16384 --envelope 400:4000 --temperature 1300 "${film[@]}" \
  --offset 0.1 --dispersion 1e-7 --noise 1e-4 --seed 13 --format old --bits 32 \
  --date 2024-05-14T09:40 -o double/ds-1300K-old32.spc
"$mi" --double --points 8192 --envelope 400:4000 --temperature 1000 "${film[@]}" \
  --offset -0.1 --noise 2e-4 --seed 14 --format new --bits 16 \
  --date 2024-05-14T09:45 -o double/ds-1000K-new16.spc
