#!/usr/bin/env bash
# The Debian 12 packages Pellaro builds, runs and tests with.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libsqlite3-dev libgtest-dev
  libpff-dev libbfio-dev libchm-dev zlib1g-dev libdeflate-dev fp-utils
  pff-tools pst-utils xvfb xauth time clang-format
  fonts-wine python3
  libxml2-utils python3-vobject python3-gi gir1.2-ebookcontacts-1.2
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
