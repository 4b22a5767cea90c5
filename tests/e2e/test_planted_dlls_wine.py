"""Both Setup.exe builds under Wine with libraries planted beside them: copies of a
library that records its own loading (tests/fixtures/planted), under the names of system
libraries that are not KnownDLLs, which Setup.exe or the system libraries it uses need.
Wine is told to prefer them to its own, as Windows prefers a library it finds in the
program's folder. The install runs to its end, in batch mode and with its windows, and
none of the copies is loaded."""
import os
import shutil
import subprocess
import unittest

import harness

# Not version.dll: Wine's own user32 imports it, and Wine resolves the imports of its
# builtin libraries through the program's search order (Windows takes a KnownDLL's
# imports from the system directory), so under Wine any program that imports user32
# loads a version.dll preferred native from its folder before its first instruction.
# tools/check_imports.py keeps Setup.exe from importing it. Not msimg32.dll: Wine's
# uxtheme loads it when a window first draws, through the program's first search order
# (Windows searches the directories the program restricted the search to).
PLANTED = ("comctl32", "uxtheme", "dwmapi", "cryptbase", "winmm",
           "oleacc", "propsys", "profapi", "userenv", "wintrust", "bcrypt", "apphelp")
OVERRIDES = "mscoree,mshtml=;%s=n,b" % ",".join(PLANTED)
# Version information of a system library, and a registration: both load libraries.
SCRIPT = ("WindowTitle \"%s\" \nIfFileVersion $$SYSTEM$$\\kernel32.dll 0 N %s\n"
          "Regsvr \"%s\" \n")
WAIT = 60


class PlantedDllWineTest(harness.E2ETest):
    def setUp(self):
        harness.require_wine(self)
        super().setUp()
        self.builds = [(build, exe) for build, exe in harness.available_win_exes()
                       if os.path.exists(self.fixture(build, "planted", "planted.dll"))]
        if not self.builds:
            self.skipTest("planted.dll not built")

    @staticmethod
    def fixture(build, *parts):
        return os.path.join(harness.FIXTURES[build], *parts)

    def plant(self, build):
        """Copies this build's planted.dll into prog/ under every planted name and a
        registration component into a folder of its own; answers the component's path."""
        for name in PLANTED:
            target = os.path.join(self.ws.prog, name + ".dll")
            for path in (target, target + ".log"):
                if os.path.exists(path):
                    os.remove(path)
            shutil.copyfile(self.fixture(build, "planted", "planted.dll"), target)
        component = self.ws.path(build, "comp", "regsvr_ok.dll")
        os.makedirs(os.path.dirname(component))
        shutil.copyfile(self.fixture(build, "regsvr", "regsvr_ok.dll"), component)
        return component

    def loaded(self):
        return [name for name in PLANTED
                if harness.read_record(os.path.join(self.ws.prog, name + ".dll"))]

    def test_batch_install_loads_no_planted_library(self):
        for build, exe in self.builds:
            with self.subTest(build=build):
                component = self.plant(build)
                self.ws.script(SCRIPT % ("Planted", "Message has-version",
                                         self.ws.winpath(component)) + "Message done\n")
                result = self.ws.run_wine(exe, env={"WINEDLLOVERRIDES": OVERRIDES})
                self.assertEqual(self.loaded(), [], build)
                self.assertEqual(result.status, 0, build + result.stderr)
                self.assertEqual(result.messages(), ["has-version", "done"], build)
                self.assertEqual(len(result.of("FinishDialog")), 1, build)
                self.assertEqual(harness.read_record(component), ["DllRegisterServer"], build)

    def test_window_install_loads_no_planted_library(self):
        for tool in ("Xvfb", "xdotool"):
            if not shutil.which(tool):
                self.skipTest(tool + " not available")
        display = harness.Display()
        self.addCleanup(display.close)
        for build, exe in self.builds:
            with self.subTest(build=build):
                component = self.plant(build)
                title = "Planted " + build
                self.ws.script(SCRIPT % (title, "SetupDir C:\\", self.ws.winpath(component)))
                target = os.path.join(self.ws.prog, "Setup.exe")
                shutil.copyfile(exe, target)
                env = display.env()
                env.update(harness.wine_env())
                env["WINEDLLOVERRIDES"] = OVERRIDES
                for name in ("SETUP_UI", "SETUP_ANSWERS", "SETUP_TRANSCRIPT"):
                    env.pop(name, None)
                proc = subprocess.Popen(["wine", target], env=env, cwd=self.ws.root,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
                self.addCleanup(lambda p=proc: p.poll() is None and (p.kill(), p.wait()))
                # SetupDialog, then FinishDialog under the same title: Return answers both.
                seen = []
                for _ in range(2):
                    window = harness.wait_for(
                        lambda: proc.poll() is None and
                        [w for w in display.windows(title) if w not in seen], WAIT)
                    self.assertTrue(window, "no window %r (%s)" % (title, proc.poll()))
                    seen += window
                    self.assertTrue(display.press(window[-1], "Return"))
                self.assertEqual(proc.wait(timeout=WAIT), 0, build)
                self.assertEqual(self.loaded(), [], build)
                self.assertEqual(harness.read_record(component), ["DllRegisterServer"], build)


if __name__ == "__main__":
    unittest.main()
