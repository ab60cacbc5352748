#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: the unit and widget tests,
# the robustness suite, the end-to-end scenarios (the real program in Xvfb, label e2e) and
# a 30-second smoke run of each fuzz target (a clang build in build-fuzz).
# Usage: ./test.sh            (build in build/, run all tests)
set -euo pipefail
cd "$(dirname "$0")"

scripts/ensure-packages.sh scripts/packages.txt scripts/packages-test.txt

jobs=$(nproc)
scripts/quiet.sh cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_TESTS=ON
cmake --build build -j"$jobs"

# A fuzz failure is reported here and fails the run, after ctest has had its say.
fuzz_status=0
scripts/fuzz-smoke.sh build-fuzz 30 || fuzz_status=1

export QT_QPA_PLATFORM=offscreen
ctest_status=0
ctest --test-dir build --output-on-failure -j"$jobs" || ctest_status=$?
if ((ctest_status != 0)); then
  exit "$ctest_status"
fi
exit "$fuzz_status"
