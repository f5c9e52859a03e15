#!/usr/bin/env bash
# Installs what the build and the tests need and is not there yet (Debian
# packages only), then configures and builds into ${BUILD_DIR:-build}.
# Sourced by run.sh, test.sh and bench.sh.
set -euo pipefail

pm_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev libxcb1-dev libxcb-xkb-dev
  libgtest-dev libgmock-dev
  fonts-dejavu-core
  xvfb xauth x11-apps imagemagick
  qt6-translations-l10n
  xdotool x11-utils openbox
)

pm_install_missing() {
  local missing=()
  for p in "${pm_packages[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

pm_build() {
  local dir="${BUILD_DIR:-build}"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
