# SPDX-License-Identifier: GPL-3.0-or-later
# Installs, with apt-get, the Debian 12 packages that building and running need (./run),
# and those the tests need besides (./test). Installs only what is missing.
tessaro_run_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-wqy-microhei fonts-dejavu-core python3 python3-fonttools
  # Without a display ./run shows Tessaro on a virtual X server and takes a screenshot.
  xvfb xauth xdotool imagemagick x11-utils
)
tessaro_test_packages=(
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  openbox fonts-noto-cjk
  desktop-file-utils appstream dpkg-dev file locales
  debootstrap lintian debhelper
  dbus-daemon at-spi2-core python3-pyatspi weston qt6-wayland
  ser2net socat
)

tessaro_ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The tests check that numbers keep their point under a comma-decimal locale.
tessaro_ensure_test_locale() {
  locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
}

tessaro_ensure_run_deps() {
  tessaro_ensure_packages "${tessaro_run_packages[@]}"
}

tessaro_ensure_test_deps() {
  tessaro_ensure_packages "${tessaro_run_packages[@]}" "${tessaro_test_packages[@]}"
}
