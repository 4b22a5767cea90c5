"""The native version reader against GetFileVersionInfoA and VerQueryValueA under Wine.
version_probe.exe (through Win32System, as Setup.exe reads) and posix_version_probe
(through PosixSystem, as the native program reads) report every .dll and .exe of the test
prefix's system32 and syswow64 (PE files and, in syswow64, 16-bit NE files), and the NE
files that tests/fixtures/ne_version/make_ne.py writes; the reports must agree file by
file. One probe run per directory."""
import os
import subprocess
import sys
import unittest

import harness
from harness import E2ETest, require_wine

sys.path.insert(0, os.path.join(harness.SOURCE_DIR, "tests", "fixtures", "ne_version"))
import make_ne  # noqa: E402

POSIX_PROBE = os.environ.get("SETUP_POSIX_VERSION_PROBE", "")
NO_VERSION = "fixed=none\ttranslation=none\tFileVersion=none\tProductVersion=none"


def is_ne(path):
    with open(path, "rb") as f:
        head = f.read(64)
        if len(head) < 64 or head[:2] != b"MZ":
            return False
        f.seek(int.from_bytes(head[60:64], "little"))
        return f.read(2) == b"NE"


def parse(output):
    reports = {}
    for line in output.decode("ascii", "replace").splitlines():
        name, _, report = line.rstrip("\r").partition("\t")
        reports[name] = report
    return reports


class VersionWineTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_wine(self)
        if not POSIX_PROBE or not os.path.exists(POSIX_PROBE):
            self.skipTest("posix_version_probe not built")

    def probe(self, build):
        path = os.path.join(harness.FIXTURES[build], "version_probe", "version_probe.exe")
        if not harness.FIXTURES[build] or not os.path.exists(path):
            self.skipTest("version_probe.exe (%s) not built" % build)
        return path

    def compare(self, windows_dir, names, build):
        """Both reports of `names` in `windows_dir`; fails naming every difference."""
        list_file = self.ws.path("list-%s.txt" % build)
        with open(list_file, "w", encoding="utf-8") as f:
            f.write("".join(name + "\n" for name in names))
        env = dict(os.environ)
        env.update(harness.wine_env())
        wine = subprocess.run(["wine", self.probe(build), windows_dir, self.ws.winpath(list_file)],
                              env=env, cwd=self.ws.root, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=600)
        self.assertEqual(wine.returncode, 0)
        env = dict(os.environ, WINEPREFIX=harness.WINEPREFIX)
        native = subprocess.run([POSIX_PROBE, windows_dir, list_file], env=env,
                                stdout=subprocess.PIPE, timeout=600, check=True)
        wine_reports, native_reports = parse(wine.stdout), parse(native.stdout)
        self.assertEqual(sorted(wine_reports), sorted(names))
        differences = ["%s\n  Wine:   %s\n  native: %s"
                       % (n, wine_reports[n], native_reports.get(n))
                       for n in names if native_reports.get(n) != wine_reports[n]]
        self.assertFalse(differences, "%d of %d files in %s differ:\n%s"
                         % (len(differences), len(names), windows_dir, "\n".join(differences)))
        return native_reports

    def test_prefix_system_directories(self):
        # Each directory as the program of that build sees it: a 32-bit program's
        # system32 is syswow64.
        for directory, build in (("system32", "win64"), ("syswow64", "win32")):
            with self.subTest(directory=directory):
                posix_dir = os.path.join(harness.wine_c_drive(), "windows", directory)
                names = sorted(n for n in os.listdir(posix_dir)
                               if n.lower().endswith((".dll", ".exe"))
                               and os.path.isfile(os.path.join(posix_dir, n)))
                reports = self.compare("C:\\windows\\" + directory, names, build)
                versioned = [n for n in names if reports[n] != NO_VERSION]
                ne = [n for n in names if is_ne(os.path.join(posix_dir, n))]
                sys.stderr.write("%s: %d files agree, %d with a version resource, %d NE\n"
                                 % (directory, len(names), len(versioned), len(ne)))
                self.assertGreater(len(versioned), 50)
                if directory == "syswow64":
                    # A fresh prefix has dozens of 16-bit libraries there, five of them
                    # with a version resource.
                    self.assertGreaterEqual(len(ne), 10)
                    ne_versioned = [n for n in ne if "FileVersion=none" not in reports[n]]
                    for name in ("gdi.exe", "krnl386.exe", "ole2nls.dll", "shell.dll", "user.exe"):
                        self.assertIn(name, ne_versioned)

    def test_generated_ne_files(self):
        directory = self.ws.path("ne")
        make_ne.main(directory)
        names = sorted(os.listdir(directory))
        reports = self.compare(self.ws.winpath(directory), names, "win32")
        expected = {
            "ne_basic.dll": "FileVersion=3.10\tProductVersion=3.10.0.103",
            "ne_shift0.dll": "FileVersion=3.10\tProductVersion=3.10.0.103",
            "ne_lowercase.dll": "FileVersion=3.10\tProductVersion=3.10.0.103",
            "ne_cut.dll": "FileVersion=3.10\tProductVersion=3.10.0.103",
            # ANSI strings as stored, code page 932 included.
            "ne_japanese.exe": "FileVersion=1.0 \\x93\\xfa\\x96{\\x8c\\xea\\x94\\xc5\t"
                               "ProductVersion=\\x82Q\\x81D\\x82O \\x83\\x5c\\x83t\\x83g",
            # A string without its NUL runs on into the next node.
            "ne_nonul.dll": "FileVersion=1.00\\x18\tProductVersion=2.0",
            "ne_2ndlang.dll": "FileVersion=none\tProductVersion=none",
            "ne_noversion.dll": "FileVersion=none\tProductVersion=none",
            "ne_len52.dll": "FileVersion=none\tProductVersion=none",
        }
        self.assertEqual(sorted(expected), names)
        for name, strings in expected.items():
            self.assertTrue(reports[name].endswith(strings), (name, reports[name]))


if __name__ == "__main__":
    unittest.main()
