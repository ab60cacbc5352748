#!/usr/bin/env python3
"""Large photos through the picture pipeline: builds bench_large_photos (a Release build in
BUILD, configured first if it is not yet), runs it and prints the table of bench/README.md
(medians of 3). With --busy, one busy process (`yes > /dev/null`) runs beside it throughout.

    python3 bench/large_photos.py [--build build-bench] [--busy] [--filter REGEX]
"""
import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile

SIZES = [24, 64, 128, 256]
MARKERS = [("plain", "no restart markers"), ("restart1", "a restart marker every MCU row")]


def build(source, build_dir):
    if not (build_dir / "CMakeCache.txt").exists():
        configure = ["cmake", "-S", str(source), "-B", str(build_dir), "-G", "Ninja",
                     "-DCMAKE_BUILD_TYPE=Release", "-DTESSALY_BENCH=ON", "-DTESSALY_GUI=OFF"]
        subprocess.run(configure, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build_dir), "--target", "bench_large_photos"],
                   check=True)
    return build_dir / "bench" / "bench_large_photos"


def run(program, pattern, busy):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        command = [str(program), "--benchmark_out=" + out.name, "--benchmark_out_format=json"]
        if pattern:
            command.append("--benchmark_filter=" + pattern)
        spinner = subprocess.Popen(["yes"], stdout=subprocess.DEVNULL) if busy else None
        try:
            subprocess.run(command, check=True, stdout=sys.stderr)
        finally:
            if spinner:
                spinner.terminate()
                spinner.wait()
        return json.load(open(out.name))


def medians(report):
    """{(kind, megapixels, markers): entry} of the median aggregates."""
    found = {}
    for entry in report["benchmarks"]:
        if entry.get("aggregate_name") != "median":
            continue
        kind, size, markers = entry["run_name"].split("/")[:3]
        found[(kind, int(size.removesuffix("MP")), markers)] = entry
    return found


def ms(value):
    if value is None or value < 0:
        return "-"
    if value >= 1000:
        return f"{value:,.0f} ms"
    if value >= 100:
        return f"{value:.0f} ms"
    if value >= 10:
        return f"{value:.1f} ms"
    return f"{value:.2f} ms"


def table(found):
    def cell(kind, size, markers, field):
        entry = found.get((kind, size, markers))
        if entry is None:
            return None
        return entry["real_time"] if field == "time" else entry.get(field)

    rows = []

    def row(label, values):
        rows.append("| " + label + " | " + " | ".join(values) + " |")

    for markers, words in MARKERS:
        def times(kind, field):
            return [ms(cell(kind, s, markers, field)) for s in SIZES]

        def ratio(kind, field, base):
            out = []
            for s in SIZES:
                a, b = cell(kind, s, markers, field), cell("LibjpegEighth", s, markers, base)
                out.append(f"{a / b:.2f}" if a is not None and b and a >= 0 else "-")
            return out

        row(f"**{words}**: file", [
            f"{cell('LibjpegEighth', s, markers, 'file_MiB'):.1f} MiB"
            if cell("LibjpegEighth", s, markers, "file_MiB") else "-" for s in SIZES])
        row("stand-in (the EXIF thumbnail)", times("Pipeline", "standin_ms"))
        row("screen copy (the sharp fit picture)", times("Pipeline", "copy_ms"))
        row("libjpeg's 1/8 decode on one core", times("LibjpegEighth", "time"))
        row("screen copy / libjpeg's 1/8", ratio("Pipeline", "copy_ms", "time"))
        row("full picture", times("Pipeline", "full_ms"))
        row("libjpeg's full decode on one core", times("LibjpegFull", "time"))
        row("peak memory: pipeline / libjpeg's 1/8", [
            f"{cell('Pipeline', s, markers, 'peak_MiB'):.1f} / "
            f"{cell('LibjpegEighth', s, markers, 'peak_MiB'):.1f} MiB"
            if cell("Pipeline", s, markers, "peak_MiB") is not None
            and cell("LibjpegEighth", s, markers, "peak_MiB") is not None else "-"
            for s in SIZES])
    head = "| | " + " | ".join(f"{s} MP" for s in SIZES) + " |"
    rule = "|---|" + "---:|" * len(SIZES)
    return "\n".join([head, rule] + rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build-bench", help="the Release build folder")
    parser.add_argument("--busy", action="store_true", help="one busy process beside it")
    parser.add_argument("--filter", default="", help="only the benchmarks matching this")
    args = parser.parse_args()
    source = pathlib.Path(__file__).resolve().parent.parent
    program = build(source, pathlib.Path(args.build))
    before = os.getloadavg()[0]
    found = medians(run(program, args.filter, args.busy))
    after = os.getloadavg()[0]
    print(table(found))
    print(f"\nload average (1 min) before / after: {before:.1f} / {after:.1f}"
          + (", with one busy process beside it" if args.busy else ""))


if __name__ == "__main__":
    main()
