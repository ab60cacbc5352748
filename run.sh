#!/usr/bin/env bash
# Installs what is missing, builds a release build and starts the viewer.
# Usage: ./run.sh [FILE|FOLDER]...   (no arguments: the bundled sample folder)
set -euo pipefail
cd "$(dirname "$0")"

scripts/ensure-packages.sh scripts/packages.txt

scripts/quiet.sh cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALY_TESTS=OFF
cmake --build build-release -j"$(nproc)"

if (($# == 0)); then
  set -- "$PWD/build-release/samples"
fi
exec build-release/app/tessaly "$@"
