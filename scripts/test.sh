#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs every test: once
# in a Release build (GUI and benchmarks included), once with AddressSanitizer +
# UndefinedBehaviorSanitizer (without the GUI, which also proves that the core builds without
# widgets), then the bounded fuzz runs. After the Release tests, the Ansible collection's
# playbook test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
JOBS=$(nproc)

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DVORN_GUI=ON -DVORN_BENCH=ON \
  -DVORN_WERROR=ON
cmake --build build-release -j"$JOBS"
ctest --test-dir build-release --output-on-failure -j"$JOBS" --timeout 600
# The Ansible collection: ansible-playbook (connection local) against four simulators.
timeout 900 contrib/ansible/tests/playbook_test.sh build-release

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVORN_GUI=OFF -DVORN_SANITIZE=ON -DVORN_WERROR=ON
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$JOBS" --timeout 900

if [ -x scripts/fuzz.sh ]; then
  ./scripts/fuzz.sh
fi
