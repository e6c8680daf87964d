#!/usr/bin/env bash
# Opens the desktop program against the bundled gateway simulator: builds, starts the
# simulator on 127.0.0.1 (a free port, a temporary folder), makes the sample update package
# and starts vornupdater without a command. Connect to the address printed below with the
# password "admin" and choose the printed package on the load page. Needs a display.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${VORN_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_GUI=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target vornupdater gateway-sim mkpkg zipbridge

WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

cp -a "$BUILD/dist/STARTUP" "$WORK/program"
export VORN_HOME="$WORK/program"

. scripts/demo-sim.sh

PKG="$WORK/sample"
mkdir -p "$PKG"
printf 'KELMORA GW V301R002\n' >"$PKG/appversion"
printf 'KELMORA GW V300R001\n' >"$PKG/cfgversion"
printf '#!/bin/sh\n# pre-update check\nexit 0\n' >"$PKG/apppre"
printf '#sim: version KELMORA GW V301R002\nsample firmware image\n' >"$PKG/app1"
printf '#!/bin/sh\n# install /stmp/app\nexit 0\n' >"$PKG/appsh1"
printf 'Sample firmware V301R002: demo update.\n' >"$PKG/readme.txt"
"$BUILD/tools/mkpkg/mkpkg" "$PKG" "$WORK/sample_V301R002.ssu" >/dev/null

echo "Gateway:  127.0.0.1:$PORT  (password: admin)"
echo "Package:  $WORK/sample_V301R002.ssu"
cd "$WORK"
"$OLDPWD/$BUILD/dist/STARTUP/vornupdater"
