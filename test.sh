#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
# Usage: ./test.sh            (build in build/, run all tests)
set -euo pipefail
cd "$(dirname "$0")"

scripts/ensure-packages.sh scripts/packages.txt

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_TESTS=ON >/dev/null
cmake --build build -j"$jobs"

export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$jobs"
