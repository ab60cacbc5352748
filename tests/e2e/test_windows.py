"""Where the windows appear on a desktop with a window manager, whose frame differs from
the 8 x 34 pixels assumed where there is none, and how it stacks them in full screen."""

import re
import unittest

import xsession
from viewer_case import ViewerCase
from test_commands import README_TITLE
from test_selection import PICK_TITLE


class WindowPlacement(ViewerCase):
    @staticmethod
    def centred(outer, over):
        x, y, w, h = outer
        ox, oy, ow, oh = over
        return (x, y) == (ox + (ow - w) // 2, oy + (oh - h) // 2)

    def settles_centred(self, window, over, timeout=xsession.WAIT_SECONDS):
        """Whether the window comes to lie centred over `over` (outer geometries) within
        the timeout: the window manager applies moves a moment after they are asked for."""
        try:
            xsession.wait_until(lambda: self.centred(self.x.outer_geometry(window),
                                                     self.x.outer_geometry(over)),
                                "centring", timeout=timeout, interval=0.1)
            return True
        except xsession.Timeout:
            return False

    def open_readme(self, program, window):
        self.choose(window, "ヘルプ")
        return self.x.wait_window(README_TITLE, pid=program.pid)

    def test_readme_window_is_centred_over_the_main_window_when_opened_again(self):
        program, window = self.start_viewer(self.picture("a.JPG", 400, 300))
        readme = self.open_readme(program, window)
        self.x.move_window(readme, 10, 10)
        readme = self.open_readme(program, window)   # while open: back over the main window
        self.assertTrue(self.settles_centred(readme, window))
        self.close_readme(readme)
        self.x.move_window(window, 50, 40)
        readme = self.open_readme(program, window)
        self.assertTrue(self.settles_centred(readme, window))

    def test_readme_window_is_centred_over_the_main_window_at_its_first_opening(self):
        program, window = self.start_viewer(self.picture("a.JPG", 400, 300))
        readme = self.open_readme(program, window)
        self.assertTrue(self.settles_centred(readme, window))

    def test_main_window_is_593_by_428_with_its_frame_and_centred_on_the_screen(self):
        program, window = self.start_viewer(self.picture("a.JPG", 400, 300))
        outer = self.x.outer_geometry(window)
        self.assertEqual(outer[2:], (593, 428))
        self.assertTrue(self.centred(outer, (0, 0, self.x.width, self.x.height)))

    def test_main_window_keeps_its_size_in_logical_pixels_at_a_display_scale_of_2(self):
        # The frame the window manager announces counts device pixels, two to a logical pixel
        # here; the outer 593 x 428 comes out as twice that, give or take the rounding of an
        # odd frame width to logical pixels.
        program = self.x.launch([self.exe, self.picture("a.JPG", 400, 300)],
                                extra_env={"QT_SCALE_FACTOR": "2"})
        window = self.x.wait_window(r"Tess .*", pid=program.pid)

        def near(a, b):
            return all(abs(p - q) <= 2 for p, q in zip(a, b))

        xsession.wait_until(
            lambda: near(self.x.outer_geometry(window)[2:], (1186, 856)),
            lambda: "an outer size near 1186 x 856 device pixels (it is %r)"
            % (self.x.outer_geometry(window),))
        x, y, w, h = self.x.outer_geometry(window)
        self.assertTrue(near((x, y), ((self.x.width - w) // 2, (self.x.height - h) // 2)))

    def stacking(self):
        """The managed windows from the bottom up, as the window manager stacks them."""
        out = self.x.run("xprop", "-root", "_NET_CLIENT_LIST_STACKING")
        return [int(w, 16) for w in re.findall(r"0x[0-9a-fA-F]+", out)]

    def above(self, upper, lower):
        order = self.stacking()
        return int(upper) in order and int(lower) in order and \
            order.index(int(upper)) > order.index(int(lower))

    def test_pick_window_stays_above_the_main_window_in_full_screen(self):
        # The window manager stacks the active full-screen window over always-on-top windows
        # unless they belong to it.
        program, window = self.start_viewer(self.picture("a.JPG", 400, 300))
        self.choose(window, "範囲選択", at=(200, 150))
        self.choose(window, "取出表示", at=(100, 250))
        pick = self.x.wait_window(PICK_TITLE, pid=program.pid)
        self.x.activate(window)
        place = self.x.geometry(window)
        self.x.key("F11")
        screen = (0, 0, self.x.width, self.x.height)
        xsession.wait_until(lambda: self.x.geometry(window) == screen,
                            lambda: "full screen (the window is at %r)" % (self.x.geometry(window),))
        xsession.wait_until(lambda: self.above(pick, window),
                            lambda: "the pick window %s above the main window %s: %r" % (
                                pick, window, self.stacking()))
        self.assertTrue(self.x.visible(pick))
        # A pick made in full screen takes the focus; with the main window active again it
        # stays above it too.
        self.choose(window, "取出表示", at=(100, 250))
        second = self.x.wait_window(re.escape("取出[2] サイズ(64,48)"), pid=program.pid)
        self.x.activate(window)
        xsession.wait_until(lambda: self.above(second, window) and self.above(pick, window),
                            lambda: "both pick windows above the main window %s: %r" % (
                                window, self.stacking()))
        self.x.key("Escape")
        xsession.wait_until(lambda: self.x.geometry(window) == place,
                            lambda: "the place %r (the window is at %r)" % (
                                place, self.x.geometry(window)))
        # Out of full screen the pick windows are windows of their own again, still on top.
        for each in (pick, second):
            self.assertNotIn("window id", self.x.run("xprop", "-id", each, "WM_TRANSIENT_FOR"))
            self.assertTrue(self.above(each, window))


if __name__ == "__main__":
    unittest.main()
