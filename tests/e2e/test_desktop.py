"""The program installed into a prefix as a desktop program: its files, the menu entry that
file managers offer for JPEG files, and the start from that entry."""

import configparser
import os
import shlex
import shutil
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

import xsession
from viewer_case import ViewerCase, caption
from test_commands import README_TITLE

MISSING_README = "『readme.txt』はどこに行ってしまったんでしょう？困りましたね/(\\\\);"


def build_dir():
    path = os.environ.get("TESSALY_BUILD_DIR", "")
    if not path or not os.path.isfile(os.path.join(path, "CMakeCache.txt")):
        raise unittest.SkipTest("TESSALY_BUILD_DIR does not name a build folder")
    return path


class InstalledProgram(ViewerCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="tessaly-prefix-")
        result = subprocess.run(["cmake", "--install", build_dir(), "--prefix", cls.prefix],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode != 0:
            shutil.rmtree(cls.prefix, ignore_errors=True)
            raise AssertionError("cmake --install failed:\n" + result.stdout.decode())

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.prefix, ignore_errors=True)

    def installed(self, *parts):
        return os.path.join(self.prefix, *parts)

    def desktop_entry(self):
        parser = configparser.ConfigParser(interpolation=None, strict=True)
        parser.optionxform = str  # keys are case-sensitive
        parser.read(self.installed("share", "applications", "tessaly.desktop"),
                    encoding="utf-8")
        return parser["Desktop Entry"]

    def test_files_land_in_the_prefix(self):
        for parts in (("bin", "tessaly"), ("bin", "tessaly-cli")):
            self.assertTrue(os.access(self.installed(*parts), os.X_OK), parts)
        # The readme lies in the data folder, and the binary folder holds only programs.
        with open(self.installed("share", "tessaly", "TESSreadme.txt"), "rb") as f:
            self.assertTrue(f.read().startswith(b"{\\rtf1"))
        self.assertEqual(sorted(os.listdir(self.installed("bin"))), ["tessaly", "tessaly-cli"])
        icon = ElementTree.parse(self.installed("share", "icons", "hicolor", "scalable", "apps",
                                                "tessaly.svg"))
        self.assertTrue(icon.getroot().tag.endswith("svg"))
        for page in ("tessaly.1.gz", "tessaly-cli.1.gz"):
            path = self.installed("share", "man", "man1", page)
            result = subprocess.run(["man", "--warnings", "-l", "-E", "UTF-8", path],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                    env=dict(os.environ, MANPAGER="cat", MANWIDTH="80"))
            self.assertEqual((result.returncode, result.stderr.decode()), (0, ""), page)

    def test_desktop_entry_offers_the_viewer_for_jpeg_files(self):
        entry = self.desktop_entry()
        self.assertEqual(entry["Type"], "Application")
        self.assertIn("image/jpeg", entry["MimeType"].split(";"))
        self.assertEqual(entry["Icon"], "tessaly")
        self.assertEqual(shlex.split(entry["Exec"])[0], "tessaly")
        if shutil.which("desktop-file-validate"):
            result = subprocess.run(
                ["desktop-file-validate",
                 self.installed("share", "applications", "tessaly.desktop")],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            self.assertEqual((result.returncode, result.stdout.decode()), (0, ""))

    def launch_from_entry(self, files):
        """Runs the entry's command line as a launcher does: field codes expanded, the
        program found on the PATH."""
        argv = []
        for word in shlex.split(self.desktop_entry()["Exec"]):
            if word in ("%F", "%U"):
                argv += files
            elif word in ("%f", "%u"):
                argv += files[:1]
            elif not (len(word) == 2 and word[0] == "%"):
                argv.append(word)
        path = self.installed("bin") + os.pathsep + self.x.env["PATH"]
        executable = shutil.which(argv[0], path=path)
        self.assertEqual(executable, self.installed("bin", "tessaly"))
        return self.x.launch([executable] + argv[1:], extra_env={"PATH": path})

    def test_starts_from_its_desktop_entry_and_finds_its_readme(self):
        photo = self.picture("photo.JPG", 400, 300)
        program = self.launch_from_entry([photo])
        window = self.x.wait_window(r"Tess .*", pid=program.pid)
        self.assertEqual(self.x.title(window), caption(photo, "100.0", 1, 1))
        self.x.activate(window)
        self.choose(window, "ヘルプ")
        self.x.wait_window(README_TITLE, pid=program.pid)
        shown = xsession.wait_until(
            lambda: [t for _, role, _, t in self.x.a11y.nodes(program.pid, with_text=True)
                     if role == "text" and t.strip()],
            "the readme text")
        self.assertNotEqual(shown[0].strip(), MISSING_README)
        self.assertTrue(shown[0].startswith("Tessaly"), shown[0][:80])
        self.assert_running(program)

    def test_help_and_version_print_and_end_without_a_window_or_the_lock(self):
        photo = self.picture("photo.JPG", 400, 300)
        first = self.launch_from_entry([photo])
        window = self.x.wait_window(r"Tess .*", pid=first.pid)
        exe = self.installed("bin", "tessaly")
        env = dict(self.x.env)
        for argument, expected in (("--help", "Usage: tessaly"), ("--version", "tessaly 0.1")):
            for display in (env["DISPLAY"], None):
                run_env = dict(env)
                if display is None:
                    del run_env["DISPLAY"]
                result = subprocess.run([exe, argument], env=run_env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, timeout=xsession.WAIT_SECONDS)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertTrue(result.stdout.decode().startswith(expected))
        # No duplicate-start box came up, and the first copy still holds the lock.
        self.assertEqual([wid for wid, _ in self.x.windows(first.pid)], [window])
        second = self.x.launch([exe, photo])
        self.x.wait_window("tessaly", pid=second.pid)
        self.x.key("Return")
        self.assertEqual(second.wait(), 0)
        self.assert_running(first)


if __name__ == "__main__":
    unittest.main()
