#!/usr/bin/env bash
# Builds the Debian package into dist/: a release build of its own (build-package/, or
# BUILD_DIR), hardened with the distribution's build flags, packed by CPack and checked
# by lintian. Installs what is missing for that (when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
# dpkg-shlibdeps (dpkg-dev) works out the dependencies; file tells CPack what to strip.
scripts/setup.sh --deps-only dpkg-dev lintian file

build="${BUILD_DIR:-build-package}"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
# The optimisation comes from the distribution's flags (-O2), the level the test suite
# builds at; Release would add -O3 on top.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DPIXLANE_BUILD_TESTS=OFF -DPIXLANE_BUILD_BENCH=OFF ${CMAKE_EXTRA:-}
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB)

mkdir -p dist
deb="$(ls -t "$build"/pixlane_*.deb | head -n 1)"
cp "$deb" dist/
echo "Paket: dist/$(basename "$deb")"
dpkg-deb --info "dist/$(basename "$deb")"
echo "lintian:"
lintian --display-info --fail-on error "dist/$(basename "$deb")"
