#!/usr/bin/env bash
# Pictures of every page and dialog of the desktop program in English, Simplified and
# Traditional Chinese, and in English at a scale factor of 2, into docs/screenshots/.
# Drawn offscreen; Chinese needs a CJK font (fonts-wqy-microhei).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${VORN_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DVORN_GUI=ON >/dev/null
cmake --build "$BUILD" -j2 --target gui-screenshots
OUT=docs/screenshots
mkdir -p "$OUT"
HOME_DIR=$(mktemp -d)
trap 'rm -rf "$HOME_DIR"' EXIT
export QT_QPA_PLATFORM=offscreen VORN_HOME="$HOME_DIR"
for lang in en zh_CN zh_TW; do
  VORN_LANG=$lang "$BUILD/tests/gui/gui-screenshots" "$OUT" "$lang"
done
VORN_LANG=en QT_SCALE_FACTOR=2 "$BUILD/tests/gui/gui-screenshots" "$OUT" en-x2
ls "$OUT"
