"""The Debian package as scripts/build-deb.sh builds it: the files it holds, its control
fields, the version its texts name, and the verdicts of lintian, desktop-file-validate and
appstreamcli on it.

Usage: python3 check_deb.py PACKAGE.deb   (exit status 0 when every check passed)
"""

import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
METAINFO = "usr/share/metainfo/invalid.tessaly.tessaly.metainfo.xml"
DESKTOP_ENTRY = "usr/share/applications/tessaly.desktop"
MANUALS = ("usr/share/man/man1/tessaly.1.gz", "usr/share/man/man1/tessaly-cli.1.gz")
PROGRAMS = ("usr/bin/tessaly", "usr/bin/tessaly-cli")
DATA_FILES = (
    "usr/share/applications/tessaly.desktop",
    "usr/share/doc/tessaly/changelog.gz",
    "usr/share/doc/tessaly/copyright",
    "usr/share/icons/hicolor/scalable/apps/tessaly.svg",
    METAINFO,
    "usr/share/tessaly/TESSreadme.txt",
) + MANUALS
# What dpkg-shlibdeps finds the programs link (a few of them), and the data the viewer loads
# that no binary links.
LINKED = ("libc6", "libjpeg62-turbo", "libturbojpeg0", "libqt6core6", "libqt6gui6", "libqt6widgets6")
DATA_PACKAGES = ("fonts-ipafont-gothic", "qt6-translations-l10n")

package = None


def run(argv):
    """The command's exit code and its output and error output together."""
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return result.returncode, result.stdout.decode()


def project_version():
    with open(os.path.join(SOURCE, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(Tessaly VERSION (\S+)", f.read()).group(1)


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="tessaly-deb-")
        subprocess.run(["dpkg-deb", "-x", package, cls.root], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def field(self, name):
        return subprocess.run(["dpkg-deb", "-f", package, name], check=True,
                              stdout=subprocess.PIPE).stdout.decode().strip()

    def unpacked(self, path):
        return os.path.join(self.root, path)

    def test_holds_the_programs_and_their_data_and_nothing_else(self):
        listing = subprocess.run(["dpkg-deb", "-c", package], check=True,
                                 stdout=subprocess.PIPE).stdout.decode().splitlines()
        entries = {}
        for line in listing:
            mode, owner, _, _, _, path = line.split(None, 5)
            entries[path.removeprefix("./").rstrip("/")] = (mode, owner)
        files = {path: mode for path, (mode, _) in entries.items() if not mode.startswith("d")}
        expected = dict.fromkeys(PROGRAMS, "-rwxr-xr-x")
        expected.update(dict.fromkeys(DATA_FILES, "-rw-r--r--"))
        self.assertEqual(files, expected)
        for path, (mode, owner) in entries.items():
            self.assertEqual(owner, "root/root", path)
            if mode.startswith("d"):
                self.assertEqual(mode, "drwxr-xr-x", path)

    def test_name_version_and_computed_dependencies(self):
        version = project_version()
        architecture = subprocess.run(["dpkg", "--print-architecture"], check=True,
                                      stdout=subprocess.PIPE).stdout.decode().strip()
        self.assertEqual(self.field("Package"), "tessaly")
        self.assertEqual(self.field("Version"), version)
        self.assertEqual(self.field("Architecture"), architecture)
        self.assertEqual(os.path.basename(package), f"tessaly_{version}_{architecture}.deb")
        depends = {d.split()[0]: d for d in self.field("Depends").split(", ")}
        for name in LINKED:
            # Versioned, as only dpkg-shlibdeps writes them.
            self.assertRegex(depends.get(name, ""), r"^\S+ \(>= [^)]+\)$", name)
        for name in DATA_PACKAGES:
            self.assertIn(name, depends)

    def test_changelog_metainfo_and_manuals_name_the_package_version(self):
        version = project_version()
        with gzip.open(self.unpacked("usr/share/doc/tessaly/changelog.gz"), "rt") as f:
            self.assertEqual(f.readline().split()[:2], ["tessaly", f"({version})"])
        releases = ElementTree.parse(self.unpacked(METAINFO)).getroot().find("releases")
        self.assertEqual(releases[0].get("version"), version)
        for manual in MANUALS:
            with gzip.open(self.unpacked(manual), "rt", encoding="utf-8") as f:
                heading = next(line for line in f if line.startswith(".TH"))
            self.assertIn(f'"Tessaly {version}"', heading, manual)

    def test_lintian_reports_no_error_and_no_warning(self):
        code, report = run(["lintian", "--display-info", "--pedantic", package])
        print("\nlintian:\n" + report, file=sys.stderr)
        findings = [line for line in report.splitlines() if re.match(r"[EW]: ", line)]
        self.assertEqual((code, findings), (0, []))

    def test_desktop_entry_and_appstream_metadata_validate(self):
        self.assertEqual(run(["desktop-file-validate", self.unpacked(DESKTOP_ENTRY)]), (0, ""))
        code, report = run(["appstreamcli", "validate", "--no-net", self.unpacked(METAINFO)])
        self.assertEqual(code, 0, report)
        # The installed tree as a whole: the metadata's launchable names the desktop entry
        # the package holds.
        code, report = run(["appstreamcli", "validate-tree", "--no-net", self.root])
        self.assertEqual(code, 0, report)


def main():
    global package
    if len(sys.argv) != 2:
        print("usage: check_deb.py PACKAGE.deb", file=sys.stderr)
        return 2
    package = os.path.abspath(sys.argv[1])
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(DebianPackage)
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
