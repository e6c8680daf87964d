#!/usr/bin/env bash
# Pictures of every page and dialog of the desktop program in English, Simplified and
# Traditional Chinese, and in English at a scale factor of 2, into docs/screenshots/. The
# program runs against a gateway simulator on 127.0.0.1 and updates a sample package; the
# update page is taken during the real transfer. Drawn offscreen; Chinese needs a CJK font
# (fonts-wqy-microhei).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${VORN_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DVORN_GUI=ON >/dev/null
cmake --build "$BUILD" -j2 --target gui-screenshots vornupdater zipbridge
OUT=docs/screenshots
mkdir -p "$OUT"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen
shoot() {  # SUFFIX [VAR=VALUE...]: one run in a fresh copy of the program folder
  local suffix=$1
  shift
  rm -rf "$WORK/program"
  cp -a "$BUILD/dist/STARTUP" "$WORK/program"
  env VORN_HOME="$WORK/program" "$@" "$BUILD/tests/gui/gui-screenshots" "$OUT" "$suffix"
}
for lang in en zh_CN zh_TW; do
  shoot "$lang" VORN_LANG="$lang"
done
shoot en-x2 VORN_LANG=en QT_SCALE_FACTOR=2
ls "$OUT"
