"""The single-file installer under Wine: a package made by `setup --pack` with either
Setup.exe installs with `/S /D= /LOG=` exactly what its directory installs with the plain
Setup.exe; a tampered package, a truncated one or one with bytes appended ends start-up
with 3 and writes nothing, not even the log; a package signed with osslsigncode verifies,
runs, and once a byte is changed fails to start."""
import os
import shutil
import subprocess
import unittest

import harness
import pack_support as ps

DEST = "PackTest"


def app_tree(dest):
    """The installed tree without the install record and the uninstaller, which name the
    run that made them."""
    tree = ps.tree(dest)
    for name in ("Uninstall.rec", "Uninstall.exe"):
        del tree[name]
    return tree


class PackWineTest(harness.WineTest):
    def setUp(self):
        super().setUp()
        harness.require_native(self)
        self.dest = os.path.join(harness.wine_c_drive(), DEST)
        shutil.rmtree(self.dest, ignore_errors=True)
        self.addCleanup(shutil.rmtree, self.dest, True)

    def wine(self, exe, log="s.jsonl"):
        log = self.ws.path(log)
        env = dict(os.environ, **harness.wine_env())
        proc = subprocess.run(["wine", exe, "/S", "/D=C:\\" + DEST, "/LOG=" + self.ws.winpath(log)],
                              env=env, cwd=self.ws.root, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=180)
        if not os.path.exists(log):
            return proc, None
        with open(log, "rb") as f:
            return proc, f.read()

    def test_a_package_installs_what_its_directory_installs(self):
        for name, loader in harness.available_win_exes():
            with self.subTest(name):
                demo, exe = ps.packed_demo(self, loader, "demo-" + name)
                shutil.copyfile(loader, os.path.join(demo, "Setup.exe"))
                direct, direct_log = self.wine(os.path.join(demo, "Setup.exe"), "d.jsonl")
                self.assertEqual(direct.returncode, 0, direct.stderr)
                installed = app_tree(self.dest)
                shutil.rmtree(self.dest)
                packed, packed_log = self.wine(exe, "p.jsonl")
                self.assertEqual(packed.returncode, 0, packed.stderr)
                self.assertEqual(packed_log, direct_log)
                self.assertEqual(app_tree(self.dest), installed)
                self.assertTrue(ps.same_time(os.path.join(self.dest, "app.dat"),
                                             os.path.join(demo, "files", "app.dat")))
                shutil.rmtree(self.dest)

    def test_a_tampered_package_writes_nothing(self):
        for what, bad in ps.tampered(self.ws, ps.packed_demo(self)[1]):
            with self.subTest(what):
                proc, transcript = self.wine(bad, "bad.jsonl")
                self.assertEqual(proc.returncode, 3)
                self.assertIn(b"is damaged or incomplete", proc.stderr)
                self.assertIsNone(transcript)
                self.assertFalse(os.path.exists(self.dest))

    def test_names_whose_second_byte_is_a_backslash(self):
        data = ps.table_name_prog(self.ws, DEST)
        exe = self.ws.path("t.exe")
        self.assertEqual(ps.pack(self.ws, self.ws.prog, exe).returncode, 0)
        shutil.rmtree(self.ws.prog)
        proc, _ = self.wine(exe)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        with open(os.path.join(self.dest, ps.TABLE_NAME + ".dat"), "rb") as f:
            self.assertEqual(f.read(), data)

    def test_a_signed_package_verifies_runs_and_fails_once_changed(self):
        if not shutil.which("osslsigncode") or not shutil.which("openssl"):
            self.skipTest("osslsigncode or openssl missing")
        _, exe = ps.packed_demo(self)
        key, cert, signed = self.ws.path("key.pem"), self.ws.path("cert.pem"), self.ws.path("signed.exe")
        quiet = dict(check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Setup test signer", "-keyout", key, "-out", cert,
                        "-addext", "extendedKeyUsage=codeSigning"], **quiet)
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Demo",
                        "-in", exe, "-out", signed], **quiet)
        def verify(path):
            return subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

        self.assertEqual(verify(signed), 0)
        self.assertEqual(self.wine(signed)[0].returncode, 0)
        self.assertTrue(os.path.exists(os.path.join(self.dest, "app.dat")))
        shutil.rmtree(self.dest)
        data = bytearray(self.ws.read(signed))
        data[ps.trailer(self.ws.read(exe))[0] + 10] ^= 0x20
        self.ws.write(signed, bytes(data))
        # A changed byte fails both the signature and the start.
        self.assertNotEqual(verify(signed), 0)
        proc, transcript = self.wine(signed, "c.jsonl")
        self.assertEqual((proc.returncode, transcript), (3, None))
        self.assertFalse(os.path.exists(self.dest))


if __name__ == "__main__":
    unittest.main()
