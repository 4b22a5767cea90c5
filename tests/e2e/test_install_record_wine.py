"""The install record in Setup.exe under Wine, both builds: a failed run rolled back (a
replaced file given its old bytes back), and across the two programs: installed by
Setup.exe and removed by the native program, installed natively and removed by
Setup.exe /UNINSTALL=ID, each keeping a changed file."""
import os
import shutil
import unittest

import harness

SCRIPT = ("SetupDir C:\\%s \n"
          "MakeDir $$SETUPDIR$$\n"
          "MakeDir $$SETUPDIR$$\\doc\n"
          "BinCopy $$FD$$\\app.dat $$SETUPDIR$$\\app.dat\n"
          "TextCopy $$FD$$\\readme.txt $$SETUPDIR$$\\doc\\readme.txt\n"
          "BinCopy $$FD$$\\app.dat $$SETUPDIR$$\\old.dat\n")


class InstallRecordWineTest(harness.WineTest):
    def prepare(self, build, extra=""):
        self.name = "RecordWine" + build
        self.app = os.path.join(harness.wine_c_drive(), self.name)
        shutil.rmtree(self.app, ignore_errors=True)
        self.addCleanup(shutil.rmtree, self.app, True)
        self.ws.write("prog/app.dat", b"application\x00bytes")
        self.ws.write("prog/readme.txt", "read me\n")
        self.ws.write("prog/Product.ini", ("[Product]\nId=Record.%s\n" % build).encode())
        self.ws.script(SCRIPT % self.name + extra)
        os.makedirs(self.app)
        with open(os.path.join(self.app, "old.dat"), "wb") as f:
            f.write(b"there before")
        self.id = "Record." + build

    def setup_exe(self, exe, *switches):
        target = os.path.join(self.ws.prog, "Setup.exe")
        shutil.copyfile(exe, target)
        return self.ws._run(["wine", target, "/S", *switches], shutil.which("wine"), None, harness.wine_env(),
                            None, 180)

    def native(self, *options):
        return self.ws._run([os.path.join(self.ws.prog, "setup"), "--silent", *options], harness.NATIVE, None,
                            {"WINEPREFIX": harness.WINEPREFIX}, None, 120)

    def listing(self):
        out = {}
        for dirpath, dirnames, filenames in os.walk(self.app):
            for f in filenames:
                with open(os.path.join(dirpath, f), "rb") as h:
                    out[os.path.relpath(os.path.join(dirpath, f), self.app)] = h.read()
            for d in dirnames:
                out[os.path.relpath(os.path.join(dirpath, d), self.app)] = "dir"
        return out

    def test_a_failed_run_is_rolled_back(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                self.prepare(build, "ErrorExit stopped\n")
                before = self.listing()
                result = self.setup_exe(exe)
                self.assertEqual(result.status, 1)
                self.assertEqual(self.listing(), before)
                self.assertEqual(result.of("Rollback"), [{"event": "Rollback", "id": self.id, "cause": "failed"}])
                self.assertIn({"event": "Undo", "action": "restored", "path": "C:\\%s\\old.dat" % self.name},
                              result.events)

    def test_either_program_removes_what_the_other_installed(self):
        harness.require_native(self)
        for build, exe in harness.available_win_exes():
            for install, uninstall in (("wine", "native"), ("native", "wine")):
                with self.subTest(build=build, install=install):
                    self.prepare(build)
                    installed = self.setup_exe(exe) if install == "wine" else self.native(self.ws.prog)
                    self.assertEqual(installed.status, 0, installed.stderr)
                    with open(os.path.join(self.app, "app.dat"), "ab") as f:
                        f.write(b" changed")
                    removed = (self.setup_exe(exe, "/UNINSTALL=" + self.id) if uninstall == "wine"
                               else self.native("--uninstall=" + self.id))
                    self.assertEqual(removed.status, 0, removed.stderr)
                    # A file that was there before is kept, as the install left it.
                    self.assertEqual(self.listing(), {"app.dat": b"application\x00bytes changed",
                                                      "old.dat": b"application\x00bytes"})
                    self.assertEqual(removed.of("Uninstalled"),
                                     [{"event": "Uninstalled", "id": self.id, "kept": 2, "restart": False}])

    def test_the_uninstaller_beside_the_application_removes_itself(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                self.prepare(build)
                self.assertEqual(self.setup_exe(exe).status, 0)
                uninstaller = os.path.join(self.app, "Uninstall.exe")
                self.assertTrue(os.path.exists(uninstaller))
                result = self.ws._run(["wine", uninstaller, "/S", "/UNINSTALL=" + self.id], shutil.which("wine"),
                                      None, harness.wine_env(), None, 180)
                # Windows keeps a running program's file: it is removed at the next restart,
                # and the status says so (3010; 194 as an exit status of wine, its low byte).
                self.assertEqual(result.status, 3010 & 0xFF, result.stderr)
                self.assertEqual(result.of("Uninstalled"),
                                 [{"event": "Uninstalled", "id": self.id, "kept": 1, "restart": True}])
                self.assertIn({"event": "Undo", "action": "removed at restart",
                               "path": "C:\\%s\\Uninstall.exe" % self.name}, result.events)
                self.assertEqual(sorted(self.listing()), ["Uninstall.exe", "old.dat"])

if __name__ == "__main__":
    unittest.main()
