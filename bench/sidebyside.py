#!/usr/bin/env python3
"""Side-by-side figures of Tessaly and its peers in a real X server (Xvfb with openbox).

For each viewer, on the same 24-megapixel photos:
  - start to first picture on screen, and peak memory (vwatch);
  - next picture when the key comes 1 s after the last one settled: first change and settled
    (vnext, 6 presses);
  - peak memory while stepping through the folder (VmHWM after the presses).
Usage: bench/sidebyside.py TESSALY_EXE [--runs 5] [--viewers tessaly,gpicview,feh,nsxiv,qimgv]
Needs: Xvfb, openbox, xdotool, ImageMagick, and vwatch/vnext from ../shared/tools built into
TOOLS (default /tmp/vt). Prints one line per viewer: medians over the runs.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def photos(folder, count, sampling):
    """Six different colourful 6000 x 4000 JPEGs with texture, made once, with the chroma
    sampling given (4:4:4, or 4:2:0 as most cameras and phones write)."""
    os.makedirs(folder, exist_ok=True)
    base = os.path.join(folder, "base.ppm")
    if not os.path.exists(base):
        subprocess.run(["convert", "-size", "1500x1000", "plasma:fractal", "-resize", "6000x4000!",
                        "-attenuate", "0.6", "+noise", "Gaussian", base], check=True)
    paths = []
    for i in range(count):
        path = os.path.join(folder, f"p{i}.jpg")
        if not os.path.exists(path):
            subprocess.run(["convert", base, "-modulate", f"100,100,{40 + 25 * i}",
                            "-sampling-factor", sampling, "-quality", "90", path], check=True)
        paths.append(path)
    return paths


def command(viewer, exe, paths):
    first = paths[0]
    folder = os.path.dirname(first)
    return {
        "tessaly": [exe, folder],
        "gpicview": ["gpicview", first],
        "feh": ["feh", "--start-at", first, folder],
        "nsxiv": ["nsxiv"] + paths,
        "qimgv": ["qimgv", first],
    }[viewer]


def keyval(line):
    return dict(re.findall(r"(\w+)=(0x[0-9a-f]+|[-\d.]+)", line))


def run_once(viewer, exe, paths, tools, env):
    cmd = command(viewer, exe, paths)
    watch = subprocess.Popen([os.path.join(tools, "vwatch"), "-t", "60", "--"] + cmd,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                             env=env)
    # One line; the viewer, left running, keeps the pipe open.
    start = keyval(watch.stdout.readline())
    pid = int(start.get("pid", "0"))
    result = {"first": float(start.get("t_first_image_ms", "nan")),
              "start_hwm_mib": float(start.get("VmHWM_kb", "nan")) / 1024}
    try:
        time.sleep(1.5)
        win = [start["win"]] if start.get("win", "0x0") != "0x0" else []
        if win:
            subprocess.run(["xdotool", "windowactivate", "--sync", str(int(win[-1], 16))],
                           env=env, capture_output=True)
            nxt = subprocess.run([os.path.join(tools, "vnext"), "-w", win[-1], "-k", "Right",
                                  "-n", "6", "-g", "1000"], capture_output=True, text=True,
                                 env=env, timeout=120).stdout.strip().splitlines()
            summary = keyval(nxt[-1]) if nxt else {}
            result["next_first"] = float(summary.get("first_med", "nan"))
            result["next_settled"] = float(summary.get("settled_med", "nan"))
        with open(f"/proc/{pid}/status") as status:
            hwm = re.search(r"VmHWM:\s+(\d+)", status.read())
            result["step_hwm_mib"] = int(hwm.group(1)) / 1024 if hwm else float("nan")
    finally:
        subprocess.run(["kill", str(pid)])
        time.sleep(0.5)
        subprocess.run(["kill", "-9", str(pid)], capture_output=True)
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tessaly")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--viewers", default="tessaly,gpicview,feh,nsxiv,qimgv")
    parser.add_argument("--tools", default="/tmp/vt")
    parser.add_argument("--sampling", default="4:4:4", choices=["4:4:4", "4:2:2", "4:2:0"])
    parser.add_argument("--photos", help="folder of the photos (made there when missing); "
                        "default: sbs-photos (4:4:4) or sbs-photos-422/-420 in the temporary folder")
    args = parser.parse_args()
    folder = args.photos or os.path.join(
        tempfile.gettempdir(),
        "sbs-photos" + ("" if args.sampling == "4:4:4" else "-" + args.sampling.replace(":", "")[:3]))
    paths = photos(folder, 6, args.sampling)
    display = ":57"
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stderr=subprocess.DEVNULL)
    env = dict(os.environ, DISPLAY=display)
    env.pop("QT_QPA_PLATFORM", None)
    env.pop("WAYLAND_DISPLAY", None)
    time.sleep(1)
    wm = subprocess.Popen(["openbox"], env=env, stderr=subprocess.DEVNULL)
    time.sleep(1)
    try:
        for viewer in args.viewers.split(","):
            runs = [run_once(viewer, os.path.abspath(args.tessaly), paths, args.tools, env)
                    for _ in range(args.runs)]
            med = {k: statistics.median(r[k] for r in runs if k in r)
                   for k in runs[0] if all(k in r for r in runs)}
            print(viewer, " ".join(f"{k}={v:.0f}" for k, v in sorted(med.items())), flush=True)
    finally:
        wm.terminate()
        xvfb.terminate()


if __name__ == "__main__":
    sys.exit(main())
