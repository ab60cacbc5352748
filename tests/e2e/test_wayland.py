"""A Wayland desktop with XWayland (weston, headless): the program runs as an X11 client
there, so that its windows are X11 windows that it may place and raise, and a second copy
can bring the first forward. Where weston places them is weston's choice, so positions are
checked under openbox (test_windows, test_selection), not here."""

import re
import unittest

import fixtures
import xsession
from test_instance import DUPLICATE_TEXT
from viewer_case import MAIN_MENU_KEYS, MENU_TITLE

PICK_TITLE = r"取出\[1\] サイズ\(\d+,\d+\)"


class WaylandDesktop(unittest.TestCase):
    # Weston's headless output has neither pointer nor keyboard, and XWayland ends when told
    # to move a pointer it does not have. So the pointer stays where XWayland put it, in the
    # middle of the screen, and a screen hardly larger than the main window makes sure it lies
    # over the main window wherever weston places that. Keys reach the context menu, which
    # grabs the keyboard; the duplicate-start box is confirmed through its accessible button.
    # Without a keyboard weston never gives an X11 window the input focus: XWayland's focus
    # follows the pointer, and the program may find itself inactive just as its menu opens,
    # which closes the menu (a program turning inactive closes its popups). So a menu that is
    # not found open is asked for again.
    WIDTH, HEIGHT = 640, 480

    def setUp(self):
        self.exe = xsession.executable_under_test()
        self.x = xsession.WestonSession(self.WIDTH, self.HEIGHT)
        self.addCleanup(self.x.stop)
        self.x.start()

    def choose(self, program, item):
        """Opens the main window's context menu at the pointer and chooses the item."""
        menu = xsession.repeat_until(
            lambda: self.x.run("xdotool", "click", "3"),
            lambda: self.x.find_window(re.escape(MENU_TITLE), program.pid),
            "the context menu")
        self.x.key(*MAIN_MENU_KEYS[item], "Return")
        self.x.wait_until_gone(menu)

    def watch_activation_requests(self):
        """Records the requests to the window manager to activate a window (the X11 form of
        raising one), as xev sees them on the root window. Returns a function that gives the
        ids of the windows asked for so far."""
        watcher = self.x.launch(["stdbuf", "-oL", "xev", "-root", "-event", "structure",
                                 "-event", "substructure"])

        def requested():
            return {str(int(wid, 16)) for wid in re.findall(
                r"ClientMessage event,[^\n]*window (0x[0-9a-f]+),\s*message_type \S+ "
                r"\(_NET_ACTIVE_WINDOW\)", watcher.log())}
        return requested

    def test_windows_are_x11_windows_and_a_second_copy_raises_the_first(self):
        picture = fixtures.write_jpeg(self.x.path("a.JPG"), 400, 300)
        first = self.x.launch([self.exe, picture])
        # Found on XWayland's display: as a native Wayland client it would have no window here.
        window = self.x.wait_window(r"Tess .*", pid=first.pid)
        self.choose(first, "範囲選択")
        self.choose(first, "取出表示")
        self.x.wait_window(PICK_TITLE, pid=first.pid)

        activation_requests = self.watch_activation_requests()
        second = self.x.launch([self.exe, picture])
        self.x.wait_window("tessaly", pid=second.pid)
        self.assertEqual(self.x.a11y.wait_message_box(second.pid), ("tessaly", DUPLICATE_TEXT))
        self.assertTrue(self.x.a11y.press(second.pid, "OK"))
        self.assertEqual(second.wait(), 0, second.log())
        xsession.wait_until(lambda: window in activation_requests(),
                            lambda: "the first copy to ask for its main window to be raised")
        self.assertTrue(first.running(), first.log())


if __name__ == "__main__":
    unittest.main()
