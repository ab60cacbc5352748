"""The EXIF overlay on and off, the readme window, and the two ways to end the program."""

import os
import unittest

import exif_block
import xsession
from viewer_case import ViewerCase, caption

README_TITLE = "Lumivex v0.1 '060717 By Pellorihttps://pellori.example/contact/contact_me.html"


def thousands(n):
    return "{:,}".format(n)


def red_pixels(pixels, width, region):
    """Pixels of the overlay's red in the top-left `region` x `region` pixels."""
    count = 0
    for y in range(region):
        row = y * width * 3
        for x in range(region):
            r, g, b = pixels[row + 3 * x:row + 3 * x + 3]
            if r > 180 and g < 80 and b < 80:
                count += 1
    return count


class ExifOverlay(ViewerCase):
    def setUp(self):
        super().setUp()
        self.path = self.picture("shot.JPG", 800, 600)
        exif_block.insert_exif(self.path, exif_block.tiff("TESSALY", "E2E", 200, (1, 250),
                                                          (28, 10)))

    def overlay_texts(self, program):
        return [t for t in self.x.a11y.texts(program.pid, role="label") if t]

    def red_in(self, window):
        width, height, pixels = self.x.window_pixels(window)
        return red_pixels(pixels, width, min(360, width, height))

    def test_overlay_on_shows_the_shooting_data_and_off_hides_it(self):
        program, window = self.start_viewer(self.path)
        self.assertEqual(self.overlay_texts(program), [])
        self.assertEqual(self.red_in(window), 0)

        self.choose(window, "Exif表示")
        text = self.x.a11y.wait_text(program.pid, lambda t: t.startswith("01:"),
                                     "the overlay text", role="label")
        size = os.path.getsize(self.path)
        expected_lines = [
            "01:画像ファイル名 ------> " + self.path,
            "08:レンズF値 -----------> 2.8",
            "10:露光時間 ------------> 1/250 秒",
            "14:CCD感度(ISO) --------> 200",
            "21:カメラのメーカー ----> TESSALY",
            "22:カメラの機種 --------> E2E",
            "99:サイズ --------------> %s KB ( %s bytes )" % (
                thousands(int(size / 1024 + 0.5)), thousands(size)),
        ]
        lines = text.split("\n")
        for line in expected_lines:
            self.assertIn(line, lines)
        self.assertEqual(lines[-1], expected_lines[-1])
        # Both labels carry the text: the red one and its highlight-coloured copy.
        self.assertEqual(self.overlay_texts(program), [text, text])
        xsession.wait_until(lambda: self.red_in(window) > 50, "the red overlay on screen")
        self.assertEqual(self.x.title(window), caption(self.path, self.fit_percent(window, 800, 600), 1, 1))

        self.choose(window, "Exif表示")
        xsession.wait_until(lambda: not self.overlay_texts(program), "the overlay to go")
        xsession.wait_until(lambda: self.red_in(window) == 0, "the red overlay to go")
        self.assert_running(program)


class HelpAndEnd(ViewerCase):
    def test_help_opens_the_readme_window_with_the_credits(self):
        path = self.picture("a.JPG", 400, 300)
        program, window = self.start_viewer(path)
        self.choose(window, "ヘルプ")
        readme = self.x.wait_window(README_TITLE, pid=program.pid)
        self.x.a11y.wait_text(program.pid, lambda t: t == "とじる", "the close button")
        self.close_readme(readme)   # "とじる" only hides the window
        self.assert_running(program)
        self.choose(window, "ヘルプ")
        readme = self.x.wait_window(README_TITLE, pid=program.pid)
        self.x.close_by_window_manager(readme)   # so does the window manager's close
        self.assert_running(program)
        self.assertTrue(self.x.visible(window))

    def test_owari_ends_the_program(self):
        path = self.picture("a.JPG", 400, 300)
        program, window = self.start_viewer(path)
        self.choose(window, "おわり")
        self.assertEqual(program.wait(), 0, program.log())

    def test_closing_the_main_window_ends_the_program(self):
        path = self.picture("a.JPG", 400, 300)
        program, window = self.start_viewer(path)
        self.x.close_by_window_manager(window)
        self.assertEqual(program.wait(), 0, program.log())

    def test_without_arguments_the_startup_caption_shows(self):
        program = self.x.launch([self.exe])
        self.x.wait_window(
            "Tess v0.1 '060717 By Pellori Lumivex https://pellori.example/contact/"
            "contact_me.html", pid=program.pid)
        self.assert_running(program)


if __name__ == "__main__":
    unittest.main()
