#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a short while on seeds the project
# writes itself (fuzz/make_seeds.cpp; the readme joins the RTF seeds).
# Usage: scripts/fuzz-smoke.sh [BUILD_DIR] [SECONDS]      (default: build-fuzz, 30)
# Prints one line per target; on a failure the end of its log, and exits 1.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-fuzz}
seconds=${2:-30}

CC=clang CXX=clang++ scripts/quiet.sh cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_FUZZ=ON -DTESSALY_GUI=OFF -DTESSALY_TESTS=OFF
scripts/quiet.sh cmake --build "$build" -j"$(nproc)" --target fuzz_exif fuzz_rtf fuzz_jpeg fuzz_preview \
  make_seeds

work="$build/smoke"
rm -rf "$work"
mkdir -p "$work/artifacts"
"$build/fuzz/make_seeds" "$work/seeds"
cp data/TESSreadme.txt "$work/seeds/rtf/"

status=0
for target in exif rtf jpeg preview; do
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$work/artifacts/$target-")
  case $target in
    exif) options+=(-dict=fuzz/fuzz_exif.dict -max_len=70000) ;;
    rtf) options+=(-dict=fuzz/rtf.dict -max_len=16384) ;;
    jpeg) options+=(-max_len=65536) ;;
    preview) options+=(-dict=fuzz/fuzz_preview.dict -max_len=65536) ;;
  esac
  mkdir -p "$work/corpus-$target"
  log="$work/$target.log"
  if "$build/fuzz/fuzz_$target" "${options[@]}" "$work/corpus-$target" "$work/seeds/$target" \
       >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "fuzz_$target: ${seconds} s, ${runs:-?} runs, ${cov:-cov: ?}, no failure"
  else
    echo "fuzz_$target FAILED; the end of $log:"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
