#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only those missing),
# then configures and builds the project in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(build-essential cmake pkg-config git libsdl2-dev libepoxy-dev libpng-dev libjpeg-dev
          zlib1g-dev bison libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
          libgl1-mesa-dri libegl-mesa0 libegl1 libgles2 libx11-dev libxi-dev xvfb xdotool xauth openbox
          x11-apps x11-utils imagemagick libsdl2-ttf-dev fonts-dejavu-core libavcodec-dev libavformat-dev
          libswscale-dev)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

JOBS=${JOBS:-$(nproc)}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"
