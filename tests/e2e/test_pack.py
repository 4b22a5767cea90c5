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
        if not dict(harness.WIN_EXES)["win32"]:
            self.skipTest("no Setup.exe to pack with")

    def setup(self, *argv):
        env = {k: v for k, v in os.environ.items() if not k.startswith("SETUP_")}
        env["WINEPREFIX"] = self.ws.prefix
        return subprocess.run([harness.NATIVE] + list(argv), env=env, cwd=self.ws.root,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)

    def install(self, source, log):
        proc = self.setup("--silent", "--log=" + log, source)
        with open(log, "rb") as f:
            transcript = f.read()
        return proc, transcript

    def packed_demo(self):
        demo = ps.copy_demo(self.ws)
        exe = self.ws.path("demo-setup.exe")
        proc = ps.pack(self.ws, demo, exe)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        return demo, exe

    def test_a_package_installs_what_its_directory_installs(self):
        demo, exe = self.packed_demo()
        self.assertEqual(os.path.getsize(exe) % 8, 0)
        direct, direct_log = self.install(demo, self.ws.path("direct.jsonl"))
        self.assertEqual(direct.returncode, 0, direct.stderr)
        installed = ps.tree(os.path.join(self.ws.drive_c, "DemoApp"))
        os.rename(os.path.join(self.ws.drive_c, "DemoApp"), self.ws.path("first"))
        packed, packed_log = self.install(exe, self.ws.path("packed.jsonl"))
        self.assertEqual((packed.returncode, packed.stderr), (0, b""))
        self.assertEqual(packed_log, direct_log)
        self.assertEqual(ps.tree(os.path.join(self.ws.drive_c, "DemoApp")), installed)
        # BinCopy keeps the source's time, from the package as from the directory.
        self.assertTrue(ps.same_time(os.path.join(self.ws.drive_c, "DemoApp", "app.dat"),
                                     os.path.join(demo, "files", "app.dat")))
        # Nothing of the package was extracted anywhere.
        self.assertFalse(os.path.exists(self.ws.path("Setup.Inf")))

    def test_check_reads_the_packed_script(self):
        demo, exe = self.packed_demo()
        self.assertEqual(self.setup("--check", exe).returncode, 0)
        with open(os.path.join(demo, "Setup.Inf"), "ab") as f:
            f.write(b"Bogus\r\n")
        proc = ps.pack(self.ws, demo, self.ws.path("bad.exe"))
        self.assertEqual(proc.returncode, 1)
        self.assertIn(b"error", proc.stderr)
        self.assertIn(b"nothing was packed", proc.stderr)
        self.assertFalse(os.path.exists(self.ws.path("bad.exe")))

    def test_a_tampered_package_installs_nothing(self):
        _, exe = self.packed_demo()
        with open(exe, "rb") as f:
            data = f.read()
        for what, changed in ps.tampered(data):
            with self.subTest(what):
                bad = self.ws.path("bad.exe")
                with open(bad, "wb") as f:
                    f.write(changed)
                proc = self.setup("--silent", bad)
                self.assertEqual(proc.returncode, 3)
                self.assertIn(b"is damaged or incomplete", proc.stderr)
                self.assertIn(b"nothing was installed", proc.stderr)
                self.assertEqual(os.listdir(self.ws.drive_c), ["windows"])

    def test_names_whose_second_byte_is_a_backslash(self):
        prog = self.ws.prog
        name = ps.TABLE_NAME
        os.makedirs(os.path.join(prog, name))
        self.ws.write("prog/%s/%s.dat" % (name, name), b"table\x5c\x00data")
        self.ws.script("SetupDir C:\\T \nMakeDir $$SETUPDIR$$\n"
                       "BinCopy $$FD$$\\%s\\%s.dat $$SETUPDIR$$\\%s.dat\n" % (name, name, name))
        exe = self.ws.path("t.exe")
        self.assertEqual(ps.pack(self.ws, prog, exe).returncode, 0)
        proc = self.setup("--silent", exe)
        self.assertEqual((proc.returncode, proc.stderr), (0, b""))
        self.assertEqual(self.ws.read("prefix/drive_c/T/%s.dat" % name), b"table\x5c\x00data")

    def test_every_disk_checked_in_the_package_is_there(self):
        self.ws.write("prog/DISK2.TAG", b"")
        self.ws.write("prog/d2.dat", b"disk 2")
        self.ws.script("SetupDir C:\\D \nMakeDir $$SETUPDIR$$\n"
                       "DiskCheck DISK2.TAG Insert disk 2\n"
                       "BinCopy $$FD$$\\d2.dat $$SETUPDIR$$\\d2.dat\n")
        exe = self.ws.path("d.exe")
        self.assertEqual(ps.pack(self.ws, self.ws.prog, exe).returncode, 0)
        log = self.ws.path("d.jsonl")
        proc, transcript = self.install(exe, log)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertNotIn(b"DiskDialog", transcript)
        self.assertEqual(self.ws.read("prefix/drive_c/D/d2.dat"), b"disk 2")

    def test_the_loader_is_found_where_make_install_puts_it(self):
        bin_dir = self.ws.path("inst", "bin")
        os.makedirs(bin_dir)
        shutil.copy(harness.NATIVE, os.path.join(bin_dir, "setup"))
        for build in ("win32", "win64"):
            exe = dict(harness.WIN_EXES)[build]
            if exe:
                os.makedirs(self.ws.path("inst", "share", "setup", build))
                shutil.copy(exe, self.ws.path("inst", "share", "setup", build, "Setup.exe"))
        demo = ps.copy_demo(self.ws)
        for extra, build in (([], "win32"), (["--win64"], "win64")):
            if not dict(harness.WIN_EXES)[build]:
                continue
            out = self.ws.path(build + ".exe")
            proc = subprocess.run([os.path.join(bin_dir, "setup"), "--pack", demo, "-o", out] + extra,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            with open(out, "rb") as f, open(dict(harness.WIN_EXES)[build], "rb") as g:
                loader = g.read()
                self.assertEqual(f.read(len(loader)), loader)

    def test_a_plain_setup_exe_is_no_installer(self):
        proc = self.setup("--silent", dict(harness.WIN_EXES)["win32"])
        self.assertEqual(proc.returncode, 3)
        self.assertIn(b"is a program, not an installer made by --pack", proc.stderr)


if __name__ == "__main__":
    unittest.main()
