"""The native program's terminal front end in a pseudo-terminal, as a person types."""
import io
import os
import re
import signal
import stat
import termios
import unittest

import harness

try:
    import pexpect
except ImportError:  # tools/deps.sh installs python3-pexpect
    pexpect = None

SCRIPT = ('WindowTitle "デモ Setup"\nSetupDir C:\\App \nMakeDir $$SETUPDIR$$\n'
          'Message hello &world\nMessageBox "続けますか? &Yes"\nMakeDir $$SETUPDIR$$\\done\n')
PROMPT = r"Setup Directory: (\x1b\[0m)?C:\\App"
FINISH = "It succeeded in the making a setup"
SLOW = 'Regsvr "$$FD$$\\slow.exe"\nMakeDir $$SETUPDIR$$\n'
ESCAPES = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")


def screen_lines(text):
    """The lines left on screen by `text`: escape sequences dropped, a carriage return
    starting its line again, blank lines left out."""
    lines = [ESCAPES.sub("", line).split("\r")[-1] for line in text.split("\r\n")]
    return [line for line in lines if line.strip()]

# (name, words, environment, whether in colour, conversation of ("expect", regex) /
# ("send", text) steps, exit status, directories below drive_c that must exist, must not).
CASES = [
    ("typed destination, message and question answered", [], {}, True, [
        ("expect", "デモ Setup"), ("expect", PROMPT), ("send", "\x7f\x7f\x7fDest\r"),
        ("expect", r"line +\d+ of 6"), ("expect", "hello &world"), ("expect", "press Enter"), ("send", "\r"),
        ("expect", "続けますか\\? Yes"), ("expect", r"OK or CANCEL\?"), ("send", "maybe\r"),
        ("expect", r"OK or CANCEL\?"), ("send", "\r"),
        ("expect", FINISH), ("expect", "press Enter"), ("send", "\r")], 0, ["Dest/done"], ["App"]),
    ("Ctrl-C at the prompt cancels", [], {"TERM": "dumb"}, False,
     [("expect", PROMPT), ("send", "\x03")], 2, [], ["App"]),
    ("Ctrl-C at a question answers CANCEL", [], {}, True, [
        ("expect", PROMPT), ("send", "\r"), ("expect", "press Enter"), ("send", "\r"),
        ("expect", r"OK or CANCEL\?"), ("send", "\x03"),
        # Line numbers count as the run does: the quoted title's line counts twice.
        ("expect", r'Stopped at line 6 of Setup.Inf: CANCEL was answered to "続けますか\? Yes"')],
     1, ["App"], ["App/done"]),
    ("--dest pre-fills the prompt, Ctrl-D cancels", ["--dest=C:\\Other"], {"NO_COLOR": "1"}, False,
     [("expect", r"Setup Directory: (\x1b\[0m)?C:\\Other"), ("send", "\x04")], 2, [], ["App", "Other"]),
    ("a destination the code page cannot hold is asked for again", ["--dest=C:\\Café"], {"NO_COLOR": "1"}, False,
     [("expect", r"Setup Directory: C:\\Café"), ("send", "\r"),
      ("expect", r"The destination 'C:\\Café' has characters that this system's code page cannot hold"),
      ("expect", "press Enter"), ("send", "\r"), ("expect", r"Setup Directory: C:\\Café"),
      ("send", "\x7f\x7f\x7f\x7fDest\r"), ("expect", "press Enter"), ("send", "\r"),
      ("expect", r"OK or CANCEL\?"), ("send", "CANCEL\r"), ("expect", "Stopped at line 6 of Setup.Inf")],
     1, ["Dest"], ["App", "Dest/done", "Caf?", "Cafe"]),
]


class TerminalTest(harness.E2ETest):
    def setUp(self):
        super().setUp()
        harness.require_native(self)
        if pexpect is None:
            self.skipTest("pexpect is not installed")
        self.program = os.path.join(self.ws.prog, "setup")
        os.symlink(harness.NATIVE, self.program)

    def spawn(self, args=(), env=None):
        full = dict(os.environ, WINEPREFIX=self.ws.prefix, TERM="xterm-256color", LANG="C.UTF-8")
        for name in ("SETUP_UI", "SETUP_ANSWERS", "SETUP_TRANSCRIPT", "NO_COLOR", "LC_ALL"):
            full.pop(name, None)
        full.update(env or {})
        child = pexpect.spawn(self.program, list(args), env=full, encoding="utf-8",
                              timeout=30, dimensions=(24, 80), cwd=self.ws.root)
        self.addCleanup(child.close, force=True)
        return child

    def converse(self, child, steps):
        for action, text in steps:
            child.send(text) if action == "send" else child.expect(text)
        child.expect(pexpect.EOF)
        child.close()
        return child.exitstatus

    def start_run(self, script, seconds=None, prompt=PROMPT):
        """Spawns over `script` and accepts the default; `seconds` adds prog/slow.exe, a
        registration program that keeps the run in progress that long."""
        if seconds:
            slow = self.ws.write("prog/slow.exe", "#!/bin/sh\nsleep %d\n" % seconds)
            os.chmod(slow, os.stat(slow).st_mode | stat.S_IXUSR)
        self.ws.script(script)
        child = self.spawn()
        child.expect(prompt)
        child.send("\r")
        return child

    def finish(self, child):
        child.expect(FINISH)
        child.send("\r")
        self.assertEqual(self.converse(child, []), 0)

    def test_conversations(self):
        for name, args, env, coloured, steps, status, made, absent in CASES:
            with self.subTest(name):
                self.ws.script(SCRIPT)
                for d in ("App", "Dest", "Other"):
                    harness.shutil.rmtree(os.path.join(self.ws.drive_c, d), ignore_errors=True)
                child = self.spawn(args, env)
                child.logfile_read = io.StringIO()
                self.assertEqual(self.converse(child, steps), status)
                self.assertEqual("\x1b[1m" in child.logfile_read.getvalue(), coloured)
                for d in made:
                    self.assertTrue(os.path.isdir(os.path.join(self.ws.drive_c, d)), d)
                for d in absent:
                    self.assertFalse(os.path.exists(os.path.join(self.ws.drive_c, d)), d)

    def test_progress_is_redrawn_on_one_line(self):
        child = self.start_run("\n" * 30 + "Message end\n", prompt=PROMPT.replace("C:\\\\App", "C:\\\\"))
        child.expect("end")
        bars = re.findall(r"\[[#-]+\] +\d+%  line +\d+ of 31", child.before)
        self.assertGreaterEqual(len(bars), 31)
        self.assertIn("100%  line 31 of 31", child.before)
        # From the first bar to the message only carriage returns: the screen never scrolls.
        self.assertNotIn("\n", child.before[child.before.index(bars[0]):child.before.rindex(bars[-1])])
        child.expect("press Enter")
        child.send("\r")
        self.finish(child)

    def test_ctrl_c_during_a_run_is_ignored_with_a_note(self):
        child = self.start_run("SetupDir C:\\App \nMessage hi\n" + SLOW, seconds=2)
        child.expect("press Enter")  # a prompt of the run: echo stays off after it
        child.send("\r")
        child.expect(r"line +3 of 4")
        child.sendintr()
        child.expect("Ctrl-C is ignored")
        self.assertNotIn("^C", child.before)  # an echo would wrap or scroll the progress line
        self.finish(child)
        self.assertTrue(os.path.isdir(os.path.join(self.ws.drive_c, "App")))

    def test_keys_typed_during_a_step_answer_no_later_question(self):
        child = self.start_run("SetupDir C:\\App \n" + SLOW + 'MessageBox "続けますか?"\n'
                               "MakeDir $$SETUPDIR$$\\done\n", seconds=2)
        child.expect(r"line +2 of 5")
        child.send("c\r")  # while the registration program runs, before any question
        child.expect(r"OK or CANCEL\?")
        child.send("\r")
        self.finish(child)
        self.assertTrue(os.path.isdir(os.path.join(self.ws.drive_c, "App", "done")))

    def test_finish_text_is_the_last_thing_shown(self):
        child = self.start_run("SetupDir C:\\App \nMakeDir $$SETUPDIR$$\n")
        child.expect(FINISH)
        self.assertEqual(screen_lines(child.before)[-1], "[" + "#" * 40 + "]  100%  line 2 of 2")
        child.expect("press Enter")
        child.send("\r")
        self.assertEqual(self.converse(child, []), 0)
        self.assertEqual(screen_lines(child.before), [])  # no bar drawn after it

    def test_a_run_that_stops_ends_saying_where_and_why(self):
        child = self.start_run("SetupDir C:\\App \nMakeDir $$SETUPDIR$$\nErrorExit Disk  full\n"
                               "MakeDir $$SETUPDIR$$\\late\n")
        child.expect("press Enter")
        child.send("\r")
        self.assertEqual(self.converse(child, []), 1)
        self.assertEqual(screen_lines(child.before)[-2:], [
            "[" + "#" * 30 + "----------]   75%  line 3 of 4",
            "Stopped at line 3 of Setup.Inf: Disk  full"])
        self.assertFalse(os.path.exists(os.path.join(self.ws.drive_c, "App", "late")))

    def test_terminal_echoes_again_after_a_signal_ends_the_run(self):
        child = self.start_run("SetupDir C:\\App \n" + SLOW, seconds=5)
        child.expect(r"line +2 of 3")
        self.assertFalse(termios.tcgetattr(child.child_fd)[3] & termios.ECHO)
        child.kill(signal.SIGTERM)
        child.expect(pexpect.EOF)
        self.assertTrue(termios.tcgetattr(child.child_fd)[3] & termios.ECHO)


if __name__ == "__main__":
    unittest.main()
