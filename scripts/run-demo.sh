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

. scripts/demo-sim.sh
export VORN_LANG=en VORN_NO_TTY=1
UPDATER="$BUILD/dist/STARTUP/vornupdater"
printf 'admin\n' >"$WORK/password"
GW=(-g "127.0.0.1:$PORT" --password-file "$WORK/password")
echo "+ mkpkg (sample package) -> $SAMPLE"

version() {
  "$UPDATER" connect "${GW[@]}" --json |
    sed -n '/"type":"version"/s/.*"text":"\([^"]*\)".*/\1/p'
}
BEFORE=$(version)
echo "Gateway version before: $BEFORE"

echo "+ vornupdater update $SAMPLE -g 127.0.0.1:$PORT --password-file ... --yes --verify"
"$UPDATER" update "$SAMPLE" "${GW[@]}" --yes --verify --reboot-timeout 60

AFTER=$(version)
echo
echo "Gateway version before: $BEFORE"
echo "Gateway version after:  $AFTER"
[ "$AFTER" = "KELMORA GW V301R002" ]
