#!/bin/sh
# Makes ("create") or removes ("remove") the ordinary user that the tests of the installed copy
# run their programs as: once per test run, through a ctest fixture. Without root there is
# nothing to do; those tests then skip themselves.
set -eu
action=$1
user=$2
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: the tests as an ordinary user are skipped"
  exit 0
fi
case $action in
  create)
    if ! id -u "$user" >/dev/null 2>&1; then
      useradd --no-create-home --user-group --shell /usr/sbin/nologin \
        --comment "vornupdater tests" "$user"
    fi
    id "$user"
    ;;
  remove)
    if id -u "$user" >/dev/null 2>&1; then
      userdel "$user"
    fi
    ;;
  *)
    echo "usage: $0 create|remove USER" >&2
    exit 2
    ;;
esac
