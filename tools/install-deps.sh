#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing. Safe to run repeatedly.
set -euo pipefail
packages=(cmake ninja-build g++ clang pkg-config libicu-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
          libsqlite3-dev libpcap-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
