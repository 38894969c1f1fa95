#!/usr/bin/env bash
# Installs the Debian packages that building and testing qarn need; only the
# missing ones, after a single apt-get update. Needs root (or sudo).
set -euo pipefail

PACKAGES=(cmake g++ make libgtest-dev libbenchmark-dev libxml2-dev libboost-dev bison flex python3)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done

if ((${#missing[@]} > 0)); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
