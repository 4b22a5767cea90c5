"""The native program's command line end to end: each option's effect, the options
winning over the SETUP_* variables, bad input (exit 3, nothing installed), the hint
when the prefix has no Windows directory, and --help agreeing with the manual."""
import json
import os
import re
import subprocess
import unittest

import harness

SCRIPT = "SetupDir $$FD$$\\..\\App \nMakeDir $$SETUPDIR$$\n"
USAGE = "Usage: setup"

# (name, arguments, environment, answers file lines or None, exit status, paths below the
# workspace that must exist, paths that must not, texts standard output must hold,
# texts standard error must hold). {LOG}, {ANS}, {ROOT}, {PREFIX} name workspace paths.
CASES = [
    ("silent with destination and log", ["--silent", "--dest=C:\\Dest", "--log={LOG}"], {}, None,
     0, ["prefix/drive_c/Dest", "install.jsonl"], ["App"], [], []),
    ("a POSIX destination", ["--silent", "--dest={ROOT}/posix-dir"], {}, None,
     0, ["posix-dir"], ["App"], [], []),
    ("not a terminal: batch, transcript on standard output", [], {}, None,
     0, ["App"], [], ['{"event":"SetupDialog"'], []),
    ("--log=- beats SETUP_TRANSCRIPT", ["--log=-"], {"SETUP_TRANSCRIPT": "{ROOT}/env.jsonl"}, None,
     0, ["App"], ["env.jsonl"], ['{"event":"FinishDialog"'], []),
    ("--log=FILE beats SETUP_TRANSCRIPT", ["--log={LOG}"], {"SETUP_TRANSCRIPT": "{ROOT}/env.jsonl"}, None,
     0, ["App", "install.jsonl"], ["env.jsonl"], [], []),
    ("SETUP_TRANSCRIPT keeps working", [], {"SETUP_TRANSCRIPT": "{ROOT}/env.jsonl"}, None,
     0, ["App", "env.jsonl"], [], [], []),
    ("answers: CANCEL", ["--answers={ANS}"], {}, ["CANCEL"],
     2, [], ["App"], [], []),
    ("an answer types over --dest", ["--dest=C:\\Dest", "--answers={ANS}"], {}, ["OK C:\\Typed"],
     0, ["prefix/drive_c/Typed"], ["prefix/drive_c/Dest", "App"], [], []),
    ("--answers beats SETUP_ANSWERS", ["--answers={ANS}"], {"SETUP_ANSWERS": "/nonexistent"}, ["OK"],
     0, ["App"], [], [], []),
    ("SETUP_ANSWERS keeps working", [], {"SETUP_ANSWERS": "{ANS}"}, ["CANCEL"],
     2, [], ["App"], [], []),
    ("an answers file that cannot be read", ["--answers={ROOT}/missing.txt"], {}, None,
     3, [], ["App"], [], ["missing.txt"]),
    ("--prefix beats WINEPREFIX", ["--prefix={PREFIX}", "--dest=C:\\Dest"], {"WINEPREFIX": "/nonexistent"}, None,
     0, ["prefix/drive_c/Dest"], [], [], []),
    ("--ui=batch beats SETUP_UI", ["--ui=batch"], {"SETUP_UI": "terminal"}, None,
     0, ["App"], [], ['{"event":"SetupDialog"'], []),
    ("no Windows directory: the message and where it looked", [], {"WINEPREFIX": "/nonexistent"}, None,
     3, [], ["App"], ["Install Windows System in the destination than it is'nt installed"],
     ["/nonexistent/drive_c/windows", "--prefix", "WINEPREFIX"]),
    ("unknown option", ["--bogus", "--silent"], {}, None,
     3, [], ["App"], [], ["'--bogus'", USAGE]),
    ("missing value", ["--silent", "--dest"], {}, None,
     3, [], ["App"], [], ["'--dest'", USAGE]),
    ("bad front end", ["--ui=window"], {}, None,
     3, [], ["App"], [], ["'window'", USAGE]),
    ("stray word", ["install"], {}, None,
     3, [], ["App"], [], ["'install'", USAGE]),
    ("contradiction", ["--silent", "--ui=terminal"], {}, None,
     3, [], ["App"], [], ["'--silent'", USAGE]),
    ("bad log file", ["--log={ROOT}/no/such/dir/x.jsonl"], {}, None,
     3, [], ["App"], [], ["x.jsonl"]),
    ("--help", ["--help"], {}, None,
     0, [], ["App"], [USAGE, "--dest=DIR"], []),
    ("--version", ["--version"], {}, None,
     0, [], ["App"], ["setup {VERSION}\n"], []),
]


def project_version():
    with open(os.path.join(harness.SOURCE_DIR, "CMakeLists.txt")) as f:
        return re.search(r"project\(setup VERSION ([0-9.]+)", f.read()).group(1)


class CommandLineTest(harness.E2ETest):
    def setUp(self):
        super().setUp()
        harness.require_native(self)
        self.ws.script(SCRIPT)

    def run_setup(self, args, env=None, answers=None):
        values = {"LOG": self.ws.path("install.jsonl"), "ANS": self.ws.path("answers.txt"),
                  "ROOT": self.ws.root, "PREFIX": self.ws.prefix}
        fill = lambda text: text.format(**values)
        if answers is not None:
            with open(values["ANS"], "w", encoding="utf-8") as f:
                f.write("".join(fill(a) + "\n" for a in answers))
        full = dict(os.environ, WINEPREFIX=self.ws.prefix)
        for name in ("SETUP_UI", "SETUP_ANSWERS", "SETUP_TRANSCRIPT"):
            full.pop(name, None)
        full.update({k: fill(v) for k, v in (env or {}).items()})
        return subprocess.run([os.path.join(self.ws.prog, "setup")] + [fill(a) for a in args],
                              executable=harness.NATIVE, env=full, cwd=self.ws.root,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=60)

    def reset(self):
        for p in ("App", "posix-dir", "prefix/drive_c/Dest", "prefix/drive_c/Typed"):
            harness.shutil.rmtree(self.ws.path(p), ignore_errors=True)
        for p in ("install.jsonl", "env.jsonl", "answers.txt"):
            if os.path.exists(self.ws.path(p)):
                os.remove(self.ws.path(p))

    def test_table(self):
        version = project_version()
        for name, args, env, answers, status, made, absent, out, err in CASES:
            with self.subTest(name):
                self.reset()
                proc = self.run_setup(args, env, answers)
                stdout, stderr = proc.stdout.decode(), proc.stderr.decode()
                self.assertEqual(proc.returncode, status, stderr)
                for p in made:
                    self.assertTrue(os.path.exists(self.ws.path(p)), p)
                for p in absent:
                    self.assertFalse(os.path.exists(self.ws.path(p)), p)
                for text in out:
                    self.assertIn(text.replace("{VERSION}", version), stdout)
                for text in err:
                    self.assertIn(text, stderr)

    def test_destination_is_typed_over_the_default(self):
        proc = self.run_setup(["--silent", "--dest=C:\\Dest", "--log={LOG}"])
        self.assertEqual(proc.returncode, 0)
        self.assertEqual(proc.stdout, b"")
        with open(self.ws.path("install.jsonl"), encoding="utf-8") as f:
            first = json.loads(f.readline())
        self.assertEqual(first, {"event": "SetupDialog", "title": "Setup",
                                 "destination": self.ws.prog + "\\..\\App", "answer": "OK",
                                 "value": "C:\\Dest"})

    def test_check_runs_nothing(self):
        proc = self.run_setup(["--check"])
        self.assertNotIn(b'"event"', proc.stdout)
        self.assertFalse(os.path.exists(self.ws.path("App")))

    def test_help_agrees_with_the_manual(self):
        with open(os.path.join(harness.SOURCE_DIR, "docs", "manual.md"), encoding="utf-8") as f:
            manual = f.read()
        usage = self.run_setup(["--help"]).stdout.decode()
        options = set(re.findall(r"(?<![\w-])--[a-z]+", usage))
        self.assertGreaterEqual(len(options), 9)
        documented = set(re.findall(r"(?<![\w-])--[a-z]+", manual))
        self.assertEqual(options, documented)
        switches = {"/S", "/D=", "/LOG=", "/ANSWERS=", "/CHECK", "/?"}
        for switch in switches:
            self.assertIn("`" + switch, manual)


if __name__ == "__main__":
    unittest.main()
