"""Takes the README's screenshot under Xvfb: the viewer on the sample folder, its first
picture (a 1600 x 1200 landscape) with the EXIF overlay on and a pick window open beside it.
Usage: python3 scripts/screenshot.py TESSALY SAMPLE_FOLDER OUTPUT"""

import os
import re
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import xsession  # noqa: E402
from viewer_case import MAIN_MENU_KEYS, MENU_TITLE  # noqa: E402


def choose(x, program, window, item, at):
    x.click(window, at[0], at[1], button=3)
    menu = x.wait_window(re.escape(MENU_TITLE), pid=program.pid)
    x.key(*MAIN_MENU_KEYS[item], "Return")
    x.wait_until_gone(menu)


def drag(x, window, start, end):
    x.move(window, *start)
    x.press(1)
    x.move(window, (start[0] + end[0]) // 2, (start[1] + end[1]) // 2)
    x.move(window, *end)
    x.release(1)


def main(exe, folder, output):
    with xsession.XSession(width=1280, height=800, extra_server_args=["-br"]) as x:
        program = x.launch([exe, folder])
        window = x.wait_window(r"Tess .*", pid=program.pid)
        x.activate(window)
        # A 1600 x 1200 picture fills an 800 x 600 client area at 50 %.
        x.resize(window, 800, 600)
        x.move_window(window, 30, 30)
        x.wait_title(window, re.compile(r"Tess .*/IMG_0001\.JPG \[50\.0%\]\(1/\d+ files\)"))
        # The sun of the sample landscape, picked out: the rectangle centred on it, its
        # handle dragged out to 144 x 108 shown pixels (288 x 216 of the picture's own).
        choose(x, program, window, "範囲選択", (520, 150))
        drag(x, window, (551, 173), (631, 233))
        choose(x, program, window, "取出表示", (300, 450))
        pick = x.wait_window(r"取出\[1\] .*", pid=program.pid)
        x.move_window(pick, 610, 420)
        # The overlay on: selection mode ends and the shooting data show.
        choose(x, program, window, "Exif表示", (300, 450))
        x.move(window, 790, 5)
        time.sleep(1.0)
        boxes = [x.outer_geometry(w) for w in (window, pick)]
        left = min(b[0] for b in boxes) - 10
        top = min(b[1] for b in boxes) - 10
        right = max(b[0] + b[2] for b in boxes) + 10
        bottom = max(b[1] + b[3] for b in boxes) + 10
        x.run("import", "-window", "root", "-crop",
              "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage", output)
    print("wrote %s" % output)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*(os.path.abspath(arg) for arg in sys.argv[1:]))
