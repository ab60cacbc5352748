#!/usr/bin/env python3
"""The first picture after start, side by side: each viewer started on the same file in Xvfb
with openbox, watched by vwatch (../shared/tools): the window mapped, the first picture in its
centre and the last change there (settled), in ms after the start. The viewers take turns, run
after run; prints the medians and each run.

Usage: bench/first_picture.py PHOTO NAME=COMMAND... [--runs 7] [--vwatch /tmp/vt/vwatch]
  e.g. bench/first_picture.py photo.jpg tessaly=build/app/tessaly gpicview=gpicview
Each COMMAND gets PHOTO as its one argument. Runs its own Xvfb and openbox on a display of its
own, and gives the viewers a runtime folder of their own (Tessaly's single-instance lock).
"""
import argparse
import os
import re
import shlex
import statistics
import subprocess
import tempfile
import time

KEYS = ("t_map_ms", "t_first_image_ms", "t_settled_ms")


def free_display():
    for number in range(200, 300):
        if not os.path.exists(f"/tmp/.X{number}-lock"):
            return f":{number}"
    raise SystemExit("no free X display")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("photo")
    parser.add_argument("viewers", nargs="+", help="NAME=COMMAND")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--vwatch", default="/tmp/vt/vwatch")
    args = parser.parse_args()
    viewers = [v.split("=", 1) for v in args.viewers]

    display = free_display()
    env = dict(os.environ, DISPLAY=display)
    runtime = tempfile.mkdtemp(prefix="first-picture-")
    env["XDG_RUNTIME_DIR"] = runtime
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stderr=subprocess.DEVNULL)
    time.sleep(1.5)
    wm = subprocess.Popen(["openbox"], env=env, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    results = {name: [] for name, _ in viewers}
    try:
        for _ in range(args.runs):
            for name, cmd in viewers:
                out = subprocess.run([args.vwatch, "-w", "-t", "20", "--"] + shlex.split(cmd) +
                                     [args.photo], env=env, input="\n", capture_output=True,
                                     text=True, timeout=60).stdout
                found = dict(re.findall(r"(\w+)=([-\d.]+)", out))
                results[name].append([float(found.get(k, "nan")) for k in KEYS])
                time.sleep(0.5)
    finally:
        wm.terminate()
        xvfb.terminate()
        wm.wait()
        xvfb.wait()
    print("viewer       map  first  settled (medians, ms)")
    for name, runs in results.items():
        medians = [statistics.median(r[i] for r in runs) for i in range(3)]
        print(f"{name:10s} {medians[0]:6.0f} {medians[1]:6.0f} {medians[2]:8.0f}")
        for r in runs:
            print(f"    {r[0]:6.0f} {r[1]:6.0f} {r[2]:8.0f}")


if __name__ == "__main__":
    main()
