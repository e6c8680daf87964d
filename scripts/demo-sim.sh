# Sourced by the demo scripts after their build (needs BUILD). Makes a temporary folder WORK
# (removed at exit, with the simulator stopped), a program folder of our own in
# "$WORK/program" (exported as VORN_HOME), starts the gateway simulator on 127.0.0.1 (a free
# port, root "$WORK/gateway"; sets SIM_PID and PORT) and makes the sample package SAMPLE.
WORK=$(mktemp -d)
SIM_PID=""
demo_cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap demo_cleanup EXIT

# A program folder of our own, made from the installation folder the build laid out.
cp -a "$BUILD/dist/STARTUP" "$WORK/program"
export VORN_HOME="$WORK/program"

: >"$WORK/sim.out"  # exists before the simulator writes to it: the polling below reads it
"$BUILD/tools/gateway-sim/gateway-sim" --root "$WORK/gateway" --port 0 \
  --version-text 'KELMORA GW V300R001\nbuild 2024-01\n' --reboot-refuse-ms 2000 >"$WORK/sim.out" 2>&1 &
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

# The sample package: a pre-update check, one application image (which carries the version
# the simulated gateway reports after its restart) with its install script, and update tips.
PKG="$WORK/sample"
SAMPLE="$WORK/sample_V301R002.ssu"
mkdir -p "$PKG"
printf 'KELMORA GW V301R002\n' >"$PKG/appversion"
printf 'KELMORA GW V300R001\n' >"$PKG/cfgversion"
printf '#!/bin/sh\n# pre-update check\nexit 0\n' >"$PKG/apppre"
printf '#sim: version KELMORA GW V301R002\nsample firmware image\n' >"$PKG/app1"
printf '#!/bin/sh\n# install /stmp/app\nexit 0\n' >"$PKG/appsh1"
printf 'Sample firmware V301R002: demo update.\n' >"$PKG/readme.txt"
"$BUILD/tools/mkpkg/mkpkg" "$PKG" "$SAMPLE" >/dev/null
