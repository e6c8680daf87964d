#!/bin/sh
# Times `vornupdater fleet update` on N simulated gateways (127.0.0.1 only) with a package of
# SIZE_MB, once for each --parallel value, in the same run. For each run it reports the wall
# time, the CPU seconds of the fleet command and its workers (user + system; the simulators
# are not counted), the peak disk use of the run folders in TMPDIR, the peak resident memory
# of the fleet command and its workers together, and the fleet command's own peak.
# Usage: fleet_timing.sh BUILD_DIR [N=32] [SIZE_MB=20] [PARALLEL="1 8 32"]
set -eu
build=$(cd "$1" && pwd)
n=${2:-32}
size=${3:-20}
parallels=${4:-"1 8 32"}
work=$(mktemp -d /tmp/vorn-fleet-timing-XXXXXX)
sims=""
sampler=""
cleanup() {
    [ -n "$sampler" ] && kill "$sampler" 2>/dev/null || true
    for pid in $sims; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    chmod -R u+w "$work" 2>/dev/null || true
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
"$build/tools/mkpkg/mkpkg" "$work/pkg" "$work/v301.ssu" >/dev/null

# An installation folder of its own.
cp -r "$build/dist/STARTUP" "$work/home"

# Peak of the sum of the resident sets of the fleet command ($1) and its children, and peak
# disk use (KiB) of the folder $2, sampled every 0.2 s until the fleet command ends; the two
# peaks go to the file $3.
sample() {
    fleet=$1 folder=$2 out=$3 rss=0 disk=0
    while kill -0 "$fleet" 2>/dev/null; do
        now=$(ps -o rss= -p "$fleet" --ppid "$fleet" 2>/dev/null | awk '{s += $1} END {print s + 0}')
        [ "$now" -gt "$rss" ] && rss=$now
        used=$(du -sk "$folder" 2>/dev/null | awk '{print $1}')
        [ -n "$used" ] && [ "$used" -gt "$disk" ] && disk=$used
        echo "$rss $disk" >"$out"
        sleep 0.2
    done
}

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
    mkdir -p "$work/tmp$1"
    TMPDIR="$work/tmp$1" VORN_HOME="$work/home" VORN_PASSWORD=admin VORN_NO_TTY=1 \
        /usr/bin/time -f '%e %U %S %M' -o "$work/time$1" \
        "$build/dist/STARTUP/vornupdater" fleet update "$work/v301.ssu" \
        --gateways "$work/gateways" --parallel "$1" --yes >"$work/fleet$1.out" 2>&1 &
    timer=$!
    fleet=""
    while [ -z "$fleet" ] && kill -0 "$timer" 2>/dev/null; do
        fleet=$(ps -o pid= --ppid "$timer" | tr -d ' ')
    done
    echo "0 0" >"$work/peak$1"
    sample "$fleet" "$work/tmp$1" "$work/peak$1" &
    sampler=$!
    status=0
    wait "$timer" || status=$?
    wait "$sampler" 2>/dev/null || true
    sampler=""
    if [ "$status" -ne 0 ]; then
        cat "$work/fleet$1.out"
        exit 1
    fi
    read -r wall user system own <"$work/time$1"
    read -r rss disk <"$work/peak$1"
    printf -- '--parallel %-3s %8.1f s wall %8.1f s CPU %8.1f MB disk %8.1f MB memory (fleet alone %.1f MB)\n' \
        "$1" "$wall" "$(echo "$user + $system" | bc)" "$(echo "$disk / 1024" | bc -l)" \
        "$(echo "$rss / 1024" | bc -l)" "$(echo "$own / 1024" | bc -l)"
    for pid in $sims; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    sims=""
    # Each run's results: every gateway updated.
    if [ "$(sed -n '/^GATEWAY/,$p' "$work/fleet$1.out" | grep -c '  ok  ')" -ne "$n" ]; then
        sed -n '/^GATEWAY/,$p' "$work/fleet$1.out"
        exit 1
    fi
}

echo "$n gateways, a package of $size MB ($(du -k "$work/v301.ssu" | awk '{printf "%.1f", $1 / 1024}') MB on disk)"
for p in $parallels; do
    run "$p"
done
