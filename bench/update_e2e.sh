#!/usr/bin/env bash
# A whole single-package update against the gateway simulator on 127.0.0.1, compared with the
# standard tools doing the same work on the same bytes in the same run:
#   md5sum of the package + unzip -P of its archive + openssl enc -des-ecb of the image
# Budget: (tools' sum / update time) >= 0.9, and the updater's peak resident set < 64 MB.
# The CPU seconds (user + system) of both sides are printed too: on a busy machine their
# ratio says more than the wall times do.
# SIZE_MB (default 100) sets the image size, RUNS (default 1) the repetitions; BUILD the build
# folder (default build-bench). With VORN_LOG_DEBUG=1 in the updater's environment (set here)
# the log holds one "stage ..." line per step of the update; they are printed after each run.
set -euo pipefail
cd "$(dirname "$0")/.."
SIZE_MB=${SIZE_MB:-100}
RUNS=${RUNS:-1}
BUILD=${BUILD:-build-bench}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DVORN_BENCH=ON -DVORN_TESTS=OFF -DVORN_GUI=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target vornupdater gateway-sim mkpkg >/dev/null
PW='trovemlaku~!@#$%'

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vorne2e.XXXXXX")
SIM_PID=
cleanup() {
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
# The updater keeps its working folders beside the program: give it a folder of its own.
cp -r "$BUILD/dist/STARTUP" "$WORK/prog"
cp "$BUILD/tools/gateway-sim/gateway-sim" "$BUILD/tools/mkpkg/mkpkg" "$WORK/"

mkdir "$WORK/src"
echo "KELMORA GW V300R001" > "$WORK/src/appversion"
echo "KELMORA GW V300R001" > "$WORK/src/cfgversion"
printf '[restart]\nneedrestart=no\n' > "$WORK/src/package.conf"
printf '#!/bin/sh\nexit 0\n' > "$WORK/src/apppre"
printf '#!/bin/sh\nexit 0\n' > "$WORK/src/appsh1"
head -c "${SIZE_MB}M" /dev/urandom > "$WORK/src/app1"
"$WORK/mkpkg" "$WORK/src" "$WORK/p.ssu" >/dev/null
tail -c +34 "$WORK/p.ssu" > "$WORK/body.zip"
echo "package: $(du -m "$WORK/p.ssu" | cut -f1) MB"

calc() { awk "BEGIN { print $1 }"; }
measure() {  # runs "$@" (output to $WORK/out); sets WALL, CPU (seconds) and RSS_KB
  /usr/bin/time -f '%e %U %S %M' -o "$WORK/time" "$@" > "$WORK/out" 2>&1 || return 1
  read -r WALL u s RSS_KB < <(tail -1 "$WORK/time")
  CPU=$(calc "$u + $s")
}

mkdir "$WORK/gw"
"$WORK/gateway-sim" --root "$WORK/gw" --port 0 --version-text 'KELMORA GW V300R001' \
  > "$WORK/sim.out" 2>&1 &
SIM_PID=$!
for _ in $(seq 100); do
  grep -q '^listening on' "$WORK/sim.out" && break
  sleep 0.1
done
PORT=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$WORK/sim.out")
[ -n "$PORT" ] || { echo "gateway-sim did not start"; cat "$WORK/sim.out"; exit 1; }

status=0
cat "$WORK/p.ssu" > /dev/null  # warm the page cache for everyone alike
for run in $(seq "$RUNS"); do
  rm -rf "$WORK/prog/log" "$WORK/unz"
  mkdir "$WORK/unz"
  VORN_PASSWORD=admin VORN_LOG_DEBUG=1 measure "$WORK/prog/vornupdater" update "$WORK/p.ssu" \
    -g "127.0.0.1:$PORT" --yes || { echo "update failed:"; tail -20 "$WORK/out"; exit 1; }
  t_upd=$WALL c_upd=$CPU rss_kb=$RSS_KB
  measure md5sum "$WORK/p.ssu"
  t_md5=$WALL c_md5=$CPU
  measure unzip -q -o -P "$PW" "$WORK/body.zip" -d "$WORK/unz"
  t_unzip=$WALL c_unzip=$CPU
  measure openssl enc -des-ecb -provider legacy -provider default -nosalt \
    -K 0123456789abcdef -in "$WORK/src/app1" -out /dev/null
  t_des=$WALL c_des=$CPU
  t_sum=$(calc "$t_md5 + $t_unzip + $t_des")
  c_sum=$(calc "$c_md5 + $c_unzip + $c_des")
  ratio=$(calc "$t_sum / $t_upd")
  ok=$(awk "BEGIN { print ($ratio >= 0.9 && $rss_kb < 65536) ? \"PASS\" : \"FAIL\" }")
  [ "$ok" = PASS ] || status=1
  printf 'run %d: update %.2fs | md5sum %.2fs + unzip -P %.2fs + des-ecb %.2fs = %.2fs | ratio %.2f (budget >= 0.90) | peak RSS %d MB (budget < 64) | %s\n' \
    "$run" "$t_upd" "$t_md5" "$t_unzip" "$t_des" "$t_sum" "$ratio" $((rss_kb / 1024)) "$ok"
  printf '       CPU: update %.2fs | tools %.2fs | ratio %.2f\n' "$c_upd" "$c_sum" \
    "$(calc "$c_sum / $c_upd")"
  grep -h 'stage ' "$WORK/prog/log/"*.log 2>/dev/null | sed 's/^/    /' || true
done
exit $status
