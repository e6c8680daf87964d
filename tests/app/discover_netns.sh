#!/bin/bash
# Broadcast searches for gateways, run only inside network namespaces made here.
#
#   discover_netns.sh VORNUPDATER GATEWAY_SIM [NETNS_GTEST_BINARY]
#
# The script re-runs itself under `unshare --net --mount` (the updater's namespace U) and
# checks that it is no longer in the namespace it started in before anything is sent. Three
# more namespaces (A, B, D) are made by `unshare --net sleep`, joined by veth pairs:
#
#   U ua 10.0.0.1/24    <-> ga 10.0.0.5/24    A  gateway 10.0.0.5 (answers 200 ms late) and a
#                                                responder sending only malformed replies
#   U ub 192.168.1.2/24 <-> gb 192.168.1.1/24 B  gateway 192.168.1.1 and one answering after
#                                                1800 ms (past the search's 1000 ms)
#   U uc 172.16.1.1/24  <-> gc 172.16.1.7/24  D  one gateway on two links, announcing
#   U ud 172.16.2.1/24  <-> gd 172.16.2.7/24  D  172.16.1.7 on both
#
# Routing facts this relies on (Linux): a datagram to 255.255.255.255 from a socket bound to
# an interface's address leaves through that interface only, so the per-interface search
# reaches every link; from a socket bound to any address it follows the default route, so
# the one-socket console search reaches the default route's link only, and without a default
# route its send fails with "network unreachable".
#
# Exit 77 (skipped) when namespaces cannot be made; never falls back to the real network.
set -u
SKIP=77

if [ "${VORN_NETNS_INNER:-}" != 1 ]; then
    [ $# -ge 2 ] || { echo "usage: $0 VORNUPDATER GATEWAY_SIM [NETNS_GTEST]" >&2; exit 2; }
    for tool in unshare nsenter ip; do
        command -v "$tool" >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed"; exit $SKIP; }
    done
    parent=$(readlink /proc/self/ns/net) || { echo "SKIPPED: cannot read /proc/self/ns/net"; exit $SKIP; }
    # As root directly; otherwise inside a user namespace where this user is root.
    if unshare --net --mount -- true 2>/dev/null; then
        how=(--net --mount)
    elif unshare --user --map-root-user --net --mount -- true 2>/dev/null; then
        how=(--user --map-root-user --net --mount)
    else
        echo "SKIPPED: cannot create a network namespace (needs root, CAP_SYS_ADMIN or user namespaces)"
        exit $SKIP
    fi
    exec unshare "${how[@]}" -- env VORN_NETNS_INNER=1 VORN_NETNS_PARENT="$parent" \
        bash "$0" "$@"
fi

# --- Inside U -------------------------------------------------------------------------------
self=$(readlink /proc/self/ns/net)
machine=$(readlink /proc/1/ns/net 2>/dev/null || true)
if [ -z "${VORN_NETNS_PARENT:-}" ] || [ "$self" = "$VORN_NETNS_PARENT" ] || [ "$self" = "$machine" ]; then
    echo "ABORT: not inside a new network namespace; nothing was sent" >&2
    exit 1
fi

UPDATER=$1
SIM=$2
NETNS_GTEST=${3:-}
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

ns() {  # ns NAME: a new namespace held by a sleeper; sets NS_<NAME> to its pid
    unshare --net -- sleep 600 &
    local pid=$!
    pids+=("$pid")
    for _ in $(seq 100); do
        [ "$(readlink /proc/$pid/ns/net 2>/dev/null)" != "$self" ] && \
            [ -n "$(readlink /proc/$pid/ns/net 2>/dev/null)" ] && break
        sleep 0.02
    done
    local theirs
    theirs=$(readlink /proc/$pid/ns/net)
    [ "$theirs" != "$self" ] && [ "$theirs" != "$VORN_NETNS_PARENT" ] || fail "namespace $1 not made"
    eval "NS_$1=$pid"
    in_ns "$pid" ip link set lo up
}
in_ns() { local pid=$1; shift; nsenter --net=/proc/$pid/ns/net -- "$@"; }
link() {  # link LOCAL_IF LOCAL_ADDR PEER_PID PEER_IF PEER_ADDR
    ip link add "$1" type veth peer name "$4" || fail "veth $1"
    ip link set "$4" netns "$3"
    ip addr add "$2" dev "$1" && ip link set "$1" up
    in_ns "$3" ip addr add "$5" dev "$4"
    in_ns "$3" ip link set "$4" up
}
sim() {  # sim PID NAME ARGS...: a gateway-sim in that namespace, waits for its responder
    local pid=$1 name=$2
    shift 2
    mkdir -p "$work/$name"
    # Started directly (not through the in_ns function, whose subshell would be the recorded
    # pid): nsenter runs the simulator in its own process, which cleanup can end.
    nsenter --net=/proc/"$pid"/ns/net -- "$SIM" --root "$work/$name/root" --discovery "$@" \
        >"$work/$name/out" 2>&1 &
    pids+=("$!")
    for _ in $(seq 250); do
        grep -q '^discovery on ' "$work/$name/out" && return 0
        sleep 0.02
    done
    cat "$work/$name/out" >&2
    fail "simulator $name did not start"
}

ip link set lo up
ns A; ns B; ns D
link ua 10.0.0.1/24 "$NS_A" ga 10.0.0.5/24
link ub 192.168.1.2/24 "$NS_B" gb 192.168.1.1/24
link uc 172.16.1.1/24 "$NS_D" gc 172.16.1.7/24
link ud 172.16.2.1/24 "$NS_D" gd 172.16.2.7/24

sim "$NS_A" a --announce 10.0.0.5 --discovery-delay-ms 200
sim "$NS_A" a-bad --announce 10.0.0.66 --discovery-no-reply --discovery-extra-long \
    --discovery-extra-prefix
sim "$NS_B" b --announce 192.168.1.1
sim "$NS_B" b-late --announce 192.168.1.99 --discovery-delay-ms 1800

# 1. Two gateways on two links, sorted although 192.168.1.1 answers first; the malformed and
#    the late replies are not listed.
out=$("$UPDATER" discover --timeout-ms 1000) || fail "discover exited with $?"
expected=$'Searching for Tolbane device. Please wait...\nGateway(1) Ip ------- 10.0.0.5\nGateway(2) Ip ------- 192.168.1.1\nSearch completed. Found 2 devices.'
[ "$out" = "$expected" ] || fail "discover printed:"$'\n'"$out"
grep -q '^search request from 10.0.0.1:' "$work/a-bad/out" || fail "the malformed responder got no request"
echo "ok 1 two links, sorted, malformed and late replies ignored"

# 2. One gateway answering through two interfaces is listed once.
sim "$NS_D" d --announce 172.16.1.7
out=$("$UPDATER" discover --json) || fail "discover --json exited with $?"
expected='{"address":"10.0.0.5","index":1,"type":"gateway"}
{"address":"172.16.1.7","index":2,"type":"gateway"}
{"address":"192.168.1.1","index":3,"type":"gateway"}
{"code":0,"text":"","type":"exit"}'
[ "$out" = "$expected" ] || fail "discover --json printed:"$'\n'"$out"
grep -q '^search request from 172.16.1.1:' "$work/d/out" && grep -q '^search request from 172.16.2.1:' "$work/d/out" \
    || fail "the two-link gateway was not asked on both links: $(cat "$work/d/out")"
echo "ok 2 the same gateway through two interfaces listed once (--json)"

# 3. In-process: the console's one-socket search without and with a default route, the
#    local address list and the wizard's dialog.
if [ -n "$NETNS_GTEST" ]; then
    export VORN_NETNS_STRICT=1
    "$NETNS_GTEST" --gtest_brief=1 \
        --gtest_filter='NetnsConsoleSearch.LocalAddresses*:NetnsConsoleSearch.NoDefaultRoute*:NetnsConsoleSearch.WizardSearch*' \
        || fail "in-process searches"
    ip route add default via 10.0.0.5 dev ua
    "$NETNS_GTEST" --gtest_brief=1 --gtest_filter='NetnsConsoleSearch.DefaultRoute*' \
        || fail "console search over the default route"
    echo "ok 3 in-process console and wizard searches"
fi

# 4. Nothing found is not an error.
ip link set ua down; ip link set ub down; ip link set uc down; ip link set ud down
out=$("$UPDATER" discover --timeout-ms 300) || fail "discover without gateways exited with $?"
[ "$out" = $'Searching for Tolbane device. Please wait...\nSearch completed. No device is found.' ] \
    || fail "discover without gateways printed:"$'\n'"$out"
echo "ok 4 no gateway: exit 0"
