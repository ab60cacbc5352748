"""Zoom, actual size and fit from the context menu, the double-click, and resizing."""

import unittest

import fixtures
from viewer_case import MENU_TITLE, ViewerCase, caption


def zoom_step(ratio, step, natural_width):
    """The displayed ratio after a zoom step: 5 points per step added to the ratio shown,
    limited to 1 % .. 400 %; the panel is the picture times the zoom, rounded, and the
    picture fills its interior, 2 pixels narrower."""
    zoom = min(max(step / 100 * 5 + ratio, 0.01), 4.0)
    panel = round(natural_width * zoom)
    return (panel - 2) / natural_width


def shown(ratio):
    return "%.1f" % (ratio * 100)


class MenuZoom(ViewerCase):
    W, H = 3000, 2000

    def setUp(self):
        super().setUp()
        self.path = self.picture("A.jpg", self.W, self.H)

    def caption(self, percent):
        return caption(self.path, percent, 1, 1)

    def start(self):
        """The viewer on the picture, its client area 585 x 394 (the size of the window
        without a frame of the window manager's)."""
        program, window = self.start_viewer(self.path)
        self.x.resize(window, 585, 394)
        # 3000 x 2000 fitted into 585 x 394 is 585 x 390: 19.5 %.
        self.x.wait_title(window, self.caption("19.5"))
        return program, window

    def test_zoom_steps_actual_size_and_fit(self):
        program, window = self.start()

        # From 19.5 % one "拡大(+5)" is 44.5 %: a 1335 x 890 panel, the picture 1333 wide.
        self.choose(window, "拡大(+5)", at=(300, 200))
        self.x.wait_title(window, self.caption("44.4"))
        ratio = 1333 / self.W
        for item, step in (("拡大(+1)", 1), ("縮小(-1)", -1), ("縮小(-5)", -5), ("拡大(+5)", 5)):
            with self.subTest(item=item):
                ratio = zoom_step(ratio, step, self.W)
                self.choose(window, item, at=(300, 200))
                self.x.wait_title(window, self.caption(shown(ratio)))

        # Actual size: a 3000 wide panel and a picture 2 pixels narrower.
        self.choose(window, "実寸", at=(300, 200))
        self.x.wait_title(window, self.caption("99.9"))
        self.choose(window, "フィット", at=(300, 200))
        self.x.wait_title(window, self.caption("19.5"))

        # Reduced below 1 %: the zoom stops at 1 %, a 30 pixel panel, the picture 28 wide.
        self.choose(window, "縮小(-5)", at=(300, 200))
        self.x.wait_title(window, self.caption("0.9"))
        self.assert_running(program)

    def test_double_click_zooms_in_one_step(self):
        program, window = self.start()
        self.x.click(window, 292, 197, button=1, repeat=2)
        # 19.5 % + 5 points: a 735 pixel panel, the picture 733 wide.
        self.x.wait_title(window, self.caption("24.4"))
        self.x.click(window, 292, 197, button=1, repeat=2)
        self.x.wait_title(window, self.caption(shown(zoom_step(733 / self.W, 1, self.W))))
        self.assert_running(program)

    def test_only_the_left_button_double_click_zooms(self):
        program, window = self.start()
        self.x.click(window, 292, 197, button=3, repeat=2)
        self.x.wait_window(MENU_TITLE, pid=program.pid)
        self.x.key("Escape")
        self.x.click(window, 292, 197, button=2, repeat=2)
        self.assertEqual(self.x.title(window), self.caption("19.5"))
        self.assert_running(program)


class ResizeInFitMode(ViewerCase):
    W, H = 3000, 2000

    def test_resizing_rewrites_the_percentage(self):
        path = self.picture("A.jpg", self.W, self.H)
        program, window = self.start_viewer(path)
        for width, height in ((700, 500), (1000, 700), (500, 300), (900, 300)):
            with self.subTest(size=(width, height)):
                self.x.resize(window, width, height)
                self.assertEqual(self.client_size(window), (width, height))
                shown_width, _ = fixtures.fit(self.H, self.W, height, width)
                self.x.wait_title(window, caption(path, fixtures.percent(shown_width, self.W),
                                                  1, 1))
        self.assert_running(program)

    def test_a_picture_smaller_than_the_window_keeps_its_size(self):
        path = self.picture("small.JPG", 400, 300)
        program, window = self.start_viewer(path)
        for width, height in ((800, 600), (450, 350)):
            self.x.resize(window, width, height)
            self.x.wait_title(window, caption(path, "100.0", 1, 1))
        # Narrower than the picture: shrunk to 300 wide, 75 %.
        self.x.resize(window, 300, 400)
        self.x.wait_title(window, caption(path, "75.0", 1, 1))
        self.assert_running(program)

    def test_a_resize_while_magnified_keeps_the_magnification(self):
        path = self.picture("A.jpg", self.W, self.H)
        program, window = self.start_viewer(path)
        self.x.resize(window, 585, 394) # 3000 x 2000 fitted is 585 x 390: 19.5 %
        self.x.wait_title(window, caption(path, "19.5", 1, 1))
        self.choose(window, "拡大(+5)")
        self.x.wait_title(window, caption(path, "44.4", 1, 1))
        self.x.resize(window, 800, 600)
        self.assertEqual(self.client_size(window), (800, 600))
        self.x.wait_title(window, caption(path, "44.4", 1, 1))
        self.assert_running(program)


if __name__ == "__main__":
    unittest.main()
