#!/usr/bin/env bash
# Installs the independent HDF5 reader that the cube's read-back test runs under node: the
# npm package h5wasm (pinned; HDF5 compiled to WebAssembly, as a browser runs it), into
# BUILD_DIR/h5wasm, where the tests of that build look for it. Installs node and npm from
# Debian when they are missing. Without them, or without the registry, it says so and the
# test is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:?usage: scripts/install-h5wasm.sh BUILD_DIR}
version=0.10.3
prefix="$build_dir/h5wasm"
if grep -qs "\"version\": \"$version\"" "$prefix/node_modules/h5wasm/package.json"; then
  exit 0
fi
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  scripts/install-packages.sh nodejs npm || true
fi
if ! command -v npm >/dev/null 2>&1 ||
   ! npm install --prefix "$prefix" --no-audit --no-fund --silent "h5wasm@$version"; then
  echo "h5wasm not installed: the cube's read-back test under node will be skipped" >&2
fi
