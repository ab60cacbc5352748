"""The real program stepping through a folder of hostile files under Xvfb: it shows what it
can, says what its messages say, and is still running at the end."""

import os
import random
import re
import struct
import unittest

import xsession
from viewer_case import ViewerCase

CANNOT_OPEN = "ファイル %s は開けません."
TOO_LARGE = "ファイル %s は大きすぎて表示できません (65500 x 65500)."
BOX_TITLE = "Corvanel"


def shown_path(path):
    """A path as the caption shows it: bytes that are not UTF-8 as U+FFFD."""
    return os.fsencode(path).decode("utf-8", errors="replace")


def with_declared_size(data, width, height):
    """The JPEG with its frame header declaring another size."""
    pos = 2
    while pos + 4 <= len(data) and data[pos] == 0xFF:
        marker = data[pos + 1]
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            return data[:pos + 5] + struct.pack(">HH", height, width) + data[pos + 9:]
        pos += 2 + length
    raise ValueError("no frame header")


class HostileFolder(ViewerCase):
    def write(self, name, data):
        path = os.path.join(os.fsencode(self.pictures), os.fsencode(name))
        with open(path, "wb") as f:
            f.write(data)
        return os.fsdecode(path)

    def setUp(self):
        super().setUp()
        good = self.picture("a-good.JPG", 400, 300)
        progressive = self.picture("p-source.jpeg", 320, 240, progressive=True)
        with open(good, "rb") as f:
            baseline = f.read()
        with open(progressive, "rb") as f:
            progressive = f.read()
        self.expected_boxes = {}
        for percent in (0, 5, 20, 50, 90, 99):
            self.write("t-base-%02d.JPG" % percent, baseline[:len(baseline) * percent // 100])
            self.write("t-prog-%02d.JPG" % percent,
                       progressive[:len(progressive) * percent // 100])
        noise = random.Random(8)
        for i in range(8):
            damaged = bytearray(baseline if i % 2 else progressive)
            for _ in range(1 + i):
                damaged[noise.randrange(2, len(damaged))] = noise.randrange(256)
            self.write("c-%d.JPG" % i, bytes(damaged))
        huge = self.write("h-huge.JPG", with_declared_size(baseline, 65500, 65500))
        self.expected_boxes[huge] = TOO_LARGE % huge
        pipe = os.path.join(self.pictures, "f-pipe.JPG")
        os.mkfifo(pipe)
        self.expected_boxes[pipe] = CANNOT_OPEN % pipe
        self.write(b"n-\xff\xfe.JPG", baseline)
        os.symlink(".", os.path.join(self.pictures, "loop"))
        # A folder named like a picture is listed when it is named itself.
        self.folder_entry = os.path.join(self.x.path(), "x.JPG")
        os.mkdir(self.folder_entry)
        self.expected_boxes[self.folder_entry] = CANNOT_OPEN % self.folder_entry

    def wait_outcome(self, program, window, index, count):
        """After a step to entry `index`: ("caption", text) when the caption names the entry,
        or ("box", text) when an error box came up."""
        tail = "](%d/%d files)" % (index, count)

        def outcome():
            box = self.x.find_window(re.escape(BOX_TITLE), pid=program.pid)
            if box is not None:
                title, text = self.x.a11y.wait_message_box(program.pid)
                self.assertEqual(title, BOX_TITLE)
                return ("box", text, box)
            title = self.x.title(window)
            if title and title.endswith(tail):
                return ("caption", title, None)
            return None
        return xsession.wait_until(outcome, "entry %d to show or a box" % index)

    def test_steps_through_every_hostile_file_and_keeps_running(self):
        program, window = self.start_viewer(self.pictures, self.folder_entry)
        first = self.x.title(window)
        count = int(re.search(r"\(1/(\d+) files\)$", first).group(1))
        listed = sorted(n for n in os.listdir(os.fsencode(self.pictures))
                        if n.upper().endswith(b".JPG"))
        self.assertEqual(count, len(listed) + 1)
        seen_captions = {first}
        seen_boxes = set()
        for index in list(range(2, count + 1)) + [1]:
            self.x.key("Right")
            kind, text, box = self.wait_outcome(program, window, index, count)
            if kind == "box":
                seen_boxes.add(text)
                self.x.activate(box)
                self.x.key("Return")
                self.x.wait_until_gone(box)
            else:
                seen_captions.add(text)
            self.assert_running(program)
        self.assertEqual(seen_boxes, set(self.expected_boxes.values()))
        shown = {re.match(r"Tess (.*) \[", c).group(1) for c in seen_captions}
        expected = {shown_path(os.path.join(self.pictures, os.fsdecode(n))) for n in listed}
        expected -= {p for p in self.expected_boxes}
        self.assertEqual(shown, expected)
        self.assertIn(shown_path(os.path.join(self.pictures, "n-\udcff\udcfe.JPG")), shown)
        self.assert_running(program)


class ManyFiles(ViewerCase):
    def test_twenty_thousand_files_in_one_folder(self):
        model = self.picture("model.jpeg", 64, 48)
        folder = os.path.join(self.pictures, "many")
        os.mkdir(folder)
        for i in range(20000):
            os.link(model, os.path.join(folder, "img%05d.JPG" % i))
        program, window = self.start_viewer(folder)
        self.assertEqual(self.x.title(window), "Tess %s [100.0%%](1/20000 files)"
                         % os.path.join(folder, "img00000.JPG"))
        self.x.key("Down")
        self.x.wait_title(window, "Tess %s [100.0%%](20000/20000 files)"
                          % os.path.join(folder, "img19999.JPG"))
        self.assert_running(program)


if __name__ == "__main__":
    unittest.main()
