"""Setup.exe's switches end to end under Wine, both builds: an unattended install with
/S /D= /LOG=, blanks in /D=, lower case, answers, the switches winning over the SETUP_*
variables, bad switches (exit 3, nothing installed), /? and the version resource."""
import os
import re
import shutil
import subprocess
import unittest

import harness

SCRIPT = "SetupDir $$FD$$\\..\\App \nMakeDir \"$$SETUPDIR$$\"\n"
USAGE = "Usage: Setup.exe"

# (name, switches, environment, answers file lines or None, exit status, paths below the
# workspace that must exist, paths that must not, texts standard output must hold, texts
# standard error must hold). {W} is the workspace as a Windows path, {ANS} the answers
# file, {LOG} a log file in the workspace; a switch list may hold several words.
CASES = [
    ("blanks in /D=, lower case", ["/s", "/d={W}\\My", "App"], {}, None,
     0, ["My App"], ["App"], [], []),
    ("/D= quoted, then a switch", ["/D={W}\\Dest", "/LOG={LOG}", "/S"], {}, None,
     0, ["Dest", "install.jsonl"], ["App"], [], []),
    ("/ANSWERS: CANCEL, no windows", ["/ANSWERS={ANS}"], {}, ["CANCEL"],
     2, [], ["App"], [], []),
    ("/ANSWERS beats SETUP_ANSWERS", ["/answers={ANS}"], {"SETUP_ANSWERS": "{W}\\none.txt"}, ["OK"],
     0, ["App"], [], [], []),
    ("SETUP_ANSWERS keeps working with /S", ["/S"], {"SETUP_ANSWERS": "{ANS}"}, ["OK {W}\\Typed"],
     0, ["Typed"], ["App"], [], []),
    ("/LOG beats SETUP_TRANSCRIPT", ["/S", "/LOG={LOG}"], {"SETUP_TRANSCRIPT": "{W}\\env.jsonl"}, None,
     0, ["App", "install.jsonl"], ["env.jsonl"], [], []),
    ("an answers file that cannot be read", ["/ANSWERS={W}\\missing.txt"], {}, None,
     3, [], ["App"], [], ["missing.txt"]),
    ("unknown switch", ["/S", "/X"], {}, None,
     3, [], ["App"], [], ["'/X'", USAGE]),
    ("switch without its value", ["/LOG"], {}, None,
     3, [], ["App"], [], ["'/LOG'", USAGE]),
    ("a stray word", ["install"], {}, None,
     3, [], ["App"], [], ["'install'", USAGE]),
    ("/?", ["/?"], {}, None,
     0, [], ["App"], [USAGE, "/D=path"], []),
]


class CommandLineWineTest(harness.WineTest):
    def setUp(self):
        super().setUp()
        self.ws.script(SCRIPT)
        self.w = self.ws.winpath(self.ws.root)

    def run_exe(self, exe, switches, env=None, answers=None):
        values = {"W": self.w, "ANS": self.w + "\\answers.txt", "LOG": self.w + "\\install.jsonl"}
        fill = lambda text: text.format(**values)
        if answers is not None:
            with open(self.ws.path("answers.txt"), "w", encoding="utf-8") as f:
                f.write("".join(fill(a) + "\n" for a in answers))
        target = os.path.join(self.ws.prog, "Setup.exe")
        shutil.copyfile(exe, target)
        full = dict(os.environ)
        full.update(harness.wine_env())
        for name in ("SETUP_UI", "SETUP_ANSWERS", "SETUP_TRANSCRIPT"):
            full.pop(name, None)
        full.update({k: fill(v) for k, v in (env or {}).items()})
        return subprocess.run(["wine", target] + [fill(s) for s in switches], env=full,
                              cwd=self.ws.root, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)

    def reset(self):
        for p in ("App", "Dest", "Typed", "My App"):
            shutil.rmtree(self.ws.path(p), ignore_errors=True)
        for p in ("install.jsonl", "env.jsonl", "answers.txt"):
            if os.path.exists(self.ws.path(p)):
                os.remove(self.ws.path(p))

    def test_table(self):
        for build, exe in harness.available_win_exes():
            for name, switches, env, answers, status, made, absent, out, err in CASES:
                with self.subTest(build=build, case=name):
                    self.reset()
                    proc = self.run_exe(exe, switches, env, answers)
                    stdout = proc.stdout.decode("utf-8", "replace")
                    stderr = proc.stderr.decode("utf-8", "replace")
                    self.assertEqual(proc.returncode, status, stderr)
                    for p in made:
                        self.assertTrue(os.path.exists(self.ws.path(p)), p)
                    for p in absent:
                        self.assertFalse(os.path.exists(self.ws.path(p)), p)
                    for text in out:
                        self.assertIn(text, stdout)
                    for text in err:
                        self.assertIn(text, stderr)

    def test_unattended_install_leaves_the_log(self):
        app = os.path.join(harness.wine_c_drive(), "App")
        log = os.path.join(harness.wine_c_drive(), "setup.log")

        def clean():
            shutil.rmtree(app, ignore_errors=True)
            if os.path.exists(log):
                os.remove(log)
        self.addCleanup(clean)
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                clean()
                proc = self.run_exe(exe, ["/S", "/D=C:\\App", "/LOG=C:\\setup.log"])
                self.assertEqual(proc.returncode, 0, proc.stderr)
                self.assertTrue(os.path.isdir(app))
                with open(log, encoding="utf-8") as f:
                    r = harness.Result(0, f.read(), "")
                self.assertEqual(r.of("SetupDialog")[0]["value"], "C:\\App")
                self.assertEqual(r.kinds()[-1], "FinishDialog")
                self.assertEqual(proc.stdout, b"")  # the log took the transcript

    def test_check_runs_nothing(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                self.reset()
                proc = self.run_exe(exe, ["/CHECK"])
                self.assertNotIn(b'"event"', proc.stdout)
                self.assertFalse(os.path.exists(self.ws.path("App")))

    def test_version_resource_carries_the_project_version(self):
        with open(os.path.join(harness.SOURCE_DIR, "CMakeLists.txt")) as f:
            version = re.search(r"project\(setup VERSION ([0-9.]+)", f.read()).group(1)
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                windres = shutil.which({"win32": "i686", "win64": "x86_64"}[build] + "-w64-mingw32-windres")
                if not windres:
                    self.skipTest("windres is not installed")
                rc = subprocess.run([windres, "-i", exe, "-O", "rc"], stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, timeout=60).stdout.decode("utf-8", "replace")
                self.assertIn('VALUE "FileVersion", "%s"' % version, rc)
                self.assertIn('VALUE "ProductVersion", "%s"' % version, rc)
                self.assertIn('VALUE "ProductName", "Setup"', rc)
                self.assertIn('VALUE "FileDescription"', rc)
                self.assertIn("FILEVERSION %s, 0" % version.replace(".", ", "), rc)


if __name__ == "__main__":
    unittest.main()
