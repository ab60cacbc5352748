#!/usr/bin/env bash
# Builds the Debian package tessaly_<version>_<arch>.deb: installs what is missing, makes a
# release build with Debian's hardening flags (dpkg-buildflags) and packs it with CPack,
# whose Depends come from dpkg-shlibdeps. Prints the package's path.
# Usage: scripts/build-deb.sh [BUILD_DIR]   (default: build-deb)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-packages.sh scripts/packages.txt

build=${1:-build-deb}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
scripts/quiet.sh cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALY_TESTS=OFF \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build" -j"$(nproc)"

rm -f "$build"/tessaly_*.deb
scripts/quiet.sh cpack --config "$build/CPackConfig.cmake" -B "$build"
echo "$build"/tessaly_*.deb
