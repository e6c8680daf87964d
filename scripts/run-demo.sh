#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the gateway simulator on 127.0.0.1
# (a free port, a temporary folder) and logs in to it with vornupdater, then stops it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
BUILD=${VORN_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target vornupdater gateway-sim

WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

"$BUILD/tools/gateway-sim/gateway-sim" --root "$WORK/gateway" --port 0 >"$WORK/sim.out" 2>&1 &
SIM_PID=$!
PORT=""
for _ in $(seq 1 100); do
  PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$WORK/sim.out")
  [ -n "$PORT" ] && break
  sleep 0.05
done
if [ -z "$PORT" ]; then
  echo "the gateway simulator did not start:" >&2
  cat "$WORK/sim.out" >&2
  exit 1
fi

printf 'admin\n' >"$WORK/password"
echo "+ vornupdater connect -g 127.0.0.1:$PORT --password-file $WORK/password"
"$BUILD/dist/STARTUP/vornupdater" connect -g "127.0.0.1:$PORT" \
  --password-file "$WORK/password"
