"""The single-file installer under Wine: a package made by `setup --pack` with either
Setup.exe installs with `/S /D= /LOG=` exactly what its directory installs with the plain
Setup.exe; a tampered package, a truncated one or one with bytes appended ends start-up
with 3 and writes nothing, not even the log; a package signed with osslsigncode verifies,
runs, and once a byte is changed fails both the verification and the start."""
import os
import shutil
import subprocess
import unittest

import harness
import pack_support as ps

DEST = "PackTest"



def app_tree(dest):
    """What the script installed: the tree without the install record and the
    uninstaller, which name the run that made them (its time, its own program)."""
    tree = ps.tree(dest)
    for name in ("Uninstall.rec", "Uninstall.exe"):
        assert name in tree, name
        del tree[name]
    return tree

class PackWineTest(harness.WineTest):
    def setUp(self):
        super().setUp()
        harness.require_native(self)
        self.dest = os.path.join(harness.wine_c_drive(), DEST)
        shutil.rmtree(self.dest, ignore_errors=True)
        self.addCleanup(shutil.rmtree, self.dest, True)

    def wine(self, exe, log):
        env = dict(os.environ)
        env.update(harness.wine_env())
        proc = subprocess.run(["wine", exe, "/S", "/D=C:\\" + DEST, "/LOG=" + self.ws.winpath(log)],
                              env=env, cwd=self.ws.root, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=180)
        transcript = None
        if os.path.exists(log):
            with open(log, "rb") as f:
                transcript = f.read()
        return proc, transcript

    def packed(self, loader, name="demo"):
        demo = ps.copy_demo(self.ws, name)
        exe = self.ws.path(name + "-setup.exe")
        proc = ps.pack(self.ws, demo, exe, loader=loader)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        return demo, exe

    def test_a_package_installs_what_its_directory_installs(self):
        for name, loader in harness.available_win_exes():
            with self.subTest(name):
                demo, exe = self.packed(loader, "demo-" + name)
                shutil.copyfile(loader, os.path.join(demo, "Setup.exe"))
                direct, direct_log = self.wine(os.path.join(demo, "Setup.exe"), self.ws.path("d.jsonl"))
                self.assertEqual(direct.returncode, 0, direct.stderr)
                installed = app_tree(self.dest)
                shutil.rmtree(self.dest)
                packed, packed_log = self.wine(exe, self.ws.path("p.jsonl"))
                self.assertEqual(packed.returncode, 0, packed.stderr)
                self.assertEqual(packed_log, direct_log)
                self.assertEqual(app_tree(self.dest), installed)
                self.assertTrue(ps.same_time(os.path.join(self.dest, "app.dat"),
                                             os.path.join(demo, "files", "app.dat")))
                shutil.rmtree(self.dest)

    def test_a_tampered_package_writes_nothing(self):
        _, exe = self.packed(None)
        with open(exe, "rb") as f:
            data = f.read()
        for what, changed in ps.tampered(data):
            with self.subTest(what):
                bad = self.ws.path("bad.exe")
                with open(bad, "wb") as f:
                    f.write(changed)
                log = self.ws.path("bad.jsonl")
                proc, transcript = self.wine(bad, log)
                self.assertEqual(proc.returncode, 3)
                self.assertIn(b"is damaged or incomplete", proc.stderr)
                self.assertIsNone(transcript)
                self.assertFalse(os.path.exists(self.dest))

    def test_names_whose_second_byte_is_a_backslash(self):
        name = ps.TABLE_NAME
        os.makedirs(os.path.join(self.ws.prog, name))
        self.ws.write("prog/%s/%s.dat" % (name, name), b"table\x5c\x00data")
        self.ws.script("SetupDir C:\\%s \nMakeDir $$SETUPDIR$$\n"
                       "BinCopy $$FD$$\\%s\\%s.dat $$SETUPDIR$$\\%s.dat\n" % (DEST, name, name, name))
        exe = self.ws.path("t.exe")
        self.assertEqual(ps.pack(self.ws, self.ws.prog, exe).returncode, 0)
        shutil.rmtree(self.ws.prog)
        proc, _ = self.wine(exe, self.ws.path("t.jsonl"))
        self.assertEqual(proc.returncode, 0, proc.stderr)
        with open(os.path.join(self.dest, name + ".dat"), "rb") as f:
            self.assertEqual(f.read(), b"table\x5c\x00data")

    def test_a_signed_package_verifies_runs_and_fails_both_once_changed(self):
        if not shutil.which("osslsigncode") or not shutil.which("openssl"):
            self.skipTest("osslsigncode or openssl missing")
        _, exe = self.packed(None)
        key, cert = self.ws.path("key.pem"), self.ws.path("cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Setup test signer", "-keyout", key, "-out", cert,
                        "-addext", "extendedKeyUsage=codeSigning"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        signed = self.ws.path("signed.exe")
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Demo",
                        "-in", exe, "-out", signed], check=True, stdout=subprocess.DEVNULL)
        verify = lambda path: subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                                             stdout=subprocess.PIPE, stderr=subprocess.PIPE).returncode
        self.assertEqual(verify(signed), 0)
        proc, _ = self.wine(signed, self.ws.path("s.jsonl"))
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertTrue(os.path.exists(os.path.join(self.dest, "app.dat")))
        shutil.rmtree(self.dest)

        with open(signed, "rb") as f:
            data = bytearray(f.read())
        with open(exe, "rb") as f:
            loader, _, _ = ps.trailer(f.read())
        data[loader + 10] ^= 0x20
        changed = self.ws.path("changed.exe")
        with open(changed, "wb") as f:
            f.write(data)
        self.assertNotEqual(verify(changed), 0)
        proc, transcript = self.wine(changed, self.ws.path("c.jsonl"))
        self.assertEqual(proc.returncode, 3)
        self.assertIsNone(transcript)
        self.assertFalse(os.path.exists(self.dest))


if __name__ == "__main__":
    unittest.main()
