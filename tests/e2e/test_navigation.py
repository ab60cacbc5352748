"""Starting on a folder, stepping through its pictures with the keys, and trashing the shown
one and putting it back."""

import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.parse

import fixtures
import xsession
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


class InterruptTheStartUpSearch(ViewerCase):
    # Folders of empty folders: each costs the search a few system calls, so that it runs
    # for a good part of a second, during which the key goes down and up several times.
    FOLDERS = 120
    PER_FOLDER = 500

    def large_tree(self):
        """FOLDERS folders of PER_FOLDER empty folders and one picture each, on a memory
        file system where there is one, so that it is made quickly."""
        shm = "/dev/shm"
        tree = tempfile.mkdtemp(prefix="tessaly-e2e-tree-",
                                dir=shm if os.access(shm, os.W_OK) else self.x.path())
        self.addCleanup(shutil.rmtree, tree, True)
        model = fixtures.write_jpeg(os.path.join(tree, "model.jpeg"), 16, 16)
        for f in range(self.FOLDERS):
            folder = os.path.join(tree, "f%03d" % f)
            os.mkdir(folder)
            os.link(model, os.path.join(folder, "p.JPG"))
            for i in range(self.PER_FOLDER):
                os.mkdir(os.path.join(folder, "d%03d" % i))
        return tree

    def test_shift_pressed_before_any_window_exists_stops_the_search(self):
        first = self.picture("first.JPG", 400, 300)
        tree = self.large_tree()
        # Shift held for 80 ms, then released for 80 ms, over and over: the keyboard is read
        # from the X server, whichever window has the focus (here: none of the program's).
        presser = subprocess.Popen(
            ["sh", "-c", "while :; do xdotool keydown shift; sleep 0.08; "
                         "xdotool keyup shift; sleep 0.08; done"],
            env=self.x.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def stop_presser():
            if presser.poll() is None:
                presser.kill()
                presser.wait()
                self.x.run("xdotool", "keyup", "shift", check=False)
        self.addCleanup(stop_presser)
        program = self.x.launch([self.exe, first, tree])
        title, text = self.x.a11y.wait_message_box(program.pid)
        stop_presser()
        self.assertEqual((title, text), ("Corvanel", "検索を中断しました。"))
        self.assertFalse([t for _, t in self.x.windows(program.pid) if t.startswith("Tess ")],
                         "no main window yet")
        box = self.x.wait_window("Corvanel", pid=program.pid)
        self.x.activate(box)
        self.x.key("Return")
        # The main window shows what was found before the press.
        window = self.x.wait_window(r"Tess .*", pid=program.pid)
        found = re.search(r"\(1/(\d+) files\)$", self.x.title(window))
        self.assertIsNotNone(found, self.x.title(window))
        self.assertLess(int(found.group(1)), 1 + self.FOLDERS)
        self.assert_running(program)

if __name__ == "__main__":
    unittest.main()


class TrashAndUndo(ViewerCase):
    def test_delete_trashes_the_shown_file_and_ctrl_z_puts_it_back_byte_for_byte(self):
        a = self.picture("a.jpg", 400, 300)
        b = self.picture("b.jpg", 600, 400)
        with open(a, "rb") as f:
            original = f.read()
        program, window = self.start_viewer(self.pictures)
        self.x.wait_title(window, caption(a, self.fit_percent(window, 400, 300), 1, 2))

        self.x.key("Delete")
        self.x.wait_title(window, caption(b, self.fit_percent(window, 600, 400), 1, 1))
        trash = os.path.join(self.x.env["XDG_DATA_HOME"], "Trash")
        trashed = os.path.join(trash, "files", "a.jpg")
        info = os.path.join(trash, "info", "a.jpg.trashinfo")
        xsession.wait_until(lambda: os.path.exists(trashed), "a.jpg in the Trash")
        self.assertFalse(os.path.exists(a))
        with open(info, encoding="ascii") as f:
            lines = f.read().splitlines()
        self.assertEqual(lines[:2], ["[Trash Info]", "Path=" + urllib.parse.quote(a, safe="/-._~")])
        self.assertRegex(lines[2], r"^DeletionDate=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$")

        self.x.key("ctrl+z")
        self.x.wait_title(window, caption(a, self.fit_percent(window, 400, 300), 1, 2))
        with open(a, "rb") as f:
            self.assertEqual(f.read(), original)
        self.assertFalse(os.path.exists(trashed))
        self.assertFalse(os.path.exists(info))
        self.assert_running(program)
