#!/usr/bin/env python3
"""Lossless turns and crops side by side with jpegtran: wall time and peak memory (the
largest resident set, from /usr/bin/time -v) of `tessaly-cli turn` (tag and --pixels) and
`jpegtran -rotate 90` on the same photo, and of `tessaly-cli crop` against `jpegtran -crop`,
also from a copy of the photo with a restart marker at every row of MCUs (`jpegtran -restart 1`),
from which the crop reads only the rows of the area. The photos (4:2:0, quality 90, a gradient
with grain) are written with cjpeg from rows that this script makes. Prints the table of
bench/README.md (medians of 3). `--before` names another build of tessaly-cli whose crops are
measured beside, on the same files.

    python3 bench/lossless_sidebyside.py --cli build-bench/cli/tessaly-cli [--sizes 24,64,256]
        [--before OTHER/tessaly-cli]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import tempfile

SHAPES = {24: (6000, 4000), 64: (9792, 6536), 256: (19584, 13072)}


def write_photo(path, width, height):
    rng = random.Random(1)
    grain = [bytes(rng.randrange(0, 24) for _ in range(3 * width + 512)) for _ in range(16)]
    ramp = bytes((x * 255 // (3 * width)) & 0xFF for x in range(3 * width))
    with open(path, "wb") as out:
        cjpeg = subprocess.Popen(["cjpeg", "-quality", "90", "-sample", "2x2"],
                                 stdin=subprocess.PIPE, stdout=out)
        cjpeg.stdin.write(b"P6\n%d %d\n255\n" % (width, height))
        for y in range(height):
            noise = grain[y % 16][(y * 7) % 512:(y * 7) % 512 + 3 * width]
            shade = y * 200 // height
            row = bytes((a + b + shade) & 0xFF for a, b in zip(ramp, noise)) if y % 64 == 0 else row
            if y % 2:
                mixed = int.from_bytes(row, "little") ^ int.from_bytes(noise, "little")
                cjpeg.stdin.write(mixed.to_bytes(len(row), "little"))
            else:
                cjpeg.stdin.write(row)
        cjpeg.stdin.close()
        cjpeg.wait()


def measure(command):
    """(seconds, peak MiB) of one run."""
    result = subprocess.run(["/usr/bin/time", "-f", "%e %M"] + command,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                            check=True)
    seconds, kib = result.stderr.strip().splitlines()[-1].split()
    return float(seconds), int(kib) / 1024


def median_of(commands_before, command, runs=3):
    times, peaks = [], []
    for _ in range(runs):
        for before in commands_before:
            before()
        seconds, peak = measure(command)
        times.append(seconds)
        peaks.append(peak)
    return statistics.median(times), statistics.median(peaks)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--sizes", default="24,64,256")
    parser.add_argument("--before")
    args = parser.parse_args()
    rows = []
    with tempfile.TemporaryDirectory(dir=os.environ.get("TMPDIR", "/var/tmp")) as work:
        for mp in [int(s) for s in args.sizes.split(",")]:
            width, height = SHAPES[mp]
            photo = os.path.join(work, "photo%d.jpg" % mp)
            write_photo(photo, width, height)
            copy = os.path.join(work, "copy.jpg")
            out = os.path.join(work, "out.jpg")
            fresh = lambda: shutil.copyfile(photo, copy)
            gone = lambda: os.path.exists(out) and os.remove(out)
            size = os.path.getsize(photo) / 2**20
            name = "%d MP (%dx%d, %.0f MiB)" % (mp, width, height, size)
            if mp <= 64:
                rows.append((name, "tag turn", median_of([fresh], [args.cli, "turn", copy, "--right"])))
                rows.append((name, "bake a quarter turn",
                             median_of([fresh], [args.cli, "turn", copy, "--right", "--pixels", "--trim"])))
                rows.append((name, "jpegtran -rotate 90 -trim",
                             median_of([], ["jpegtran", "-rotate", "90", "-trim", "-copy", "all",
                                            "-outfile", out, photo])))
            restarts = os.path.join(work, "restarts%d.jpg" % mp)
            subprocess.run(["jpegtran", "-restart", "1", "-copy", "all", "-outfile", restarts, photo],
                           check=True)
            left, top = width // 3 + 5, height // 3 + 3
            area = "%d,%d,1000,800" % (left, top)
            builds = [("", args.cli)] + ([(" (before)", args.before)] if args.before else [])
            for source, kind in [(photo, ""), (restarts, ", restart markers")]:
                for label, cli in builds:
                    rows.append((name, "crop 1000x800%s%s" % (kind, label),
                                 median_of([gone], [cli, "crop", source, "--area", area, "-o", out])))
                rows.append((name, "jpegtran -crop 1000x800%s" % kind,
                             median_of([], ["jpegtran", "-crop", "1000x800+%d+%d" % (left, top),
                                            "-copy", "all", "-outfile", out, source])))
    print("| Photo | Operation | Time (s) | Peak memory (MiB) |")
    print("|---|---|---:|---:|")
    for name, what, (seconds, peak) in rows:
        print("| %s | %s | %.2f | %.0f |" % (name, what, seconds, peak))


if __name__ == "__main__":
    main()
