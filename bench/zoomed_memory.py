#!/usr/bin/env python3
"""Peak memory of the viewer on one photo at fit, then after zooming to 400 % with the context
menu ("拡大(+5)" chosen until the caption says 400 %), in Xvfb with openbox.

Usage: bench/zoomed_memory.py TESSALY_EXE PHOTO
Needs: Xvfb, openbox, xdotool. Prints the caption's tail and VmHWM at fit and when zoomed.
"""
import os
import re
import subprocess
import sys
import time


def main():
    exe, photo = sys.argv[1], sys.argv[2]
    display = ":61"
    env = dict(os.environ, DISPLAY=display)
    server = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              stderr=subprocess.DEVNULL)
    time.sleep(1)
    wm = subprocess.Popen(["openbox"], env=env, stderr=subprocess.DEVNULL)
    time.sleep(1)
    viewer = subprocess.Popen([exe, photo], env=env, stderr=subprocess.DEVNULL)
    try:
        time.sleep(3)
        window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid",
                                 str(viewer.pid)], env=env, capture_output=True,
                                text=True).stdout.split()[-1]

        def peak_mib():
            with open(f"/proc/{viewer.pid}/status") as status:
                return int(re.search(r"VmHWM:\s+(\d+)", status.read()).group(1)) // 1024

        def caption():
            return subprocess.run(["xdotool", "getwindowname", window], env=env,
                                  capture_output=True, text=True).stdout.strip()

        print("fit", caption()[-26:], peak_mib(), "MiB")
        subprocess.run(["xdotool", "mousemove", "--window", window, "290", "200"], env=env)
        for _ in range(30):
            if "[400.0%]" in caption():
                break
            # The context menu's first item is "拡大(+5)".
            subprocess.run(["xdotool", "click", "3"], env=env)
            time.sleep(0.3)
            subprocess.run(["xdotool", "key", "Down", "Return"], env=env)
            time.sleep(0.4)
        print("zoomed", caption()[-26:], peak_mib(), "MiB")
    finally:
        viewer.kill()
        wm.kill()
        server.kill()


if __name__ == "__main__":
    main()
