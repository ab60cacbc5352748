"""One copy per user: the duplicate-start box, the first copy brought forward, and a lock
left by a killed copy taken over."""

import unittest

import xsession
from viewer_case import ViewerCase, caption

DUPLICATE_TEXT = "Tessaly は二重起動できません"


class SecondStart(ViewerCase):
    def setUp(self):
        super().setUp()
        self.first_path = self.picture("first.JPG", 400, 300)
        self.other_path = self.picture("other.JPG", 200, 100)
        self.first_caption = caption(self.first_path, "100.0", 1, 1)

    def second_start(self):
        """Starts a second copy, checks its box and confirms it; returns the copy."""
        second = self.x.launch([self.exe, self.other_path])
        box = self.x.wait_window("tessaly", pid=second.pid)
        title, text = self.x.a11y.wait_message_box(second.pid)
        self.assertEqual((title, text), ("tessaly", DUPLICATE_TEXT))
        # No window of the second copy but its box.
        self.assertEqual([wid for wid, _ in self.x.windows(second.pid)], [box])
        self.x.activate(box)
        self.x.key("Return")
        self.assertEqual(second.wait(), 0, second.log())
        return second

    def test_second_copy_shows_the_box_then_raises_the_first_and_ends(self):
        first, window = self.start_viewer(self.first_path)
        self.second_start()
        xsession.wait_until(lambda: self.x.active_window() == window,
                            "the first copy's window to be active")
        # The second copy's file is not handed over.
        self.assertEqual(self.x.title(window), self.first_caption)
        self.assert_running(first)

    def test_a_minimised_first_copy_is_restored(self):
        first, window = self.start_viewer(self.first_path)
        self.x.run("xdotool", "windowminimize", "--sync", window)
        # The window manager unmaps it on its own time, after xdotool has returned.
        xsession.wait_until(lambda: not self.x.visible(window), "the first copy to be minimised")
        self.second_start()
        xsession.wait_until(lambda: self.x.visible(window), "the first copy to be restored")
        xsession.wait_until(lambda: self.x.active_window() == window,
                            "the first copy's window to be active")
        self.assert_running(first)

    def test_a_start_after_the_first_was_killed_becomes_the_first_copy(self):
        first, window = self.start_viewer(self.first_path)
        xsession.kill(first)
        self.x.wait_until_gone(window)
        again, new_window = self.start_viewer(self.other_path)
        self.assertEqual(self.x.title(new_window), caption(self.other_path, "100.0", 1, 1))
        self.assertEqual(self.x.a11y.message_boxes(again.pid), [])
        # And it holds the lock again: a further start is the duplicate.
        self.second_start()
        self.assert_running(again)

    def test_a_start_after_the_first_ended_normally_becomes_the_first_copy(self):
        first, window = self.start_viewer(self.first_path)
        self.choose(window, "おわり")
        self.assertEqual(first.wait(), 0, first.log())
        again, new_window = self.start_viewer(self.other_path)
        self.assertEqual(self.x.title(new_window), caption(self.other_path, "100.0", 1, 1))
        self.assert_running(again)


if __name__ == "__main__":
    unittest.main()
