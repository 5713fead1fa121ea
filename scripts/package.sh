#!/usr/bin/env bash
# Builds the Debian package build/package/kelvaset_<version>_<arch>.deb from
# the same Release tree as scripts/run.sh. Install it with
#   sudo apt-get install ./build/package/kelvaset_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$(nproc)" --target kelvaset kelvaset-logger kelvane-sim kelvaset-docs
cpack --config build/release/CPackConfig.cmake -G DEB -B build/package
# cpack leaves its staging tree beside the package.
rm -rf build/package/_CPack_Packages
ls -l build/package/*.deb
