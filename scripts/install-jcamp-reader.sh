#!/usr/bin/env bash
# Installs the independent JCAMP-DX reader that the test of `spc-tool jcamp` reads its files
# back with: the npm package jcampconverter (pinned), into BUILD_DIR/jcamp-reader, where the
# tests of that build look for it. Installs node and npm from Debian when they are missing.
# Without them, or without the registry, it says so and the test is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:?usage: scripts/install-jcamp-reader.sh BUILD_DIR}
version=12.5.3
prefix="$build_dir/jcamp-reader"
if grep -qs "\"version\": \"$version\"" "$prefix/node_modules/jcampconverter/package.json"; then
  exit 0
fi
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  scripts/install-packages.sh nodejs npm || true
fi
if ! command -v npm >/dev/null 2>&1 ||
   ! npm install --prefix "$prefix" --no-audit --no-fund --silent "jcampconverter@$version"; then
  echo "jcampconverter not installed: the JCAMP-DX read-back test will be skipped" >&2
fi
