#!/usr/bin/env python3
"""Times Tessaly's resampler and Pillow's Image.resize side by side on the same pixels.

Usage: python3 bench/pillow_compare.py BUILD/bench/bench_imaging [REPETITIONS]

bench_imaging writes its source pictures as PPM files; Pillow (Debian's python3-pil)
resizes the very same pixels, single-threaded, BICUBIC for the enlargement and BOX for
the reduction. The best of REPETITIONS runs (default 10) is compared on each side, in
CPU time of the process (both sides run on one thread, so this is their work, and it is
less disturbed than wall time by other programs on a busy machine).
"""
import json
import subprocess
import sys
import tempfile
import time

from PIL import Image


def best_of(repetitions, action):
    best = float("inf")
    for _ in range(repetitions):
        start = time.process_time()
        action()
        best = min(best, time.process_time() - start)
    return best * 1000.0


def tessaly_times(binary, repetitions):
    result = subprocess.run(
        [binary, "--benchmark_format=json", f"--benchmark_repetitions={repetitions}",
         "--benchmark_filter=Enlarge|Reduce|Sepia|Monochrome"],
        check=True, capture_output=True, text=True)
    best = {}
    for run in json.loads(result.stdout)["benchmarks"]:
        if run.get("run_type") == "aggregate":
            continue
        name = run["run_name"].split("/")[0]
        best[name] = min(best.get(name, float("inf")), run["cpu_time"])
    return best


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    binary = sys.argv[1]
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([binary, f"--write-sources={folder}"], check=True)
        small = Image.open(f"{folder}/small-1000x750.ppm").convert("RGB")
        large = Image.open(f"{folder}/large-6000x4000.ppm").convert("RGB")
        small.load()
        large.load()
    pillow_enlarge = best_of(repetitions, lambda: small.resize((4000, 3000), Image.BICUBIC))
    pillow_reduce = best_of(repetitions, lambda: large.resize((1500, 1000), Image.BOX))
    ours = tessaly_times(binary, repetitions)
    enlarge = ours["BM_EnlargeBicubic_1000x750_to_4000x3000"]
    reduce = ours["BM_ReduceArea_6000x4000_to_1500x1000"]
    sepia = ours["BM_Sepia_6000x4000"]
    mono = ours["BM_Monochrome_6000x4000"]
    print(f"Pillow {Image.__version__}, best of {repetitions} runs, CPU milliseconds")
    print(f"{'':40} {'Tessaly':>9} {'Pillow':>9} {'ratio':>7}")
    print(f"{'enlarge 1000x750 -> 4000x3000 (BICUBIC)':40} {enlarge:9.2f} {pillow_enlarge:9.2f}"
          f" {enlarge / pillow_enlarge:7.2f}")
    print(f"{'reduce 6000x4000 -> 1500x1000 (BOX)':40} {reduce:9.2f} {pillow_reduce:9.2f}"
          f" {reduce / pillow_reduce:7.2f}")
    print(f"{'sepia 6000x4000 / our reduction':40} {sepia:9.2f} {'':9} {sepia / reduce:7.2f}")
    print(f"{'monochrome 6000x4000 / our reduction':40} {mono:9.2f} {'':9} {mono / reduce:7.2f}")


if __name__ == "__main__":
    main()
