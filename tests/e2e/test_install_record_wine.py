"""The install record in Setup.exe under Wine, both builds: a failed run rolled back (a
replaced file given its old bytes back), and across the two programs: installed by
Setup.exe and removed by the native program, installed natively and removed by
Setup.exe /UNINSTALL=ID or by the uninstaller beside the application, each keeping a
changed file."""
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
        self.ws.write(os.path.join(self.app, "old.dat"), b"there before")
        self.id = "Record." + build

    def setup_exe(self, exe, *switches, copy=True):
        target = os.path.join(self.ws.prog, "Setup.exe") if copy else exe
        if copy:
            shutil.copyfile(exe, target)
        return self.ws._run(["wine", target, "/S", *switches], shutil.which("wine"), None, harness.wine_env(),
                            None, 180)

    def native(self, *options):
        return self.ws._run([os.path.join(self.ws.prog, "setup"), "--silent", *options], harness.NATIVE, None,
                            {"WINEPREFIX": harness.WINEPREFIX}, None, 120)

    def listing(self):
        """{name: bytes} of the application's folder, "dir" for a folder in it."""
        return {name: "dir" if os.path.isdir(os.path.join(self.app, name)) else
                self.ws.read(os.path.join(self.app, name)) for name in os.listdir(self.app)}

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

    def test_either_program_or_the_uninstaller_removes_what_was_installed(self):
        harness.require_native(self)
        # (installed by, removed by, exit status, removal left for a restart)
        cases = [("wine", "native", 0, False), ("native", "wine", 0, False),
                 # Windows keeps a running program's file: the uninstaller beside the
                 # application is removed at the next restart, and the status says so
                 # (3010; 194 as an exit status of wine, its low byte).
                 ("wine", "beside", 3010 & 0xFF, True)]
        for build, exe in harness.available_win_exes():
            for install, remove, status, restart in cases:
                with self.subTest(build=build, install=install, remove=remove):
                    self.prepare(build)
                    installed = self.setup_exe(exe) if install == "wine" else self.native(self.ws.prog)
                    self.assertEqual(installed.status, 0, installed.stderr)
                    with open(os.path.join(self.app, "app.dat"), "ab") as f:
                        f.write(b" changed")
                    if remove == "native":
                        removed = self.native("--uninstall=" + self.id)
                    else:
                        removed = self.setup_exe(os.path.join(self.app, "Uninstall.exe") if remove == "beside"
                                                 else exe, "/UNINSTALL=" + self.id, copy=remove == "wine")
                    self.assertEqual(removed.status, status, removed.stderr)
                    left = self.listing()
                    self.assertEqual(left.pop("Uninstall.exe", None) is not None, restart)
                    # A file that was there before is kept, as the install left it.
                    self.assertEqual(left, {"app.dat": b"application\x00bytes changed",
                                            "old.dat": b"application\x00bytes"})
                    self.assertEqual(removed.of("Uninstalled"),
                                     [{"event": "Uninstalled", "id": self.id, "kept": 2, "restart": restart}])
                    if restart:
                        self.assertIn({"event": "Undo", "action": "removed at restart",
                                       "path": "C:\\%s\\Uninstall.exe" % self.name}, removed.events)


if __name__ == "__main__":
    unittest.main()
