#!/usr/bin/env bash
# Installs the independent readers that tests run under node, each a pinned npm package in
# a folder of BUILD_DIR where the tests of that build look for it: jcampconverter
# (BUILD_DIR/jcamp-reader), which reads back the files of `spc-tool jcamp`, and h5wasm
# (BUILD_DIR/h5wasm; HDF5 compiled to WebAssembly, as a browser runs it), which reads back
# the cubes. Installs node and npm from Debian when they are missing. Without them, or
# without the registry, it says so and those tests are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:?usage: scripts/install-node-readers.sh BUILD_DIR}

# install FOLDER PACKAGE VERSION WHAT-IS-SKIPPED
install() {
  local prefix="$build_dir/$1"
  if grep -qs "\"version\": \"$3\"" "$prefix/node_modules/$2/package.json"; then
    return 0
  fi
  if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    scripts/install-packages.sh nodejs npm || true
  fi
  if ! command -v npm >/dev/null 2>&1 ||
     ! npm install --prefix "$prefix" --no-audit --no-fund --silent "$2@$3"; then
    echo "$2 not installed: $4 will be skipped" >&2
  fi
}

install jcamp-reader jcampconverter 12.5.3 "the JCAMP-DX read-back test"
install h5wasm h5wasm 0.10.3 "the cube's read-back test under node"
