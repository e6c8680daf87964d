#!/bin/sh
# updhistory.sh PACKAGE: appends one update record (time and package name) to the gateway's
# update history; "/app/updhistory" when /config/etc is a link, else "/updhistory".
# Runs on the gateway (POSIX sh, busybox). GW_ROOT prefixes every gateway path; it is empty
# on a gateway and lets the scripts be tried in a scratch folder.
R=${GW_ROOT:-}
case "$0" in
  */vorncmd/*) RESULT=${0%/*}/result ;;
  *) if [ -d "$R/etc/vorncmd" ]; then RESULT=$R/etc/vorncmd/result; else RESULT=$R/var/vorncmd/result; fi ;;
esac
# A refusal leaves its reason in the result file, which the updater fetches and shows.
fail() {
  printf '%s\n' "$*" > "$RESULT" 2>/dev/null
  exit 1
}
[ $# -ge 1 ] || fail "usage: updhistory.sh PACKAGE"
if [ -L "$R/config/etc" ]; then UPDHISTORY=$R/app/updhistory; else UPDHISTORY=$R/updhistory; fi
{
  printf 'update time: '
  date
  printf 'package name: %s\n\n' "$1"
} >> "$UPDHISTORY" || fail "cannot write $UPDHISTORY"
exit 0
