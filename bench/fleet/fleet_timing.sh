#!/bin/sh
# Times `vornupdater fleet update` on N simulated gateways (127.0.0.1 only) with a package of
# SIZE_MB, once with --parallel 1 and once with --parallel P, in the same run.
# Usage: fleet_timing.sh BUILD_DIR [N=8] [SIZE_MB=20] [P=4]
set -eu
build=$(cd "$1" && pwd)
n=${2:-8}
size=${3:-20}
par=${4:-4}
work=$(mktemp -d /tmp/vorn-fleet-timing-XXXXXX)
sims=""
cleanup() {
    for pid in $sims; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The package: one image of random bytes (so the archive cannot shrink it).
mkdir -p "$work/pkg"
printf 'KELMORA GW V301\n' >"$work/pkg/appversion"
printf 'KELMORA GW V300R001\n' >"$work/pkg/cfgversion"
printf '#!/bin/sh\n' >"$work/pkg/apppre"
printf '#!/bin/sh\n' >"$work/pkg/appsh1"
{ printf '#sim: version KELMORA GW V301\n'; head -c $((size * 1024 * 1024)) /dev/urandom; } >"$work/pkg/app1"
"$build/tools/mkpkg/mkpkg" "$work/pkg" "$work/v301.ssu"

# An installation folder of its own.
cp -r "$build/dist/STARTUP" "$work/home"

run() {  # $1 = parallel
    : >"$work/gateways"
    for i in $(seq 1 "$n"); do
        "$build/tools/gateway-sim/gateway-sim" --root "$work/root$1-$i" --port 0 \
            --reboot-refuse-ms 300 >"$work/sim$1-$i.out" 2>&1 &
        sims="$sims $!"
    done
    for i in $(seq 1 "$n"); do
        while ! grep -q listening "$work/sim$1-$i.out"; do sleep 0.1; done
        sed -n 's/^listening on \(.*\)$/\1 gw'"$i"'/p' "$work/sim$1-$i.out" >>"$work/gateways"
    done
    start=$(date +%s.%N)
    VORN_HOME="$work/home" VORN_PASSWORD=admin VORN_NO_TTY=1 \
        "$build/dist/STARTUP/vornupdater" fleet update "$work/v301.ssu" --gateways "$work/gateways" \
        --parallel "$1" --yes >"$work/fleet$1.out" 2>&1 || { cat "$work/fleet$1.out"; exit 1; }
    end=$(date +%s.%N)
    echo "--parallel $1: $(echo "$end - $start" | bc) s for $n gateways"
    sed -n '/^GATEWAY/,$p' "$work/fleet$1.out"
}
run 1
run "$par"
