#!/usr/bin/env python3
"""The viewer's window with colour profiles that are costly to link (made by costly_profile.py):
start to the first picture on screen, the CPU time of the process and of its GUI thread, and
the steps through ten photos that carry ten different costly profiles (more than the kept
transforms), each with no display profile and with one on the root window.

Runs in its own Xvfb (kept from resetting, so that the root window's property stays) with
openbox; vwatch and vnext from ../shared/tools and rootprofile from bench/tools built into
TOOLS (see bench/README.md).

    python3 bench/costly_profile_window.py build/app/tessaly [--tools /tmp/vt] [--runs 3]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import costly_profile  # noqa: E402


def keyval(line):
    return dict(re.findall(r"(\w+)=(0x[0-9a-f]+|[-\d.]+)", line))


def gui_thread_cpu_s(pid):
    """utime + stime of the process's first thread, the GUI thread."""
    with open(f"/proc/{pid}/task/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def process_cpu_s(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def end(pid):
    """Ends the viewer and waits until it is gone: a copy still running would take the next
    start's files as a second copy's."""
    subprocess.run(["kill", str(pid)], capture_output=True)
    for _ in range(100):
        if not os.path.exists(f"/proc/{pid}"):
            return
        time.sleep(0.05)
    subprocess.run(["kill", "-9", str(pid)], capture_output=True)
    time.sleep(0.5)


def run_once(tessaly, paths, tools, env, steps, log):
    watch = subprocess.Popen([os.path.join(tools, "vwatch"), "-t", "120", "--", tessaly] + paths,
                             stdout=subprocess.PIPE, stderr=log, text=True, env=env)
    start = keyval(watch.stdout.readline())
    pid = int(start.get("pid", "0"))
    result = {"first_ms": float(start.get("t_first_image_ms", "nan")),
              "map_ms": float(start.get("t_map_ms", "nan"))}
    try:
        result["cpu_s"] = process_cpu_s(pid)
        result["gui_cpu_s"] = gui_thread_cpu_s(pid)
        win = start.get("win", "0x0")
        if steps and win != "0x0":
            time.sleep(1.0)
            client = subprocess.run(["xdotool", "search", "--name", "^Tess "], env=env,
                                    capture_output=True, text=True).stdout.split()
            subprocess.run(["xdotool", "windowactivate", "--sync", client[0]], env=env,
                           capture_output=True)
            before = gui_thread_cpu_s(pid)
            lines = subprocess.run([os.path.join(tools, "vnext"), "-w", win, "-k", "Right", "-n",
                                    str(steps), "-g", "1500"], capture_output=True, text=True,
                                   env=env, timeout=600).stdout.strip().splitlines()
            summary = keyval(lines[-1]) if lines else {}
            result["step_first_ms"] = float(summary.get("first_med", "nan"))
            result["step_max_ms"] = float(summary.get("first_max", "nan"))
            result["step_gui_cpu_ms"] = (gui_thread_cpu_s(pid) - before) * 1000 / steps
    finally:
        end(pid)
        watch.wait()
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tessaly")
    parser.add_argument("--tools", default="/tmp/vt")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--display", default=":71")
    parser.add_argument("--only", default="", help="only the cases whose display names this")
    args = parser.parse_args()
    tessaly = os.path.abspath(args.tessaly)
    work = tempfile.mkdtemp(prefix="costly-profiles-")
    make = lambda *a: subprocess.run([sys.executable, os.path.join(HERE, "costly_profile.py")] +
                                     list(a), check=True)
    subprocess.run(["sh", "-c", f"cjpeg -quality 90 > {work}/plain.jpg"],
                   input=costly_profile.photo_ppm(640, 480), check=True)
    make("photo", "3", os.path.join(work, "m3.jpg"))
    make("photo", "64", os.path.join(work, "m64.jpg"))
    make("photo", "10000", os.path.join(work, "m10000.jpg"))
    make("photo", "60000", os.path.join(work, "m60000.jpg"))
    ten = os.path.join(work, "ten")
    os.mkdir(ten)
    for i in range(10):
        make("photo", "10000", os.path.join(ten, f"p{i}.jpg"), "--name", f" {i}")
    for n in (64, 10000, 60000, 240000):
        make("profile", str(n), os.path.join(work, f"m{n}.icc"))

    env = dict(os.environ, DISPLAY=args.display, XDG_RUNTIME_DIR=work, QT_QPA_PLATFORM="xcb")
    xvfb = subprocess.Popen(["Xvfb", args.display, "-screen", "0", "1280x1024x24", "-nolisten",
                             "tcp", "-noreset"], stderr=subprocess.DEVNULL)
    time.sleep(1.5)
    wm = subprocess.Popen(["openbox"], env=env, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    log = open(os.path.join(work, "stderr.txt"), "w")
    cases = [
        ("no display profile", None, "plain.jpg", 0),
        ("no display profile", None, "m3.jpg", 0),
        ("no display profile", None, "m64.jpg", 0),
        ("no display profile", None, "m10000.jpg", 0),
        ("no display profile", None, "m60000.jpg", 0),
        ("no display profile", None, "ten", 9),
        ("display 4.9 KB (64, linked)", "m64.icc", "plain.jpg", 0),
        ("display 680 KB (10,000)", "m10000.icc", "plain.jpg", 0),
        ("display 4.08 MB (60,000)", "m60000.icc", "plain.jpg", 0),
        ("display 4.08 MB (60,000)", "m60000.icc", "ten", 9),
        ("display 16.3 MB (240,000)", "m240000.icc", "plain.jpg", 0),
    ]
    try:
        print("| display | file | first picture | process CPU | GUI thread CPU | step: first "
              "change (median / most) | GUI CPU a step |")
        print("|---|---|---:|---:|---:|---:|---:|")
        for display, profile, name, steps in cases:
            if args.only not in display:
                continue
            subprocess.run([os.path.join(args.tools, "rootprofile"),
                            os.path.join(work, profile) if profile else "-d"], env=env,
                           check=True, stdout=subprocess.DEVNULL)
            # The ten photos as the list, the first shown.
            paths = ([os.path.join(ten, f"p{i}.jpg") for i in range(10)] if name == "ten"
                     else [os.path.join(work, name)])
            runs = [run_once(tessaly, paths, args.tools, env, steps, log)
                    for _ in range(args.runs)]
            med = lambda key: statistics.median(r[key] for r in runs) if key in runs[0] else None
            step = (f"{med('step_first_ms'):.0f} / {max(r['step_max_ms'] for r in runs):.0f} ms"
                    if steps else "")
            step_cpu = f"{med('step_gui_cpu_ms'):.0f} ms" if steps else ""
            print(f"| {display} | {name} | {med('first_ms'):.0f} ms | {med('cpu_s'):.2f} s | "
                  f"{med('gui_cpu_s'):.2f} s | {step} | {step_cpu} |", flush=True)
    finally:
        log.close()
        wm.terminate()
        xvfb.terminate()
        print(f"viewer's error stream: {work}/stderr.txt", file=sys.stderr)


if __name__ == "__main__":
    main()
