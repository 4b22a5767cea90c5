"""Setup.exe's switches under Wine, both builds: an unattended install, the command line
as Windows joins it, bad switches (exit 3, nothing installed), /? (and /HELP, /H) and the
version resource."""
import os
import re
import shutil
import subprocess
import unittest

import harness
from test_command_line import VERSION, check_table, run

SCRIPT = "SetupDir $$FD$$\\..\\App \nMakeDir \"$$SETUPDIR$$\"\n"
USAGE = "Usage: Setup.exe"
CASES = [
    ("blanks in /D=, lower case", ["/s", "/d={W}\\My", "App"], {}, None, 0, ["My App"], ["App"], []),
    ("/LOG beats SETUP_TRANSCRIPT", ["/S", "/LOG={W}\\install.jsonl"],
     {"SETUP_TRANSCRIPT": "{W}\\env.jsonl"}, None,
     0, ["App", "install.jsonl"], ["env.jsonl"], []),
    ("unreadable answers file", ["/ANSWERS={W}\\missing.txt"], {}, None, 3, [], ["App"], ["missing.txt"]),
    ("unknown switch", ["/S", "/X"], {}, None, 3, [], ["App"], ["'/X'", USAGE]),
    ("/?", ["/?"], {}, None, 0, [], ["App"], [USAGE, "/D=path"]),
    ("/HELP", ["/HELP"], {}, None, 0, [], ["App"], [USAGE, "/?, /H, /HELP"]),
    ("/h", ["/h"], {}, None, 0, [], ["App"], [USAGE, "/D=path"]),
]


class CommandLineWineTest(harness.WineTest):
    def setUp(self):
        super().setUp()
        self.ws.script(SCRIPT)

    def run_exe(self, exe, switches, env=None, answers=None):
        target = os.path.join(self.ws.prog, "Setup.exe")
        shutil.copyfile(exe, target)
        return run(self.ws, ["wine", target], {"W": self.ws.winpath(self.ws.root)}, switches, env, answers,
                   harness.wine_env())

    def test_table(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                check_table(self, CASES, lambda *a: self.run_exe(exe, *a))

    def test_unattended_install_leaves_the_log(self):
        app, log = (os.path.join(harness.wine_c_drive(), p) for p in ("App", "setup.log"))

        def clean():
            shutil.rmtree(app, ignore_errors=True)
            if os.path.exists(log):
                os.remove(log)
        self.addCleanup(clean)
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                clean()
                proc = self.run_exe(exe, ["/S", "/D=C:\\App", "/LOG=C:\\setup.log"])
                self.assertEqual((proc.returncode, proc.stdout), (0, b""), proc.stderr)
                self.assertTrue(os.path.isdir(app))
                with open(log, encoding="utf-8") as f:
                    r = harness.Result(0, f.read(), "")
                self.assertEqual(r.of("SetupDialog")[0]["value"], "C:\\App")
                self.assertEqual(r.kinds()[-1], "FinishDialog")

    def test_usage_and_manual_name_the_same_switches(self):
        with open(os.path.join(harness.SOURCE_DIR, "docs", "manual.md"), encoding="utf-8") as f:
            manual = f.read()
        table = manual[manual.index("### Switches"):manual.index("## Running the native setup")]
        switches = lambda text: set(re.findall(r"(?<![\w/])/(?:[A-Z]+|\?)", text))
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                usage = switches(self.run_exe(exe, ["/HELP"]).stdout.decode("utf-8", "replace"))
                self.assertEqual(usage, {"/S", "/LOG", "/ANSWERS", "/D", "/CHECK", "/?", "/H",
                                         "/HELP", "/UNINSTALL"})
                self.assertEqual(usage, switches(table))

    def test_version_resource_carries_the_project_version(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                windres = shutil.which({"win32": "i686", "win64": "x86_64"}[build] + "-w64-mingw32-windres")
                if not windres:
                    self.skipTest("windres is not installed")
                rc = subprocess.run([windres, "-i", exe, "-O", "rc"], capture_output=True,
                                    timeout=60).stdout.decode("utf-8", "replace")
                for text in ('VALUE "FileVersion", "%s"' % VERSION, 'VALUE "ProductName", "Setup"',
                             'VALUE "ProductVersion", "%s"' % VERSION,
                             "FILEVERSION %s, 0" % VERSION.replace(".", ", ")):
                    self.assertIn(text, rc)


if __name__ == "__main__":
    unittest.main()
