"""Starting on a folder and stepping through its pictures with the keys."""

import os
import unittest

from viewer_case import ViewerCase, caption


class StartOnAFolder(ViewerCase):
    def setUp(self):
        super().setUp()
        # Three spellings of .JPG and one in a subfolder are listed; .jpeg and .png are not.
        self.sizes = {
            "b.JPG": (1200, 800),
            "A.jpg": (3000, 2000),
            "c.Jpg": (400, 300),
            os.path.join("sub", "e.JPG"): (640, 480),
        }
        for name, (w, h) in self.sizes.items():
            self.picture(name, w, h)
        self.picture("z.jpeg", 100, 100)
        with open(os.path.join(self.pictures, "y.png"), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
        # The sorted list, case ignored.
        self.order = ["A.jpg", "b.JPG", "c.Jpg", os.path.join("sub", "e.JPG")]

    def expected(self, window, index):
        name = self.order[index - 1]
        w, h = self.sizes[name]
        return caption(os.path.join(self.pictures, name), self.fit_percent(window, w, h),
                       index, len(self.order))

    def test_first_entry_in_sorted_order_then_keys_step_and_wrap_round(self):
        program, window = self.start_viewer(self.pictures)
        self.assertEqual(self.x.title(window), self.expected(window, 1))

        steps = [
            ("Right", 2), ("space", 3), ("Right", 4),
            ("Right", 1),          # past the last: the first
            ("Left", 4),           # before the first: the last
            ("ctrl", 3),           # Ctrl alone steps back
            ("Up", 1), ("Down", 4),
            ("shift+Up", 1),       # modifiers do not matter
            ("alt+Down", 4),
        ]
        for key, index in steps:
            with self.subTest(key=key):
                self.x.key(key)
                self.x.wait_title(window, self.expected(window, index))
        self.assert_running(program)

    def test_menu_items_step_through_the_list(self):
        program, window = self.start_viewer(self.pictures)
        for item, index in (("次の画像", 2), ("次の画像", 3), ("前の画像", 2), ("先頭へ", 1),
                            ("前の画像", 4), ("次の画像", 1)):
            with self.subTest(item=item):
                self.choose(window, item)
                self.x.wait_title(window, self.expected(window, index))
        self.assert_running(program)


class StartOnOneFile(ViewerCase):
    def test_keys_reload_the_single_entry(self):
        path = self.picture("only.JPG", 400, 300)
        program, window = self.start_viewer(path)
        single = caption(path, "100.0", 1, 1)
        self.assertEqual(self.x.title(window), single)
        for key in ("Right", "Left", "Down"):
            self.x.key(key)
        self.x.wait_title(window, single)
        self.assert_running(program)


if __name__ == "__main__":
    unittest.main()
