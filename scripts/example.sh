#!/usr/bin/env bash
# Builds the converter and the viewer, converts the bundled example and draws its spectra.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh cmake make g++
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFTIR_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target ftir-reduce
cd examples
../build/ftir-reduce
