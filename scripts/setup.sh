#!/usr/bin/env bash
# Installs the Debian packages the monitor, its tests, its tools and its
# package need, and builds everything into build/. Run as root to install; otherwise it
# prints the apt-get line to run and stops.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation
  xvfb xauth xdotool trayer openbox x11-apps x11-utils imagemagick
  clang libclang-rt-14-dev
  dpkg-dev lintian man-db
  python3-prometheus-client python3-pytest locales
  dbus-daemon python3-gi
  sway foot
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Q62M_BENCH=OFF leaves the benchmarks out (the test command does; they are
# not run there); unset, the build keeps what it was configured with.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${Q62M_BENCH:+-DQ62M_BENCH=$Q62M_BENCH} >/dev/null
cmake --build build -j"$(nproc)"
