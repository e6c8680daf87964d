#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Safe to run again.
set -euo pipefail
PKGS=(cmake g++ make pkg-config qt6-base-dev libquazip1-qt6-dev zlib1g-dev nettle-dev
      googletest libgtest-dev libgmock-dev libbenchmark-dev zip unzip openssl iproute2
      clang libclang-rt-14-dev libcurl4 dpkg-dev desktop-file-utils appstream)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y "${missing[@]}"
