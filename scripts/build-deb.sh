#!/usr/bin/env bash
# Builds the Debian package vornupdater_VERSION_ARCH.deb in build-deb/ (a build without the
# tests). Install it with: sudo apt-get install ./build-deb/vornupdater_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
BUILD=${1:-build-deb}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_GUI=ON -DVORN_TESTS=OFF
cmake --build "$BUILD" -j"$(nproc)"
(cd "$BUILD" && cpack -G DEB)
ls "$BUILD"/vornupdater_*.deb
