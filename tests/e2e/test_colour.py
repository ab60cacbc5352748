"""Photos as they were taken: a picture stored on its side is shown upright, and a picture
with a colour profile in the display's colours, with and without a display profile published
on the root window."""

import os
import socket
import struct
import unittest

import exif_block
import fixtures
import xsession
from viewer_case import ViewerCase, caption

# colord-data's profile of sRGB with red and green exchanged: its effect no eye can miss.
SWAPPED = "/usr/share/color/icc/colord/SwappedRedAndGreen.icc"
# A red picture: shown through the swapped profile it turns green.
RED = (200, 60, 40)
GREEN = (60, 200, 40)


def read_exactly(connection, size):
    data = b""
    while len(data) < size:
        chunk = connection.recv(size - len(data))
        if not chunk:
            raise OSError("the X server closed the connection")
        data += chunk
    return data


def set_root_profile(display, profile):
    """Publishes `profile` in the root window's _ICC_PROFILE property (CARDINAL, format 8), as
    colord and xiccd do, speaking the X protocol over the display's socket."""
    with socket.socket(socket.AF_UNIX) as connection:
        connection.connect("/tmp/.X11-unix/X" + display.lstrip(":").split(".")[0])
        connection.sendall(struct.pack("<BxHHHHxx", ord("l"), 11, 0, 0, 0))
        head = read_exactly(connection, 8)
        if head[0] != 1:
            raise OSError("the X server refused the connection")
        setup = read_exactly(connection, struct.unpack_from("<H", head, 6)[0] * 4)
        vendor_length = struct.unpack_from("<H", setup, 16)[0]
        formats = setup[21]
        root = struct.unpack_from("<I", setup, 32 + (vendor_length + 3) // 4 * 4 + 8 * formats)[0]
        name = b"_ICC_PROFILE"
        padded = name + b"\0" * (-len(name) % 4)
        connection.sendall(struct.pack("<BBHHxx", 16, 0, 2 + len(padded) // 4, len(name))
                           + padded)
        atom = struct.unpack_from("<I", read_exactly(connection, 32), 8)[0]
        data = profile + b"\0" * (-len(profile) % 4)
        cardinal = 6
        connection.sendall(struct.pack("<BBHIIIBxxxI", 18, 0, 6 + len(data) // 4, root, atom,
                                       cardinal, 8, len(profile)) + data)
        # A round trip, so the property is set before the connection closes.
        connection.sendall(struct.pack("<BBHHxx", 16, 0, 2 + len(padded) // 4, len(name))
                           + padded)
        read_exactly(connection, 32)


def insert_segments(path, segments):
    with open(path, "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        f.write(data[:2] + b"".join(segments) + data[2:])


def icc_segment(profile):
    payload = b"ICC_PROFILE\0" + bytes((1, 1)) + profile
    return b"\xff\xe2" + struct.pack(">H", len(payload) + 2) + payload


def orientation_segment(code):
    tiff = b"II*\0" + struct.pack("<I", 8) + exif_block._ifd([(274, exif_block.SHORT, code)], 8)
    payload = b"Exif\0\0" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload


@unittest.skipUnless(os.path.exists(SWAPPED), "colord-data's profiles are not installed")
class OrientationAndColour(ViewerCase):
    def setUp(self):
        super().setUp()
        with open(SWAPPED, "rb") as f:
            self.profile = f.read()

    def write(self, name, segments):
        """A 300 x 200 red picture with these marker segments."""
        path = self.picture(name, 300, 200, quality=95, rgb=RED)
        insert_segments(path, segments)
        return path

    def shown(self, window, colour):
        """The size of the box around the window's pixels within 12 levels of `colour`."""
        width, height, rgb = self.x.window_pixels(window)
        xs, ys = [], []
        for y in range(height):
            row = rgb[3 * width * y:3 * width * (y + 1)]
            for x in range(width):
                if all(abs(row[3 * x + i] - colour[i]) <= 12 for i in range(3)):
                    xs.append(x)
                    ys.append(y)
        if not xs:
            return None
        return max(xs) - min(xs) + 1, max(ys) - min(ys) + 1

    def test_turned_upright_and_converted_without_a_display_profile(self):
        path = self.write("turned.jpg", [orientation_segment(6), icc_segment(self.profile)])
        program, window = self.start_viewer(path)
        self.x.wait_title(window, caption(path, "100.0", 1, 1))
        self.assertEqual(self.shown(window, GREEN), (200, 300))
        self.assert_running(program)

    def test_as_stored_keeps_the_stored_layout(self):
        path = self.write("turned.jpg", [orientation_segment(6)])
        program, window = self.start_viewer("--as-stored", path)
        self.x.wait_title(window, caption(path, "100.0", 1, 1))
        self.assertEqual(self.shown(window, RED), (300, 200))
        self.assert_running(program)

    def test_converted_to_the_display_profile_on_the_root_window(self):
        set_root_profile(self.x.env["DISPLAY"], self.profile)
        plain = self.write("a-plain.jpg", [])
        tagged = self.write("b-tagged.jpg", [icc_segment(self.profile)])
        program, window = self.start_viewer(plain, tagged)
        # An sRGB picture on the swapped display turns green; one in the display's own
        # profile is shown as decoded.
        self.x.wait_title(window, caption(plain, "100.0", 1, 2))
        self.assertEqual(self.shown(window, GREEN), (300, 200))
        self.x.key("Right")
        self.x.wait_title(window, caption(tagged, "100.0", 2, 2))
        self.assertEqual(self.shown(window, RED), (300, 200))
        self.assert_running(program)

    def test_a_cut_off_display_profile_is_reported_once_in_the_programs_words(self):
        set_root_profile(self.x.env["DISPLAY"], self.profile[:len(self.profile) // 2])
        plain = self.write("plain.jpg", [])
        program, window = self.start_viewer(plain)
        self.x.wait_title(window, caption(plain, "100.0", 1, 1))
        xsession.wait_until(lambda: "colour profile is not used" in program.log(),
                            lambda: "the report of the display's profile\n" + program.log())
        self.assertEqual(program.log().count("display's colour profile is not used"), 1,
                         program.log())
        self.assertNotIn("qt.gui.icc", program.log())
        self.assert_running(program)


if __name__ == "__main__":
    unittest.main()
