#!/usr/bin/env bash
# Takes docs/screenshot.png under Xvfb: the viewer on the bundled sample folder (as ./run.sh
# starts it) with the EXIF overlay on and a pick window beside it. Builds the release build
# first if needed.
# Usage: scripts/screenshot.sh [BUILD_DIR]      (default: build-release)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-release}
scripts/ensure-packages.sh scripts/packages.txt scripts/packages-test.txt
if [[ ! -x "$build/app/tessaly" || ! -d "$build/samples" ]]; then
  scripts/quiet.sh cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALY_TESTS=OFF
  cmake --build "$build" -j"$(nproc)" --target tessaly samples
fi
mkdir -p docs
python3 scripts/screenshot.py "$build/app/tessaly" "$(cd "$build" && pwd)/samples" docs/screenshot.png
