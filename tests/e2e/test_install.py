"""The program as people install it: `make install` into a scratch prefix (DESTDIR), and
`make deb` unpacked with dpkg-deb; in each the files where they belong, the man page
setup(1) that `man -l` shows, and the installed program run for real into a scratch
Wine prefix."""
import glob
import os
import re
import subprocess
import unittest

import harness

SCRIPT = "SetupDir C:\\App \nMakeDir \"$$SETUPDIR$$\"\n"
VERSION = re.search(r"project\(setup VERSION ([0-9.]+)",
                    open(os.path.join(harness.SOURCE_DIR, "CMakeLists.txt")).read()).group(1)
OPTIONS = ["--silent", "--dest", "--answers", "--log", "--prefix", "--ui", "--check", "--help",
           "--version"]
# Below the prefix: (path, whether it is the program, the source file it is a copy of).
FILES = [
    ("bin/setup", True, None),
    ("share/doc/setup/manual.md", False, "docs/manual.md"),
    ("share/doc/setup/script.md", False, "docs/script.md"),
    ("share/man/man1/setup.1", False, None),
    ("share/setup/win32/Setup.exe", False, "build/win32/Setup.exe"),
    ("share/setup/win64/Setup.exe", False, "build/win64/Setup.exe"),
]


def clean_environment():
    """The environment without what an enclosing make passes down (its job server)."""
    return {k: v for k, v in os.environ.items() if k not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL")}


class InstallTest(harness.E2ETest):
    def setUp(self):
        super().setUp()
        harness.require_native(self)
        self.ws.script(SCRIPT)

    def make(self, *words):
        proc = subprocess.run(["make", "-C", harness.SOURCE_DIR] + list(words), env=clean_environment(),
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=1500)
        self.assertEqual(proc.returncode, 0, (proc.stdout + proc.stderr).decode("utf-8", "replace"))
        return proc.stdout.decode("utf-8", "replace")

    def check_files(self, root):
        for path, program, source in FILES:
            with self.subTest(path):
                full = os.path.join(root, path)
                self.assertTrue(os.path.isfile(full), full)
                if program:
                    self.assertTrue(os.access(full, os.X_OK))
                if source:
                    with open(full, "rb") as a, open(os.path.join(harness.SOURCE_DIR, source), "rb") as b:
                        self.assertEqual(a.read(), b.read())

    def check_man_page(self, page):
        env = dict(clean_environment(), MANWIDTH="80", LANG="C.UTF-8")
        proc = subprocess.run(["man", "-l", page], env=env, capture_output=True, timeout=60)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        text = re.sub(r".\x08", "", proc.stdout.decode("utf-8", "replace")).replace("\u2010", "-")
        self.assertIn("SETUP(1)", text)
        self.assertIn("setup [OPTION]... [DIR]", text)
        for option in OPTIONS:
            self.assertIn(option, text)

    def check_program(self, program, doc_dir):
        """--version, --help naming the installed manual, and a real run of a program
        directory into the workspace's Wine prefix."""
        env = dict(clean_environment(), WINEPREFIX=self.ws.prefix)
        for name in ("SETUP_UI", "SETUP_ANSWERS", "SETUP_TRANSCRIPT"):
            env.pop(name, None)
        run = lambda words: subprocess.run([program] + words, env=env, cwd=self.ws.root,
                                           stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        version = run(["--version"])
        self.assertEqual(version.returncode, 0)
        self.assertRegex(version.stdout.decode(), r"^setup %s\nCopyright \(C\) \d{4} .+\n$" % re.escape(VERSION))
        usage = run(["--help"]).stdout.decode()
        self.assertIn("Full documentation: man setup, and %s/manual.md.\n" % doc_dir, usage)
        log = self.ws.path("install.jsonl")
        proc = run(["--silent", "--log=" + log, self.ws.prog])
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertTrue(os.path.isdir(os.path.join(self.ws.drive_c, "App")))
        with open(log, encoding="utf-8") as f:
            self.assertEqual(harness.Result(0, f.read(), "").kinds()[-1], "FinishDialog")

    def test_make_install_into_a_scratch_prefix(self):
        prefix = "/opt/setup-install-test"
        dest = self.ws.path("dest")
        self.make("install", "PREFIX=" + prefix, "DESTDIR=" + dest)
        root = dest + prefix
        self.check_files(root)
        self.check_man_page(os.path.join(root, "share/man/man1/setup.1"))
        self.check_program(os.path.join(root, "bin/setup"), prefix + "/share/doc/setup")

    def test_debian_package_unpacked(self):
        self.make("deb")
        packages = glob.glob(os.path.join(harness.SOURCE_DIR, "build", "deb", "setup_%s_*.deb" % VERSION))
        self.assertEqual(len(packages), 1, packages)
        fields = subprocess.run(["dpkg-deb", "-f", packages[0], "Package", "Version", "Depends"],
                                capture_output=True, check=True).stdout.decode()
        self.assertIn("Package: setup\n", fields)
        self.assertIn("Version: %s\n" % VERSION, fields)
        self.assertIn("libc6", fields)
        unpacked = self.ws.path("unpacked")
        subprocess.run(["dpkg-deb", "-x", packages[0], unpacked], check=True)
        root = os.path.join(unpacked, "usr")
        self.check_files(root)
        self.check_man_page(os.path.join(root, "share/man/man1/setup.1"))
        self.check_program(os.path.join(root, "bin/setup"), "/usr/share/doc/setup")


if __name__ == "__main__":
    unittest.main()
