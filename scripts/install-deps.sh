#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Safe to run again.
set -euo pipefail
PKGS=(cmake g++ make pkg-config qt6-base-dev libquazip1-qt6-dev zlib1g-dev nettle-dev
      googletest libgtest-dev libgmock-dev libbenchmark-dev zip unzip openssl iproute2
      clang libclang-rt-14-dev libcurl4 dpkg-dev desktop-file-utils appstream
      qt6-translations-l10n fonts-wqy-microhei xvfb)
# ansible-core runs the Ansible collection's playbook test; its recommended bundle of
# collections is not needed.
LEAN_PKGS=(ansible-core)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=() lean=()
for p in "${PKGS[@]}"; do installed "$p" || missing+=("$p"); done
for p in "${LEAN_PKGS[@]}"; do installed "$p" || lean+=("$p"); done
[ ${#missing[@]} -eq 0 ] && [ ${#lean[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
[ ${#missing[@]} -eq 0 ] || $SUDO apt-get install -y "${missing[@]}"
[ ${#lean[@]} -eq 0 ] || $SUDO apt-get install -y --no-install-recommends "${lean[@]}"
