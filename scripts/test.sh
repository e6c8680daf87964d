#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in a normal build
# (GUI included), once with AddressSanitizer + UndefinedBehaviorSanitizer (without the GUI,
# which also proves that the core builds without widgets), then the bounded fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
JOBS=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_GUI=ON
cmake --build build -j"$JOBS"
ctest --test-dir build --output-on-failure -j"$JOBS" --timeout 600

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVORN_GUI=OFF -DVORN_SANITIZE=ON
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$JOBS" --timeout 900

if [ -x scripts/fuzz.sh ]; then
  ./scripts/fuzz.sh
fi
