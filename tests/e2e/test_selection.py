"""The selection rectangle dragged with the mouse, the area copied to the clipboard, picked
out into pick windows, and saved from a pick window through the save dialog."""

import os
import re
import subprocess
import unittest

import xsession
from viewer_case import PICK_MENU_KEYS, ViewerCase, caption

PICK_TITLE = r"取出\[(\d+)\] サイズ\((\d+),(\d+)\)"


def selection_caption(moving, x, y, w, h):
    return "選択範囲%s 位置(%4d,%4d) 実サイズ[%4d,%4d]" % ("移動" if moving else "拡縮", x, y, w, h)


def ppm_of(argv):
    return xsession.parse_ppm(subprocess.run(argv, stdout=subprocess.PIPE, check=True).stdout)


class SelectionCopyPick(ViewerCase):
    W, H = 1200, 800

    def setUp(self):
        super().setUp()
        self.path = self.picture("p.JPG", self.W, self.H)

    def start_selection(self):
        """The viewer with the picture fitted into a 600 x 400 client area (shown at 50 %, at
        the top-left corner), selection mode on with the rectangle centred on (200, 150).
        Returns (program, window, the list caption)."""
        program, window = self.start_viewer(self.path)
        self.x.resize(window, 600, 400)
        list_caption = caption(self.path, "50.0", 1, 1)
        self.x.wait_title(window, list_caption)
        self.choose(window, "範囲選択", at=(200, 150))
        return program, window, list_caption

    def drag(self, window, start, end, during, after):
        """Drags with the left button from start to end (client coordinates), checking the
        caption at the press, after the move, and after the release."""
        self.x.move(window, *start)
        self.x.press(1)
        self.x.wait_title(window, during[0])
        self.x.move(window, (start[0] + end[0]) // 2, (start[1] + end[1]) // 2)
        self.x.move(window, *end)
        self.x.wait_title(window, during[1])
        self.x.release(1)
        self.x.wait_title(window, after)

    def select_208_by_156_at_396_292(self, window, list_caption):
        # The 64 x 48 rectangle at (168, 126): moved by (30, 20) from a press inside it.
        self.drag(window, (200, 150), (230, 170),
                  (selection_caption(True, 168, 126, 128, 96),
                   selection_caption(True, 198, 146, 128, 96)),
                  list_caption)
        # Its handle now lies at (259, 191); dragging its centre by (40, 30) makes the
        # rectangle 104 x 78 displayed pixels, 208 x 156 in the picture.
        self.drag(window, (261, 193), (301, 223),
                  (selection_caption(False, 198, 146, 128, 96),
                   selection_caption(False, 198, 146, 208, 156)),
                  list_caption)

    def offset_settled(self, earlier, later, expected=(20, 20)):
        """The offset of `later`'s outer top-left from `earlier`'s, once it is the expected
        one or after the wait's generous cap (the window manager places a new window a
        moment after it is shown)."""
        def offset():
            ex, ey, _, _ = self.x.outer_geometry(earlier)
            lx, ly, _, _ = self.x.outer_geometry(later)
            return (lx - ex, ly - ey)
        try:
            xsession.wait_until(lambda: offset() == expected, "the offset")
        except xsession.Timeout:
            pass
        return offset()

    def assert_area_of_picture(self, width, height, rgb, x, y, w, h):
        """The pixels equal the picture's block at (x, y), as ImageMagick decodes it (within
        the small differences of two decoders)."""
        self.assertEqual((width, height), (w, h))
        _, _, expected = ppm_of(["convert", self.path, "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                                 "+repage", "-depth", "8", "ppm:-"])
        worst = max(abs(a - b) for a, b in zip(rgb, expected))
        self.assertLessEqual(worst, 8)

    def test_drag_copy_pick_and_save(self):
        program, window, list_caption = self.start_selection()
        self.select_208_by_156_at_396_292(window, list_caption)

        # "コピー": the area at the picture's own resolution.
        self.x.set_clipboard_text("before")
        self.choose(window, "コピー", at=(100, 300))
        png = xsession.wait_until(
            lambda: "image/png" in self.x.clipboard_targets() and self.x.clipboard("image/png"),
            "an image on the clipboard")
        self.assertEqual(xsession.png_size(png), (208, 156))
        clip = self.x.path("clip.png")
        with open(clip, "wb") as f:
            f.write(png)
        self.assert_area_of_picture(*ppm_of(["convert", clip, "-depth", "8", "ppm:-"]),
                                    396, 292, 208, 156)

        # "取出表示": pick windows numbered from 1, each 20 pixels right of and below the
        # previous one, showing the area at its actual size.
        self.choose(window, "取出表示", at=(100, 300))
        first = self.x.wait_window(re.escape("取出[1] サイズ(208,156)"), pid=program.pid)
        self.assertEqual(self.x.geometry(first)[2:], (208, 156))
        self.choose(window, "取出表示", at=(100, 300))
        second = self.x.wait_window(re.escape("取出[2] サイズ(208,156)"), pid=program.pid)
        self.assertEqual(self.offset_settled(first, second), (20, 20))
        self.assertEqual(self.x.title(window), list_caption)

        # Saved from the pick window's menu through the dialog: a baseline JPEG of quality
        # 94 at the actual size.
        target = self.x.path("saved.jpg")
        self.choose(second, "保存(実サイズ)", at=(100, 70), keys=PICK_MENU_KEYS,
                    pid=program.pid)
        dialog = self.x.wait_window(r"(?!取出|Tess|Corvanel).+", pid=program.pid)
        self.x.activate(dialog)
        self.x.key("ctrl+a")
        self.x.type_text(target)
        self.x.key("Return")
        xsession.wait_until(lambda: os.path.exists(target), "the saved file")
        self.x.wait_until_gone(dialog)
        info = self.x.run("identify", "-format", "%Q %w %h %[interlace] %[colorspace]", target)
        self.assertEqual(info.split(), ["94", "208", "156", "None", "sRGB"])
        self.assertEqual([n for n in os.listdir(self.x.dir) if n.startswith(".saved.jpg")], [])
        self.assert_area_of_picture(*ppm_of(["convert", target, "-depth", "8", "ppm:-"]),
                                    396, 292, 208, 156)
        self.assert_running(program)

    def test_first_pick_window_lies_20_pixels_from_the_main_window(self):
        program, window, _ = self.start_selection()
        self.choose(window, "取出表示", at=(100, 300))
        first = self.x.wait_window(PICK_TITLE, pid=program.pid)
        self.assertEqual(self.offset_settled(window, first), (20, 20))


if __name__ == "__main__":
    unittest.main()
