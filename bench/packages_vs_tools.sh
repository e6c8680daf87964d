#!/usr/bin/env bash
# Package budgets, measured against the standard tools on the same data in one run:
#   envelope check of a SIZE_MB package   >= 0.8 x the speed of md5sum on its body
#   whole extraction of the archive       >= 0.8 x the speed of unzip -P
#   peak resident memory of both          <  64 MB
# SIZE_MB (default 256) sets the package size, RUNS (default 3) the repetitions (best counts).
set -euo pipefail
cd "$(dirname "$0")/.."
SIZE_MB=${SIZE_MB:-256}
RUNS=${RUNS:-3}
BUILD=${BUILD:-build-bench}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DVORN_BENCH=ON -DVORN_TESTS=OFF -DVORN_GUI=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target bench_packages mkpkg >/dev/null
BENCH=$BUILD/dist/STARTUP/bench_packages
MKPKG=$BUILD/tools/mkpkg/mkpkg
PW='trovemlaku~!@#$%'

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vornbench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/src"
echo "KELMORA-GW-2100 V5" > "$WORK/src/appversion"
# Mostly incompressible firmware (the package ends up close to SIZE_MB), plus a compressible
# image that exercises inflate.
head -c $((SIZE_MB - 4))M /dev/urandom > "$WORK/src/app1"
{ yes "firmware image block 0123456789abcdef" || true; } | head -c 64M > "$WORK/src/app2"
"$MKPKG" "$WORK/src" "$WORK/p.ssu" >/dev/null
tail -c +34 "$WORK/p.ssu" > "$WORK/body.zip"
echo "package: $(du -m "$WORK/p.ssu" | cut -f1) MB"

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }      # floating-point arithmetic
less() { awk "BEGIN { exit !($1 < $2) }"; }
best() {  # best wall time of RUNS runs of "$@"
  local b=""
  for _ in $(seq "$RUNS"); do
    local s e t
    s=$(now); "$@" >/dev/null; e=$(now)
    t=$(calc "$e - $s")
    if [ -z "$b" ] || less "$t" "$b"; then b=$t; fi
  done
  echo "$b"
}
ours() {  # best seconds and peak RSS of bench_packages MODE FILE
  local b="" rss=0
  for _ in $(seq "$RUNS"); do
    local line t r
    line=$("$BENCH" "$1" "$2" "$WORK")
    t=${line#seconds=}; t=${t%% *}; r=${line##*maxrss_kb=}
    if [ -z "$b" ] || less "$t" "$b"; then b=$t; fi
    [ "$r" -gt "$rss" ] && rss=$r
  done
  echo "$b $rss"
}

status=0
check() {  # name ratio rss_kb
  local ok_ratio ok_rss
  ok_ratio=$(less "$2" 0.8 && echo 0 || echo 1)
  ok_rss=$([ "$3" -lt 65536 ] && echo 1 || echo 0)
  printf '%-22s ratio %.2f (budget >= 0.80)  peak RSS %d MB (budget < 64)  %s\n' "$1" "$2" \
    $(($3 / 1024)) "$([ "$ok_ratio$ok_rss" = 11 ] && echo PASS || echo FAIL)"
  [ "$ok_ratio$ok_rss" = 11 ] || status=1
}

cat "$WORK/p.ssu" > /dev/null  # warm the page cache for everyone alike
t_md5=$(best md5sum "$WORK/body.zip")
read -r t_env rss_env < <(ours envelope "$WORK/p.ssu")
echo "md5sum body: ${t_md5}s  envelope check: ${t_env}s"
check "envelope vs md5sum" "$(calc "$t_md5 / $t_env")" "$rss_env"

mkdir -p "$WORK/unz"
t_unzip=$(best unzip -q -o -P "$PW" "$WORK/body.zip" -d "$WORK/unz")
read -r t_ext rss_ext < <(ours extract "$WORK/body.zip")
echo "unzip -P: ${t_unzip}s  extraction: ${t_ext}s"
check "extract vs unzip -P" "$(calc "$t_unzip / $t_ext")" "$rss_ext"
exit $status
