#!/usr/bin/env bash
# Installs, when missing, every Debian package ZENTHA needs to build, run and test.
# Safe to run again: it only calls apt-get for packages that are not installed yet.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libglfw3-dev libepoxy-dev libglm-dev libgl1-mesa-dri libgl-dev libx11-dev
  librtaudio-dev jackd2 libsndfile1-dev
  liboscpack-dev liblo-tools iproute2 util-linux
  libcpptoml-dev libimgui-dev libstb-dev libstb0 fonts-dejavu-core
  libfontconfig-dev fonts-liberation2
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool imagemagick x11-utils
  clang libclang-rt-14-dev clang-format
  python3 python3-sympy
  libboost-dev nlohmann-json3-dev libavahi-client-dev avahi-daemon avahi-utils dbus
  python3-websocket python3-requests
  nodejs chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# The page tests drive Debian's Chromium with puppeteer-core from npm, kept beside them.
install_page_test_modules() {
  local dir
  dir="$(dirname "$0")/../tests/web"
  [ -d "$dir/node_modules/puppeteer-core" ] && return 0
  (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
}

if [ ${#missing[@]} -eq 0 ]; then
  install_page_test_modules
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable realtime scheduling; the default answer is fine.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections 2>/dev/null || true
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
install_page_test_modules
