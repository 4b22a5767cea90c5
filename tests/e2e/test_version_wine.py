"""The native version reader against GetFileVersionInfoA and VerQueryValueA under Wine:
version_probe.exe and posix_version_probe report every .dll and .exe of the prefix's
system32 and syswow64 (16-bit NE files included) and the files of make_ne.py; the
reports must agree file by file."""
import os
import subprocess
import sys
import unittest

import harness
from harness import E2ETest, require_wine

sys.path.insert(0, os.path.join(harness.SOURCE_DIR, "tests", "fixtures", "ne_version"))
import make_ne  # noqa: E402

POSIX_PROBE = os.environ.get("SETUP_POSIX_VERSION_PROBE", "")


def parse(output):
    lines = output.decode("ascii", "replace").splitlines()
    return dict(line.rstrip("\r").partition("\t")[::2] for line in lines)


class VersionWineTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_wine(self)
        if not os.path.exists(POSIX_PROBE):
            self.skipTest("posix_version_probe not built")

    def compare(self, windows_dir, names, build):
        probe = os.path.join(harness.FIXTURES[build] or "", "version_probe", "version_probe.exe")
        if not os.path.exists(probe):
            self.skipTest("version_probe.exe (%s) not built" % build)
        list_file = self.ws.path("list-%s.txt" % build)
        with open(list_file, "w", encoding="utf-8") as f:
            f.write("".join(name + "\n" for name in names))
        wine = subprocess.run(["wine", probe, windows_dir, self.ws.winpath(list_file)],
                              env=dict(os.environ, **harness.wine_env()), cwd=self.ws.root,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=600, check=True)
        native = subprocess.run([POSIX_PROBE, windows_dir, list_file],
                                env=dict(os.environ, WINEPREFIX=harness.WINEPREFIX),
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
        # A 32-bit program's system32 is syswow64.
        for directory, build in (("system32", "win64"), ("syswow64", "win32")):
            with self.subTest(directory=directory):
                posix_dir = os.path.join(harness.wine_c_drive(), "windows", directory)
                names = sorted(n for n in os.listdir(posix_dir)
                               if n.lower().endswith((".dll", ".exe"))
                               and os.path.isfile(os.path.join(posix_dir, n)))
                reports = self.compare("C:\\windows\\" + directory, names, build)
                versioned = [n for n in names if "FileVersion=none" not in reports[n]]
                self.assertGreater(len(versioned), 50)
                if directory == "syswow64":  # its 16-bit libraries with a version resource
                    for name in ("gdi.exe", "krnl386.exe", "ole2nls.dll", "shell.dll", "user.exe"):
                        self.assertIn(name, versioned)

    def test_generated_ne_files(self):
        directory = self.ws.path("ne")
        make_ne.main(directory)
        expected = {name: strings for name, _, strings in make_ne.cases()}
        reports = self.compare(self.ws.winpath(directory), sorted(expected), "win32")
        for name, strings in expected.items():
            self.assertTrue(reports[name].endswith(strings), (name, reports[name]))


if __name__ == "__main__":
    unittest.main()
