"""The base of the scenarios: a fresh X session per test, and the viewer driven in it."""

import functools
import os
import re
import unittest

import fixtures
import xsession

# The keys that reach each item of the main window's menu once it has opened under the
# pointer (nothing highlighted yet): Down highlights the first item, Up and Down stay in a
# column and wrap round, Left and Right cross to the item level with the highlighted one.
MAIN_MENU_KEYS = {
    "拡大(+5)": ["Down"],
    "拡大(+1)": ["Down"] * 2,
    "縮小(-1)": ["Down"] * 3,
    "縮小(-5)": ["Down"] * 4,
    "Exif表示": ["Down"] * 5,
    "範囲選択": ["Down"] * 6,
    "コピー": ["Down"] * 7,
    "取出表示": ["Down"] * 8,
    "フィット": ["Down", "Right"],
    "実寸": ["Down", "Right", "Down"],
    "全画面表示": ["Down", "Right", "Down", "Down"],
    "次の画像": ["Down", "Right", "Down", "Down", "Down"],
    "前の画像": ["Down", "Right", "Down", "Down", "Down", "Down"],
    "先頭へ": ["Down", "Right", "Down", "Down", "Down", "Down", "Down"],
    "おわり": ["Down", "Right", "Up"],
    "ヘルプ": ["Down", "Right", "Up", "Up"],
}

# The pick window's menu: five items, then "セピア" and "モノクロ" in a second column.
PICK_MENU_KEYS = {
    "コピー(実サイズ)": ["Down"],
    "コピー(表示サイズ)": ["Down"] * 2,
    "保存(実サイズ)": ["Down"] * 3,
    "保存(表示サイズ)": ["Down"] * 4,
    "閉じる": ["Down"] * 5,
    "セピア": ["Down", "Right"],
    "モノクロ": ["Down", "Right", "Down"],
}

# Every popup menu of the program is a window titled with the application title.
MENU_TITLE = "Corvanel"


def known_fault(description):
    """For a check of a fault that is known and reported but not yet mended: the test runs,
    and a failure is reported as a skip that names the fault, so the suite stays green
    until the fault is mended and the check then simply passes."""
    def decorate(test):
        @functools.wraps(test)
        def run(self, *args, **kwargs):
            try:
                test(self, *args, **kwargs)
            except AssertionError as failure:
                raise unittest.SkipTest("known fault: %s (%s)" % (description, failure))
        return run
    return decorate


def caption(path, percent, index, count):
    return "Tess %s [%s%%](%d/%d files)" % (path, percent, index, count)


class ViewerCase(unittest.TestCase):
    """One X session per test; helpers that start the viewer and work its menus."""

    def setUp(self):
        self.exe = xsession.executable_under_test()
        self.x = xsession.XSession()
        self.x.start()
        self.addCleanup(self.x.stop)
        self.pictures = self.x.path("pictures")
        os.makedirs(self.pictures)

    def picture(self, name, width, height, **options):
        return fixtures.write_jpeg(os.path.join(self.pictures, name), width, height, **options)

    def start_viewer(self, *arguments, exe=None, extra_env=None):
        """Starts the viewer and waits for its main window; returns (program, window)."""
        program = self.x.launch([exe or self.exe, *arguments], extra_env=extra_env)
        window = self.x.wait_window(r"Tess .*", pid=program.pid)
        # The window takes its outer size of 593 x 428 once the window manager has framed it;
        # the scenarios start from there.
        xsession.wait_until(lambda: self.x.outer_geometry(window)[2:] == (593, 428),
                            lambda: "the main window's outer size of 593 x 428 (it is %r)\n%s" % (self.x.outer_geometry(window), program.log()))
        self.x.activate(window)
        return program, window

    def client_size(self, window):
        _, _, width, height = self.x.geometry(window)
        return width, height

    def fit_percent(self, window, width, height):
        cw, ch = self.client_size(window)
        shown_width, _ = fixtures.fit(height, width, ch, cw)
        return fixtures.percent(shown_width, width)

    def choose(self, window, item, at=(200, 150), keys=MAIN_MENU_KEYS, pid=None):
        """Opens the context menu with a right click at `at` (client coordinates of the
        window) and chooses the item with the keyboard."""
        self.x.click(window, at[0], at[1], button=3)
        menu = self.x.wait_window(re.escape(MENU_TITLE), pid=pid)
        self.x.key(*keys[item], "Return")
        self.x.wait_until_gone(menu)

    # The readme window's "とじる" button: 75 x 19 at (176, 3) of the 24-pixel bar along the
    # bottom of the 429 x 238 client area.
    README_CLOSE_BUTTON = (176 + 37, 238 - 24 + 3 + 9)

    def close_readme(self, readme):
        """Hides the readme window with its own button (no keyboard focus needed)."""
        self.x.click(readme, *self.README_CLOSE_BUTTON)
        self.x.wait_until_gone(readme)

    def assert_running(self, program):
        self.assertTrue(program.running(), "the viewer ended:\n" + program.log())
