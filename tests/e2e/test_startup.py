"""Start-up of the native program in batch mode: the script path, the default
destination and title in SetupDialog, Cancel, and the exit status; where the program
directory comes from (DIR, the starting path, the current directory)."""
import os
import subprocess
import unittest

import harness
from harness import E2ETest, require_native

try:
    import pexpect
except ImportError:  # tools/deps.sh installs python3-pexpect
    pexpect = None

NO_DIR = ("setup: no Setup.Inf in the current directory; name the program directory: "
          "setup [OPTION]... DIR\n")

# Ways to start the program: (name, argv[0] (None: a real link prog/setup, run by that
# path), working directory below the workspace, words, exit status, whether C:\App is
# made, the exact standard error or None, text standard error must hold or None).
START_CASES = [
    ("DIR, found through PATH", "setup", "", ["--silent", "prog"], 0, True, "", None),
    ("DIR with trailing slashes", "setup", "", ["--silent", "{ROOT}/prog//"], 0, True, "", None),
    ("DIR before the options", "setup", "", ["prog", "--silent"], 0, True, "", None),
    ("DIR beats the starting path", "{ROOT}/elsewhere/setup", "", ["--silent", "prog"], 0, True, "", None),
    ("through PATH in the program directory", "setup", "prog", ["--silent"], 0, True, "", None),
    ("through PATH, a script name in other case", "setup", "lower", ["--silent"], 0, True, "", None),
    ("through PATH elsewhere: the hint", "setup", "", ["--silent"], 3, False, NO_DIR, None),
    ("a link placed in the program directory", None, "", ["--silent"], 0, True, "", None),
    ("the starting path's directory holds no script", "{ROOT}/elsewhere/setup", "", ["--silent"], 3,
     False, None, "setup: no Setup.Inf beside the program in {ROOT}/elsewhere; name the program "
     "directory: setup [OPTION]... DIR\n"),
    ("--check through PATH elsewhere: the hint", "setup", "", ["--check"], 3, False, NO_DIR, None),
    ("--check keeps its PATH", "setup", "", ["--check", "prog"], 0, False, None, None),
    ("--check through PATH in the program directory", "setup", "prog", ["--check"], 0, False, None, None),
]


class StartupTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_native(self)

    def test_missing_script_names_its_full_path(self):
        r = self.ws.run_native()
        self.assertEqual(r.status, 3)
        self.assertEqual(r.events, [{"event": "MessageBox", "caption": "setup", "style": 0,
                                     "text": "Can't Open %s\\Setup.Inf file." % self.ws.prog}])

    def test_no_windows_directory(self):
        os.rename(os.path.join(self.ws.drive_c, "windows"), os.path.join(self.ws.drive_c, "win"))
        self.ws.script("SetupDir C:\\App \n")
        r = self.ws.run_native()
        self.assertEqual(r.status, 3)
        self.assertEqual(r.messages(), ["Install Windows System in the destination than it is'nt installed"])

    def test_dialog_shows_expanded_destination_and_title(self):
        self.ws.script('WindowTitle "デモ Setup"\nSetupDir $$FD$$\\App \n')
        r = self.ws.run_native(answers=["CANCEL"])
        self.assertEqual(r.status, 2)
        self.assertEqual(r.events, [{"event": "SetupDialog", "title": "デモ Setup",
                                     "destination": self.ws.prog + "\\App", "answer": "CANCEL"}])

    def test_without_setupdir_the_destination_is_c(self):
        self.ws.script("Message hello\n")
        r = self.ws.run_native(answers=["CANCEL"])
        self.assertEqual(r.status, 2)
        self.assertEqual(r.events[0]["destination"], "C:\\")
        self.assertEqual(r.events[0]["title"], "Setup")
        self.assertEqual(len(r.events), 1)  # nothing ran

    def test_windows_and_system_macros(self):
        self.ws.script("SetupDir $$SYSTEM$$ \nMessage $$WINDOWS$$|$$FD$$\n")
        r = self.ws.run_native()
        self.assertEqual(r.events[0]["destination"], "C:\\windows\\system32")
        self.assertEqual(r.messages(), ["C:\\windows|" + self.ws.prog])
        self.assertEqual(r.status, 0)

    def test_prescan_token_message_names_the_line(self):
        self.ws.script("' first\nSetupDir C:\\End")
        r = self.ws.run_native(answers=["CANCEL"])
        self.assertEqual(r.messages(), ["%s\\Setup.Infの2行目にTABが有りません" % self.ws.prog])
        self.assertEqual(r.of("SetupDialog")[0]["destination"], "C:\\End")

    def test_transcript_goes_to_standard_output_without_a_file(self):
        import subprocess
        self.ws.script("")
        env = dict(os.environ, SETUP_UI="batch", WINEPREFIX=self.ws.prefix)
        env.pop("SETUP_TRANSCRIPT", None)
        env.pop("SETUP_ANSWERS", None)
        proc = subprocess.run([os.path.join(self.ws.prog, "setup")], executable=os.environ["SETUP_NATIVE"],
                              env=env, stdout=subprocess.PIPE, timeout=60)
        self.assertEqual(proc.returncode, 0)
        lines = proc.stdout.decode().splitlines()
        self.assertEqual(lines, [
            '{"event":"SetupDialog","title":"Setup","destination":"C:\\\\","answer":"OK","value":"C:\\\\"}',
            '{"event":"Progress","range":0}', '{"event":"Progress","pos":0}',
            '{"event":"Progress","pos":0}', '{"event":"FinishDialog","title":"Setup","answer":"OK"}'])

    def test_unknown_answer_is_cancel(self):
        self.ws.script("")
        r = self.ws.run_native(answers=["MAYBE"])
        self.assertEqual(r.status, 2)
        self.assertIn("MAYBE", r.stderr)


class ProgramDirectoryTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_native(self)
        script = "SetupDir C:\\App \nMakeDir \"$$SETUPDIR$$\"\n"
        self.ws.script(script)
        self.ws.write("lower/setup.inf", script)
        os.makedirs(self.ws.path("elsewhere"))
        os.symlink(harness.NATIVE, os.path.join(self.ws.prog, "setup"))

    def start(self, argv0, cwd, words, env=None):
        fill = lambda text: text.replace("{ROOT}", self.ws.root)
        full = {k: v for k, v in os.environ.items()
                if k not in ("SETUP_UI", "SETUP_ANSWERS", "SETUP_TRANSCRIPT")}
        full.update(WINEPREFIX=self.ws.prefix, SETUP_TRANSCRIPT=self.ws.path("t.jsonl"))
        full.update(env or {})
        if argv0 is None:
            argv, executable = [os.path.join("prog", "setup")], None
        else:
            argv, executable = [fill(argv0)], harness.NATIVE
        return subprocess.run(argv + [fill(w) for w in words], executable=executable, env=full,
                              cwd=self.ws.path(cwd), stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=120)

    def test_where_the_program_directory_comes_from(self):
        for name, argv0, cwd, words, status, made, stderr, holds in START_CASES:
            with self.subTest(name):
                harness.shutil.rmtree(os.path.join(self.ws.drive_c, "App"), ignore_errors=True)
                proc = self.start(argv0, cwd, words)
                err = proc.stderr.decode("utf-8", "replace")
                self.assertEqual(proc.returncode, status, err + proc.stdout.decode())
                self.assertEqual(os.path.isdir(os.path.join(self.ws.drive_c, "App")), made)
                if stderr is not None:
                    self.assertEqual(err, stderr)
                if holds is not None:
                    self.assertIn(holds.replace("{ROOT}", self.ws.root), err)

    def test_the_missing_prefix_hint_comes_before_the_message(self):
        if pexpect is None:
            self.skipTest("pexpect is not installed")
        env = {k: v for k, v in os.environ.items() if k not in ("SETUP_UI", "SETUP_TRANSCRIPT")}
        env.update(WINEPREFIX=self.ws.path("none"), TERM="dumb", LANG="C.UTF-8")
        child = pexpect.spawn(os.path.join(self.ws.prog, "setup"), ["--ui=terminal"], env=env,
                              encoding="utf-8", timeout=30, cwd=self.ws.root)
        self.addCleanup(child.close, force=True)
        child.expect("no Windows directory .*--prefix=DIR or WINEPREFIX=DIR")
        child.expect("Install Windows System in the destination than it is'nt installed")
        child.expect("press Enter")
        child.send("\r")
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.exitstatus, 3)


if __name__ == "__main__":
    unittest.main()
