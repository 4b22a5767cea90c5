"""A library that records its loading, planted beside Setup.exe under the names of system
libraries that are not KnownDLLs and preferred to Wine's own, is never loaded."""
import os
import shutil
import subprocess
import unittest

import harness

# Not version.dll: Wine's own user32 imports it through the program's search order, so
# under Wine it loads from the program's folder before Setup.exe runs (Windows takes it
# from the system directory); tools/check_imports.py keeps Setup.exe from importing it.
# Not msimg32.dll: Wine's uxtheme loads it the same way when a window first draws.
PLANTED = ("comctl32", "uxtheme", "dwmapi", "cryptbase", "winmm",
           "oleacc", "propsys", "profapi", "userenv", "wintrust", "bcrypt", "apphelp")
OVERRIDES = "mscoree,mshtml=;%s=n,b" % ",".join(PLANTED)
SCRIPT = 'WindowTitle "%s" \nIfFileVersion $$SYSTEM$$\\kernel32.dll 0 N %s\nRegsvr "%s" \n'
# Reading a version and registering load libraries. Mode, IfFileVersion's line, last line.
MODES = [("batch", "Message has-version", "Message done\n"), ("window", "SetupDir C:\\", "")]
WAIT = 60


class PlantedDllWineTest(harness.WineTest):
    def run_windows(self, exe, title):  # Return for SetupDialog, then FinishDialog
        if not (shutil.which("Xvfb") and shutil.which("xdotool")):
            self.skipTest("Xvfb or xdotool not available")
        display = harness.Display()
        self.addCleanup(display.close)
        target = os.path.join(self.ws.prog, "Setup.exe")
        shutil.copyfile(exe, target)
        env = {**display.env(), **harness.wine_env(), "WINEDLLOVERRIDES": OVERRIDES}
        for name in ("SETUP_UI", "SETUP_ANSWERS", "SETUP_TRANSCRIPT"):
            env.pop(name, None)
        proc = subprocess.Popen(["wine", target], env=env, cwd=self.ws.root,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: proc.poll() is None and (proc.kill(), proc.wait()))
        seen = []
        for _ in range(2):
            seen += harness.wait_for(lambda: proc.poll() is None and
                                     [w for w in display.windows(title) if w not in seen], WAIT)
            self.assertTrue(seen and display.press(seen[-1], "Return"), proc.poll())
        return proc.wait(timeout=WAIT)

    def test_install_loads_no_planted_library(self):
        for build, exe in harness.available_win_exes():
            fixture = harness.FIXTURES[build]
            for mode, line, tail in MODES:
                with self.subTest(build=build, mode=mode):
                    if not os.path.exists(os.path.join(fixture, "planted", "planted.dll")):
                        self.skipTest("planted.dll not built")
                    for name in PLANTED:
                        self.ws.write("prog/%s.dll.log" % name, b"")
                        shutil.copyfile(os.path.join(fixture, "planted", "planted.dll"),
                                        os.path.join(self.ws.prog, name + ".dll"))
                    component = self.ws.write("%s/%s/regsvr_ok.dll" % (build, mode), b"")
                    shutil.copyfile(os.path.join(fixture, "regsvr", "regsvr_ok.dll"), component)
                    title = "Planted %s %s" % (build, mode)
                    self.ws.script(SCRIPT % (title, line, self.ws.winpath(component)) + tail)
                    if mode == "batch":
                        result = self.ws.run_wine(exe, env={"WINEDLLOVERRIDES": OVERRIDES})
                        self.assertEqual(result.status, 0, result.stderr)
                        self.assertEqual(result.messages(), ["has-version", "done"])
                        self.assertEqual(len(result.of("FinishDialog")), 1)
                    else:
                        self.assertEqual(self.run_windows(exe, title), 0)
                    self.assertEqual([n for n in PLANTED if harness.read_record(
                        os.path.join(self.ws.prog, n + ".dll"))], [])
                    self.assertEqual(harness.read_record(component), ["DllRegisterServer"])


if __name__ == "__main__":
    unittest.main()
