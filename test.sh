#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: the unit and widget tests,
# the robustness suite, the end-to-end scenarios (the real program in Xvfb, label e2e) and
# a 30-second smoke run of each fuzz target (a clang build in build-fuzz), and the Debian
# package built by scripts/build-deb.sh (in build-deb) with its check.
# Usage: ./test.sh            (build in build/, run all tests)
set -euo pipefail
cd "$(dirname "$0")"

scripts/ensure-packages.sh scripts/packages.txt scripts/packages-test.txt

jobs=$(nproc)
scripts/quiet.sh cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_TESTS=ON
cmake --build build -j"$jobs"

# A fuzz or package failure is reported here and fails the run, after ctest has had its say.
fuzz_status=0
scripts/fuzz-smoke.sh build-fuzz 30 || fuzz_status=1

# The package as its documented command builds it: its files, control fields, and the
# verdicts of lintian, desktop-file-validate and appstreamcli.
package_status=0
if scripts/build-deb.sh build-deb; then
  python3 tests/package/check_deb.py build-deb/tessaly_*.deb || package_status=1
else
  package_status=1
fi

export QT_QPA_PLATFORM=offscreen
ctest_status=0
ctest --test-dir build --output-on-failure -j"$jobs" || ctest_status=$?
if ((ctest_status != 0)); then
  exit "$ctest_status"
fi
if ((package_status != 0)); then
  echo "The Debian package failed its check." >&2
  exit 1
fi
exit "$fuzz_status"
