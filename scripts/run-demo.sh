#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target vornupdater
./build/dist/STARTUP/vornupdater --help
