"""The native program's command line end to end: an unattended install, the options
winning over the SETUP_* variables, bad input (exit 3, nothing installed), --help."""
import json
import os
import re
import subprocess
import unittest

import harness

SCRIPT = "SetupDir $$FD$$\\..\\App \nMakeDir \"$$SETUPDIR$$\"\n"
VERSION = re.search(r"project\(setup VERSION ([0-9.]+)",
                    open(os.path.join(harness.SOURCE_DIR, "CMakeLists.txt")).read()).group(1)


def run(ws, argv, values, args, env=None, answers=None, base_env=None, executable=None):
    """Runs argv + args with {NAME}s filled from values and no SETUP_* variables of ours."""
    fill = lambda text: text.format(**values)
    if answers is not None:
        with open(ws.path("answers.txt"), "w", encoding="utf-8") as f:
            f.write("".join(fill(a) + "\n" for a in answers))
    full = {k: v for k, v in os.environ.items() if k not in ("SETUP_UI", "SETUP_ANSWERS",
                                                              "SETUP_TRANSCRIPT")}
    full.update(base_env or {})
    full.update({k: fill(v) for k, v in (env or {}).items()})
    return subprocess.run(argv + [fill(a) for a in args], executable=executable, env=full, cwd=ws.root,
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=120)


def check_table(test, cases, runner):
    """Rows: (name, words, environment, answers or None, exit status, paths that must
    exist, paths that must not, texts that standard output or error must hold)."""
    for name, args, env, answers, status, made, absent, texts in cases:
        with test.subTest(name):
            subprocess.run(["rm", "-rf"] + [test.ws.path(p) for p in made + absent], check=True)
            proc = runner(args, env, answers)
            shown = (proc.stdout + proc.stderr).decode("utf-8", "replace")
            test.assertEqual(proc.returncode, status, shown)
            for p in made:
                test.assertTrue(os.path.exists(test.ws.path(p)), p)
            for p in absent:
                test.assertFalse(os.path.exists(test.ws.path(p)), p)
            for text in texts:
                test.assertIn(text.replace("%s", test.ws.root) if "%s" in text else text, shown)


USAGE = "Usage: setup"
TRY = "setup: %s\nTry 'setup --help' for more information.\n"
CASES = [
    ("a POSIX destination", ["--silent", "--dest={ROOT}/posix-dir"], {}, None, 0, ["posix-dir"], ["App"], []),
    ("not a terminal: batch; --log=- beats SETUP_TRANSCRIPT", ["--log=-"],
     {"SETUP_TRANSCRIPT": "{ROOT}/env.jsonl"}, None,
     0, ["App"], ["env.jsonl"], ['{"event":"FinishDialog"']),
    ("--answers beats SETUP_ANSWERS", ["--answers={ANS}"], {"SETUP_ANSWERS": "/nonexistent"}, ["CANCEL"],
     2, [], ["App"], []),
    ("an answer types over --dest", ["--dest=C:\\Dest", "--answers={ANS}"], {}, ["OK C:\\Typed"],
     0, ["prefix/drive_c/Typed"], ["prefix/drive_c/Dest", "App"], []),
    ("--prefix beats WINEPREFIX", ["--prefix={PREFIX}", "--silent"], {"WINEPREFIX": "/nonexistent"}, None,
     0, ["App"], [], []),
    ("no Windows directory: the message and where it looked", [], {"WINEPREFIX": "/nonexistent"}, None,
     3, [], ["App"], ["Install Windows System in the destination than it is'nt installed",
                      "/nonexistent/drive_c/windows", "--prefix"]),
    ("unknown option", ["--bogus", "--silent"], {}, None, 3, [], ["App"], [TRY % "unknown option '--bogus'"]),
    ("two operands", ["a", "b"], {}, None, 3, [], ["App"], [TRY % "unexpected argument 'b'"]),
    ("unreadable answers file", ["--answers={ROOT}/missing.txt"], {}, None, 3, [], ["App"],
     ["setup: cannot read the answers file %s/missing.txt: No such file or directory\n"]),
    ("answers file that is a directory", ["--answers={ROOT}/prog"], {}, None, 3, [], ["App"],
     ["setup: cannot read the answers file %s/prog: not a regular file\n"]),
    ("answers file over its limit", ["--answers={ROOT}/big.txt"], {}, None, 3, [], ["App"],
     ["setup: cannot read the answers file %s/big.txt: larger than 1 MiB\n"]),
    ("bad log file", ["--log={ROOT}/no/such/x.jsonl"], {}, None, 3, [], ["App"],
     ["setup: cannot write the transcript %s/no/such/x.jsonl: No such file or directory\n"]),
    ("--help", ["--help"], {}, None, 0, [], ["App"], [USAGE, "--dest=DIR", "man setup"]),
    ("--version", ["--version"], {}, None, 0, [], ["App"],
     ["setup %s\nCopyright (C) " % VERSION]),
]


class CommandLineTest(harness.E2ETest):
    def setUp(self):
        super().setUp()
        harness.require_native(self)
        self.ws.script(SCRIPT)

    def run_setup(self, args, env=None, answers=None):
        values = {"LOG": self.ws.path("install.jsonl"), "ANS": self.ws.path("answers.txt"),
                  "ROOT": self.ws.root, "PREFIX": self.ws.prefix}
        return run(self.ws, [os.path.join(self.ws.prog, "setup")], values, args, env, answers,
                   {"WINEPREFIX": self.ws.prefix}, harness.NATIVE)

    def test_table(self):
        self.ws.write("big.txt", b"OK\n" * (1 << 19))
        check_table(self, CASES, self.run_setup)

    def test_a_usage_error_is_two_lines_without_the_help(self):
        proc = self.run_setup(["--bogus"])
        self.assertEqual((proc.returncode, proc.stdout), (3, b""))
        self.assertEqual(proc.stderr.decode(), TRY % "unknown option '--bogus'")

    def test_help_names_no_relative_manual(self):
        text = self.run_setup(["--help"]).stdout.decode()
        self.assertNotIn("docs/manual.md", text)
        self.assertRegex(text, r"Full documentation: man setup, and /\S+/share/doc/setup/manual.md")

    def test_silent_install_with_destination_and_log(self):
        proc = self.run_setup(["--silent", "--dest=C:\\Dest", "--log={LOG}"])
        self.assertEqual((proc.returncode, proc.stdout), (0, b""))
        self.assertTrue(os.path.isdir(os.path.join(self.ws.drive_c, "Dest")))
        with open(self.ws.path("install.jsonl"), encoding="utf-8") as f:
            self.assertEqual(json.loads(f.readline()), {
                "event": "SetupDialog", "title": "Setup", "destination": self.ws.prog + "\\..\\App",
                "answer": "OK", "value": "C:\\Dest"})

    def test_help_agrees_with_the_manual(self):
        with open(os.path.join(harness.SOURCE_DIR, "docs", "manual.md"), encoding="utf-8") as f:
            manual = f.read()
        options = lambda text: set(re.findall(r"(?<![\w-])--[a-z]+", text))
        usage = options(self.run_setup(["--help"]).stdout.decode())
        self.assertGreaterEqual(len(usage), 9)
        self.assertEqual(usage, options(manual))
        for switch in ("/S", "/D=", "/LOG=", "/ANSWERS=", "/CHECK", "/?"):
            self.assertIn("`" + switch, manual)


if __name__ == "__main__":
    unittest.main()
