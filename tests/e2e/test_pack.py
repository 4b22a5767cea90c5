"""The single-file installer, natively: `setup --pack DIR -o FILE.exe` checks the script
and writes one file; `setup FILE.exe` installs from it exactly what DIR installs (files
byte for byte with their times, the same transcript); `setup --check FILE.exe` checks its
script; a tampered package ends start-up with 3 and installs nothing."""
import os
import shutil
import subprocess
import unittest

import harness
import pack_support as ps


class PackTest(harness.E2ETest):
    def setUp(self):
        super().setUp()
        harness.require_native(self)
        self.loader = dict(harness.WIN_EXES)["win32"]
        if not self.loader:
            self.skipTest("no Setup.exe to pack with")

    def setup(self, *argv):
        env = {k: v for k, v in os.environ.items() if not k.startswith("SETUP_")}
        env["WINEPREFIX"] = self.ws.prefix
        return subprocess.run([harness.NATIVE] + list(argv), env=env, cwd=self.ws.root,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)

    def install(self, source, log):
        return self.setup("--silent", "--log=" + self.ws.path(log), source), self.ws.read(log)

    def test_a_package_installs_what_its_directory_installs(self):
        demo, exe = ps.packed_demo(self)
        self.assertEqual(os.path.getsize(exe) % 8, 0)
        app = os.path.join(self.ws.drive_c, "DemoApp")
        direct, direct_log = self.install(demo, "direct.jsonl")
        self.assertEqual(direct.returncode, 0, direct.stderr)
        installed = ps.tree(app)
        os.rename(app, self.ws.path("first"))
        packed, packed_log = self.install(exe, "packed.jsonl")
        self.assertEqual((packed.returncode, packed.stderr), (0, b""))
        self.assertEqual(packed_log, direct_log)
        self.assertEqual(ps.tree(app), installed)
        # BinCopy keeps the source's time, from the package as from the directory.
        self.assertTrue(ps.same_time(os.path.join(app, "app.dat"), os.path.join(demo, "files", "app.dat")))
        self.assertFalse(os.path.exists(self.ws.path("Setup.Inf")))  # nothing extracted

    def test_check_reads_the_packed_script(self):
        demo, exe = ps.packed_demo(self)
        self.assertEqual(self.setup("--check", exe).returncode, 0)
        with open(os.path.join(demo, "Setup.Inf"), "ab") as f:
            f.write(b"Bogus\r\n")
        proc = ps.pack(self.ws, demo, self.ws.path("bad.exe"))
        self.assertEqual(proc.returncode, 1)
        self.assertIn(b"error", proc.stderr)
        self.assertIn(b"nothing was packed", proc.stderr)
        self.assertFalse(os.path.exists(self.ws.path("bad.exe")))

    def test_a_tampered_package_or_a_plain_setup_exe_installs_nothing(self):
        _, exe = ps.packed_demo(self)
        damaged = (b"is damaged or incomplete (",
                   b"); nothing was installed. Get it again from where it came from")
        cases = [(what, bad, damaged) for what, bad in ps.tampered(self.ws, exe)]
        cases.append(("a plain Setup.exe", self.loader,
                      (b"is a program, not an installer made by --pack",)))
        for what, bad, messages in cases:
            with self.subTest(what):
                proc = self.setup("--silent", bad)
                self.assertEqual(proc.returncode, 3)
                for message in messages:
                    self.assertIn(message, proc.stderr)
                self.assertEqual(os.listdir(self.ws.drive_c), ["windows"])

    def test_odd_names_and_every_checked_disk_are_in_the_package(self):
        self.ws.write("prog/DISK2.TAG", b"")
        self.ws.write("prog/d2.dat", b"disk 2")
        data = ps.table_name_prog(self.ws, "T", "DiskCheck DISK2.TAG Insert disk 2\n"
                                  "BinCopy $$FD$$\\d2.dat $$SETUPDIR$$\\d2.dat\n")
        exe = self.ws.path("t.exe")
        self.assertEqual(ps.pack(self.ws, self.ws.prog, exe).returncode, 0)
        proc, transcript = self.install(exe, "t.jsonl")
        self.assertEqual((proc.returncode, proc.stderr), (0, b""))
        self.assertNotIn(b"DiskDialog", transcript)
        self.assertEqual(self.ws.read("prefix/drive_c/T/%s.dat" % ps.TABLE_NAME), data)
        self.assertEqual(self.ws.read("prefix/drive_c/T/d2.dat"), b"disk 2")

    def test_the_loader_is_found_where_make_install_puts_it(self):
        setup = self.ws.path("inst", "bin", "setup")
        os.makedirs(os.path.dirname(setup))
        shutil.copy(harness.NATIVE, setup)
        demo = self.ws.path("demo")  # packed below, by the installed program only
        shutil.copytree(ps.DEMO, demo)
        for extra, (build, exe) in zip(([], ["--win64"]), harness.WIN_EXES):
            if not exe:
                continue
            os.makedirs(self.ws.path("inst", "share", "setup", build))
            shutil.copy(exe, self.ws.path("inst", "share", "setup", build, "Setup.exe"))
            out = self.ws.path(build + ".exe")
            proc = subprocess.run([setup, "--pack", demo, "-o", out] + extra,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            with open(out, "rb") as f, open(exe, "rb") as g:
                loader = g.read()
                self.assertEqual(f.read(len(loader)), loader)


if __name__ == "__main__":
    unittest.main()
