#!/usr/bin/env bash
# Installs the Debian packages Pixlane needs (when missing) and builds it into build/.
# With --deps-only [PACKAGE...]: installs them, and the packages named, and builds nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
pkgs=(qt6-base-dev qt6-serialport-dev libgtest-dev libgmock-dev libbenchmark-dev cmake g++ ninja-build xvfb xauth
      desktop-file-utils appstream systemd zlib1g-dev prometheus chromium ser2net ffmpeg qt6-translations-l10n)
depsOnly=0
if [ "${1:-}" = "--deps-only" ]; then
    depsOnly=1
    shift
    pkgs+=("$@")
fi
missing=()
for p in "${pkgs[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
[ "$depsOnly" -eq 1 ] && exit 0
cmake -S . -B "${BUILD_DIR:-build}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_EXTRA:-}
cmake --build "${BUILD_DIR:-build}" -j"$(nproc)"
