#!/usr/bin/env bash
# Builds the project and runs every test: once in a normal build with
# warnings as errors, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKELVASET_WERROR=ON
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j 1

cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DKELVASET_WERROR=ON -DKELVASET_SANITIZE=ON
cmake --build build/sanitize -j "$jobs"
ctest --test-dir build/sanitize --output-on-failure -j 1
