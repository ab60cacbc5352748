#!/bin/bash
# Builds the viewer with ThreadSanitizer and runs the main window's and the robustness tests
# (offscreen) and the end-to-end scenarios on it in Xvfb;
# fails when ThreadSanitizer reports anything outside Qt's, D-Bus's and GLib's own threads
# (scripts/tsan-qt.supp says why those are left out). The program runs several times slower
# under it, so a scenario that waits on the window manager may fail for its timing alone:
# such failures are listed as warnings; the normal build's test run is where they count.
# Usage: scripts/tsan-e2e.sh [BUILD_DIR] [SCENARIO...]   (default: build-tsan-gui, the
# scenarios that step, zoom, select, copy and pick: navigation view selection commands windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tsan-gui}
shift || true
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(navigation view selection commands windows)

scripts/quiet.sh cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_TSAN=ON
scripts/quiet.sh cmake --build "$build" -j"$(nproc)" --target tessaly viewer_tests robustness_tests

reports=$(mktemp -d)
trap 'rm -rf "$reports"' EXIT
# The scenarios start the program themselves: a wrapper gives it the sanitizer's options.
cat > "$reports/tessaly" <<WRAP
#!/bin/sh
export TSAN_OPTIONS="log_path=$reports/report exitcode=0 suppressions=$PWD/scripts/tsan-qt.supp"
exec "$PWD/$build/app/tessaly" "\$@"
WRAP
chmod +x "$reports/tessaly"

failed=()
for tests in viewer/viewer_tests robustness/robustness_tests; do
  QT_QPA_PLATFORM=offscreen \
    TSAN_OPTIONS="log_path=$reports/report exitcode=0 suppressions=$PWD/scripts/tsan-qt.supp" \
    "$build/tests/$tests" --gtest_brief=1 || failed+=("$tests")
done
for scenario in "${scenarios[@]}"; do
  TESSALY_EXE="$reports/tessaly" TESSALY_BUILD_DIR="$PWD/$build" PYTHONDONTWRITEBYTECODE=1 \
    python3 tests/e2e/run_e2e.py "test_$scenario" || failed+=("$scenario")
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "warning: tests that failed under ThreadSanitizer: ${failed[*]}" >&2
fi
if compgen -G "$reports/report.*" > /dev/null; then
  cat "$reports"/report.*
  echo "ThreadSanitizer reported the above" >&2
  exit 1
fi
echo "ThreadSanitizer: no report in viewer_tests, robustness_tests and the scenarios ${scenarios[*]}"
