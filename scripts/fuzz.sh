#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# FUZZ_SECONDS sets the time per target (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
SECS=${FUZZ_SECONDS:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORN_FUZZ=ON -DVORN_GUI=OFF -DVORN_TESTS=OFF -DVORN_WERROR=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)"
shopt -s nullglob
targets=(build-fuzz/fuzz/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets"
  exit 0
fi
for t in "${targets[@]}"; do
  [ -f "$t" ] && [ -x "$t" ] || continue  # skips the *_autogen folders
  name=$(basename "$t")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=fuzz/seeds/${name#fuzz_}
  [ -d "$seeds" ] || seeds=""
  echo "fuzz: $name for ${SECS}s"
  "$t" -max_total_time="$SECS" -timeout=10 -rss_limit_mb=2048 "$corpus" $seeds >build-fuzz/$name.log 2>&1 || {
    tail -50 build-fuzz/$name.log; echo "fuzz: $name found a problem"; exit 1; }
done
echo "fuzz: all targets ran clean"
