#!/usr/bin/env bash
# Runs the example playbook (contrib/ansible/examples/site.yml) with ansible-playbook against
# four gateway simulators on 127.0.0.1, two sites with a local runner each:
#   1. --check: every gateway changed=1 and receives only the login and the pre-upgrade check;
#   2. the update: every gateway changed=1, each transcript ends exactly as a single
#      `vornupdater update` does (a fifth simulator records that reference);
#   3. again, with -vvv: every gateway changed=0, only logins and version queries; the
#      password is in neither the output nor the program's log;
#   4. a newer package with a failing install script on the second gateway: that host fails
#      and max_fail_percentage stops the run before the next batch (gw3, gw4 get nothing).
# Also builds the collection with ansible-galaxy and renders every module with ansible-doc.
# Usage: playbook_test.sh BUILD_DIR   (exit 77 when ansible-playbook is missing)
set -euo pipefail
BUILD=$(cd "${1:?usage: playbook_test.sh BUILD_DIR}" && pwd)
SRC=$(cd "$(dirname "$0")/../../.." && pwd)
for tool in ansible-playbook ansible-galaxy ansible-doc; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
SIM="$BUILD/tools/gateway-sim/gateway-sim"
MKPKG="$BUILD/tools/mkpkg/mkpkg"
PASSWORD='Pw-9xQ-ansible-secret'

WORK=$(mktemp -d)
declare -A SIM_PID PORT
cleanup() {
  for pid in "${SIM_PID[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT
[ -n "${KEEP_WORK:-}" ] && trap - EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

# A program folder of our own (also the data folder: VORN_HOME).
cp -a "$BUILD/dist/STARTUP" "$WORK/program"
export VORN_HOME="$WORK/program" VORN_LANG=en
export TMPDIR="$WORK/tmp" ANSIBLE_LOCAL_TEMP="$WORK/tmp/ansible-local" ANSIBLE_REMOTE_TEMP="$WORK/tmp/ansible-remote"
mkdir -p "$TMPDIR"
export ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0 ANSIBLE_HOST_KEY_CHECKING=False ANSIBLE_RETRY_FILES_ENABLED=0
unset ANSIBLE_CONFIG
cd "$WORK"  # no ansible.cfg of the caller's folder applies

step "ansible-galaxy collection build / install"
export ANSIBLE_COLLECTIONS_PATH="$WORK/collections"
ansible-galaxy collection build "$SRC/contrib/ansible" --output-path "$WORK" >/dev/null
ansible-galaxy collection install -p "$WORK/collections" "$WORK"/vorn-gateway-*.tar.gz >/dev/null
for m in gateway_info gateway_update gateway_backup gateway_restore; do
  ansible-doc "vorn.gateway.$m" >"$WORK/doc-$m.txt" 2>&1 || { cat "$WORK/doc-$m.txt"; fail "ansible-doc $m"; }
  grep -q "OPTIONS" "$WORK/doc-$m.txt" && grep -q "password" "$WORK/doc-$m.txt" &&
    grep -q "RETURN VALUES" "$WORK/doc-$m.txt" || fail "ansible-doc $m lacks its sections"
done
echo "ok ansible-doc renders the four modules"

start_sim() {  # NAME [extra simulator options...]
  local name=$1; shift
  : >"$WORK/$name.out"
  "$SIM" --root "$WORK/$name" --port 0 --password "$PASSWORD" \
    --version-text 'KELMORA GW V300R001\nbuild 2024-01\n' --reboot-refuse-ms 500 \
    --transcript "$WORK/$name.transcript" "$@" >>"$WORK/$name.out" 2>&1 &
  SIM_PID[$name]=$!
  PORT[$name]=""
  for _ in $(seq 1 100); do
    PORT[$name]=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$WORK/$name.out" | tail -1)
    [ -n "${PORT[$name]}" ] && return 0
    sleep 0.05
  done
  cat "$WORK/$name.out" >&2
  fail "simulator $name did not start"
}
stop_sim() { kill "${SIM_PID[$1]}"; wait "${SIM_PID[$1]}" 2>/dev/null || true; unset "SIM_PID[$1]"; }

make_package() {  # VERSION FILE
  local dir="$WORK/pkg-$1"
  mkdir -p "$dir"
  printf '%s\n' "KELMORA GW $1" >"$dir/appversion"
  printf 'KELMORA GW V300R001\n' >"$dir/cfgversion"
  printf '#!/bin/sh\nexit 0\n' >"$dir/apppre"
  printf '#sim: version KELMORA GW %s\nfirmware image %s\n' "$1" "$1" >"$dir/app1"
  printf '#!/bin/sh\nexit 0\n' >"$dir/appsh1"
  printf 'Firmware %s.\n' "$1" >"$dir/readme.txt"
  "$MKPKG" "$dir" "$2" >/dev/null
}
mkdir -p "$WORK/control"
make_package V301R002 "$WORK/control/fw_V301R002.ssu"
make_package V302R001 "$WORK/control/fw_V302R001.ssu"

write_inventory() {
  cat >"$WORK/inventory.yml" <<INV
all:
  children:
    runners:
      vars:
        ansible_connection: local
        ansible_python_interpreter: "{{ ansible_playbook_python }}"
        vornupdater: $WORK/program/vornupdater
      hosts:
        runner-a: {runner_dir: $WORK/runner-a}
        runner-b: {runner_dir: $WORK/runner-b}
    gateways:
      vars:
        gateway_password: "$PASSWORD"
      children:
        site_a:
          vars: {site_runner: runner-a}
          hosts:
            gw1: {gateway_address: "127.0.0.1:${PORT[gw1]}"}
            gw2: {gateway_address: "127.0.0.1:${PORT[gw2]}"}
        site_b:
          vars: {site_runner: runner-b}
          hosts:
            gw3: {gateway_address: "127.0.0.1:${PORT[gw3]}"}
            gw4: {gateway_address: "127.0.0.1:${PORT[gw4]}"}
INV
}

# Lines of a transcript from line FROM on, without their sequence numbers.
messages() {  # FILE FROM
  python3 - "$1" "$2" <<'PY'
import json, sys
lines = open(sys.argv[1], encoding='utf-8').read().splitlines()[int(sys.argv[2]):]
for l in lines:
    e = json.loads(l)
    e.pop('seq', None)
    print(json.dumps(e, sort_keys=True))
PY
}
count() { wc -l <"$1" | tr -d ' '; }
LOGIN_LINES=$'{"text": "login\\npasswd:'"$PASSWORD"$'\\nflage:HandleVersion\\n", "type": "text"}\n{"text": "get\\nfile:/app/appversion\\n", "type": "text"}\n{"text": "version\\nvalue:1568\\n", "type": "text"}'

# changed= and failed= of a host in the recap of OUTPUT.
recap() {  # OUTPUT HOST FIELD
  sed -n "s/^$2 *: .*\b$3=\([0-9]*\).*/\1/p" "$1" | tail -1
}
playbook() {  # OUTPUT PACKAGE [options...]
  local out=$1 pkg=$2; shift 2
  set +e
  ansible-playbook -i "$WORK/inventory.yml" "$SRC/contrib/ansible/examples/site.yml" \
    -e "firmware_package=$pkg" "$@" >"$out" 2>&1
  local rc=$?
  set -e
  echo "$rc"
}

for g in gw1 gw2 gw3 gw4 ref; do start_sim "$g"; done
write_inventory

# The reference: what one `vornupdater update` sends (the module's own arguments), with the
# package at the same path as on a runner.
mkdir -p "$WORK/runner-a/packages"
cp "$WORK/control/fw_V301R002.ssu" "$WORK/runner-a/packages/ref-copy.ssu"
printf '%s\n' "$PASSWORD" >"$WORK/pw"; chmod 600 "$WORK/pw"
mkdir -p "$WORK/ref-pkg" && cp "$WORK/control/fw_V301R002.ssu" "$WORK/ref-pkg/"
VORN_NO_TTY=1 "$WORK/program/vornupdater" update "$WORK/ref-pkg/fw_V301R002.ssu" --yes \
  --skip-current --verify --reboot-timeout 300 -g "127.0.0.1:${PORT[ref]}" \
  --password-file "$WORK/pw" --json >"$WORK/ref.json" || { cat "$WORK/ref.json"; fail "reference update"; }
stop_sim ref
rm -rf "$WORK/runner-a"
messages "$WORK/ref.transcript" 0 | sed "s#$WORK/ref-pkg/##" >"$WORK/ref.messages"
grep -q '"excute\\ncmd:reboot\\n"' "$WORK/ref.messages" || fail "the reference update did not restart the gateway"

declare -A MARK
mark() { for g in gw1 gw2 gw3 gw4; do MARK[$g]=$(count "$WORK/$g.transcript"); done; }
gateway_hosts_changed() {  # OUTPUT N
  for g in gw1 gw2 gw3 gw4; do
    [ "$(recap "$1" "$g" changed)" = "$2" ] || { cat "$1"; fail "$g: changed is not $2"; }
    [ "$(recap "$1" "$g" failed)" = "0" ] || { cat "$1"; fail "$g failed"; }
  done
}

step "1. --check"
mark
rc=$(playbook "$WORK/run1.out" "$WORK/control/fw_V301R002.ssu" --check)
[ "$rc" = 0 ] || { cat "$WORK/run1.out"; fail "--check run exited $rc"; }
gateway_hosts_changed "$WORK/run1.out" 1
for g in gw1 gw2 gw3 gw4; do
  messages "$WORK/$g.transcript" "${MARK[$g]}" >"$WORK/$g.run1"
  expected=$(printf '%s\n%s\n' "$LOGIN_LINES" "$LOGIN_LINES"
             printf '%s\n' '{"text": "put\nfile:/etc/vorncmd/apppre\n", "type": "text"}' \
               '{"bytes": 17, "type": "binary"}' '{"text": "putover\n", "type": "text"}' \
               '{"text": "excute\ncmd:/etc/vorncmd/apppre\n", "type": "text"}')
  [ "$(cat "$WORK/$g.run1")" = "$expected" ] || { diff <(echo "$expected") "$WORK/$g.run1"; fail "$g: --check sent more than the pre-upgrade check"; }
done
echo "ok --check: every gateway changed=1, only logins and the pre-upgrade check sent"

step "2. the update"
mark
rc=$(playbook "$WORK/run2.out" "$WORK/control/fw_V301R002.ssu")
[ "$rc" = 0 ] || { cat "$WORK/run2.out"; fail "update run exited $rc"; }
gateway_hosts_changed "$WORK/run2.out" 1
for g in gw1 gw2 gw3 gw4; do
  messages "$WORK/$g.transcript" "${MARK[$g]}" | sed "s#$WORK/runner-[ab]/packages/##" >"$WORK/$g.run2"
  n=$(count "$WORK/ref.messages")
  tail -n "$n" "$WORK/$g.run2" | diff "$WORK/ref.messages" - >/dev/null ||
    { tail -n "$n" "$WORK/$g.run2" | diff "$WORK/ref.messages" -; fail "$g: the update differs from a single update"; }
  # Before it: the facts' login, the login that found an update due, the backup.
  head -n "-$n" "$WORK/$g.run2" >"$WORK/$g.before"
  [ "$(head -n 6 "$WORK/$g.before")" = "$(printf '%s\n%s' "$LOGIN_LINES" "$LOGIN_LINES")" ] || fail "$g: unexpected start"
  grep -q 'bakcfgsh' "$WORK/$g.before" || fail "$g: no backup before the update"
  if grep -Eq 'stmp/app|appsh|reboot' "$WORK/$g.before"; then fail "$g: update commands before the update"; fi
done
for r in a b; do
  [ "$(ls "$WORK/runner-$r/backups" | grep -c '\.bcf$')" = 2 ] || fail "runner-$r does not hold two backups"
done
echo "ok update: every gateway changed=1, each transcript ends as a single update, one backup each"

step "3. again (-vvv)"
mark
rc=$(playbook "$WORK/run3.out" "$WORK/control/fw_V301R002.ssu" -vvv)
[ "$rc" = 0 ] || { cat "$WORK/run3.out"; fail "second run exited $rc"; }
gateway_hosts_changed "$WORK/run3.out" 0
for g in gw1 gw2 gw3 gw4; do
  messages "$WORK/$g.transcript" "${MARK[$g]}" >"$WORK/$g.run3"
  [ "$(cat "$WORK/$g.run3")" = "$(printf '%s\n%s' "$LOGIN_LINES" "$LOGIN_LINES")" ] ||
    { cat "$WORK/$g.run3"; fail "$g: the second run sent more than logins and version queries"; }
done
grep -q "gateway_update.py" "$WORK/run3.out" || fail "-vvv output lacks the module"
if grep -qF "$PASSWORD" "$WORK/run3.out" "$WORK/run2.out" "$WORK/run1.out"; then fail "the password is in ansible-playbook's output"; fi
if grep -rqF "$PASSWORD" "$VORN_HOME/log"; then fail "the password is in the program's log"; fi
if find "$TMPDIR" -name 'vorn-pw-*' | grep -q .; then fail "a password file was left behind"; fi
echo "ok again: every gateway changed=0, only logins; the password is in no output or log"

step "4. a failing gateway stops the next batch"
stop_sim gw2
start_sim gw2 --fail-script appsh='flash write error'
write_inventory
mark
rc=$(playbook "$WORK/run4.out" "$WORK/control/fw_V302R001.ssu")
[ "$rc" != 0 ] || { cat "$WORK/run4.out"; fail "the run with a failing gateway succeeded"; }
[ "$(recap "$WORK/run4.out" gw1 changed)" = 1 ] || { cat "$WORK/run4.out"; fail "the canary was not updated"; }
[ "$(recap "$WORK/run4.out" gw2 failed)" = 1 ] || { cat "$WORK/run4.out"; fail "gw2 did not fail"; }
grep -q 'flash write error' "$WORK/run4.out" || fail "the gateway's failure text is not shown"
for g in gw3 gw4; do
  [ "$(count "$WORK/$g.transcript")" = "${MARK[$g]}" ] || fail "$g received something after the failed batch"
done
if messages "$WORK/gw2.transcript" "${MARK[gw2]}" | grep -q 'reboot'; then fail "gw2 was restarted"; fi
echo "ok failure: gw2 failed, gw3 and gw4 received nothing"
echo "ansible playbook test passed"
