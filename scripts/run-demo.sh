#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the gateway simulator on 127.0.0.1
# (a free port, a temporary folder), makes a sample update package with mkpkg, updates the
# simulated gateway with it (`vornupdater update ... --verify`) and shows the gateway's
# version before and after; then stops the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
BUILD=${VORN_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target vornupdater gateway-sim mkpkg zipbridge

WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# A program folder of our own, made from the installation folder the build laid out.
cp -a "$BUILD/dist/STARTUP" "$WORK/program"
export VORN_HOME="$WORK/program" VORN_LANG=en VORN_NO_TTY=1
UPDATER="$BUILD/dist/STARTUP/vornupdater"

. scripts/demo-sim.sh
printf 'admin\n' >"$WORK/password"
GW=(-g "127.0.0.1:$PORT" --password-file "$WORK/password")

# The sample package: a pre-update check, one application image (which carries the version
# the simulated gateway reports after its restart) with its install script, and update tips.
PKG="$WORK/sample"
mkdir -p "$PKG"
printf 'KELMORA GW V301R002\n' >"$PKG/appversion"
printf 'KELMORA GW V300R001\n' >"$PKG/cfgversion"
printf '#!/bin/sh\n# pre-update check\nexit 0\n' >"$PKG/apppre"
printf '#sim: version KELMORA GW V301R002\nsample firmware image\n' >"$PKG/app1"
printf '#!/bin/sh\n# install /stmp/app\nexit 0\n' >"$PKG/appsh1"
printf 'Sample firmware V301R002: demo update.\n' >"$PKG/readme.txt"
echo "+ mkpkg $PKG $WORK/sample_V301R002.ssu"
"$BUILD/tools/mkpkg/mkpkg" "$PKG" "$WORK/sample_V301R002.ssu"

version() {
  "$UPDATER" connect "${GW[@]}" --json |
    sed -n '/"type":"version"/s/.*"text":"\([^"]*\)".*/\1/p'
}
BEFORE=$(version)
echo "Gateway version before: $BEFORE"

echo "+ vornupdater update $WORK/sample_V301R002.ssu -g 127.0.0.1:$PORT --password-file ... --yes --verify"
"$UPDATER" update "$WORK/sample_V301R002.ssu" "${GW[@]}" --yes --verify --reboot-timeout 60

AFTER=$(version)
echo
echo "Gateway version before: $BEFORE"
echo "Gateway version after:  $AFTER"
[ "$AFTER" = "KELMORA GW V301R002" ]
