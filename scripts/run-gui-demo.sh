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

. scripts/demo-sim.sh

echo "Gateway:  127.0.0.1:$PORT  (password: admin)"
echo "Package:  $SAMPLE"
cd "$WORK"
"$OLDPWD/$BUILD/dist/STARTUP/vornupdater"
