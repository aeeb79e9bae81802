#!/usr/bin/env bash
# Installs, only when missing, every Debian 12 package that Kelvane's build and tests need.
# Idempotent: a second run installs nothing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libmatio-dev libhdf5-dev nlohmann-json3-dev nettle-dev
  # The transforms of the plots and of freqz.
  libfftw3-dev
  # The command line of kelvane-cli and kelvane-siggen-sim.
  libcli11-dev
  # Manual pages from the programs' --help, and the Debian package (dpkg-shlibdeps).
  help2man dpkg-dev
  # The windows: Qt 6 Widgets and UiTools, Charts (which needs the OpenGL and xkbcommon
  # headers to be found), SVG, DataVisualization (which needs Declarative), and Xvfb for the
  # tests of 3-D views, which need a real X server.
  qt6-base-dev qt6-tools-dev qt6-charts-dev libqt6opengl6-dev libxkbcommon-dev qt6-svg-dev
  qt6-datavisualization-dev qt6-declarative-dev xvfb xauth
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  python3 python3-scipy python3-numpy
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is already installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "install-deps: done"
