"""The terminal front end of the native program, driven in a pseudo-terminal as a person
would type: the prompt with its default, a typed destination, the progress line, the
questions and messages, the finish text, Ctrl-C and Ctrl-D."""
import json
import os
import re
import signal
import stat
import subprocess
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

# Each case: a script, extra command-line words and environment, the conversation as
# ("expect", regex) / ("send", text) steps, the exit status, the directories below
# drive_c that must exist afterwards and those that must not.
CASES = [
    ("typed destination, message and question answered", SCRIPT, [], {}, [
        ("expect", "デモ Setup"), ("expect", PROMPT),
        ("send", "\x7f\x7f\x7fDest\r"),
        ("expect", r"line +\d+ of 6"),
        ("expect", "hello &world"), ("expect", "press Enter"), ("send", "\r"),
        ("expect", "続けますか\\? Yes"), ("expect", r"OK or CANCEL\?"), ("send", "maybe\r"),
        ("expect", r"OK or CANCEL\?"), ("send", "\r"),
        ("expect", FINISH), ("expect", "press Enter"), ("send", "\r"),
     ], 0, ["Dest/done"], ["App"]),
    ("default accepted with Enter", SCRIPT, [], {}, [
        ("expect", PROMPT), ("send", "\r"), ("expect", "press Enter"), ("send", "\r"),
        ("expect", r"OK or CANCEL\?"), ("send", "ok\r"), ("expect", FINISH), ("send", "\r"),
     ], 0, ["App/done"], []),
    ("Ctrl-C at the prompt cancels", SCRIPT, [], {}, [
        ("expect", PROMPT), ("send", "\x03"),
     ], 2, [], ["App"]),
    ("Ctrl-D at the prompt cancels", SCRIPT, [], {}, [
        ("expect", PROMPT), ("send", "\x04"),
     ], 2, [], ["App"]),
    ("CANCEL at a question ends the run", SCRIPT, [], {}, [
        ("expect", PROMPT), ("send", "\r"), ("expect", "press Enter"), ("send", "\r"),
        ("expect", r"OK or CANCEL\?"), ("send", "cancel\r"),
     ], 1, ["App"], ["App/done"]),
    ("Ctrl-C at a question answers CANCEL", SCRIPT, [], {}, [
        ("expect", PROMPT), ("send", "\r"), ("expect", "press Enter"), ("send", "\r"),
        ("expect", r"OK or CANCEL\?"), ("send", "\x03"),
     ], 1, ["App"], ["App/done"]),
    ("DiskDialog: OK tries again, CANCEL ends the run",
     "SetupDir C:\\App \nDiskCheck NO.TAG Disk 2\nMakeDir $$SETUPDIR$$\n", [], {}, [
        ("expect", PROMPT), ("send", "\r"),
        ("expect", "Cheng at 'Disk 2'"), ("expect", r"OK or CANCEL\?"), ("send", "\r"),
        ("expect", "Cheng at 'Disk 2'"), ("expect", r"OK or CANCEL\?"), ("send", "c\r"),
        ("expect", "press Enter"), ("send", "\r"),
     ], 1, [], ["App"]),
    ("--dest pre-fills the prompt", SCRIPT, ["--dest=C:\\Other"], {}, [
        ("expect", r"Setup Directory: (\x1b\[0m)?C:\\Other"), ("send", "\x04"),
     ], 2, [], ["App", "Other"]),
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
            if action == "send":
                child.send(text)
            else:
                child.expect(text)
        child.expect(pexpect.EOF)
        child.close()
        return child.exitstatus

    def test_conversations(self):
        for name, script, args, env, steps, status, made, absent in CASES:
            with self.subTest(name):
                self.ws.script(script)
                for d in ("App", "Dest", "Other"):
                    harness.shutil.rmtree(os.path.join(self.ws.drive_c, d), ignore_errors=True)
                child = self.spawn(args, env)
                self.assertEqual(self.converse(child, steps), status)
                for d in made:
                    self.assertTrue(os.path.isdir(os.path.join(self.ws.drive_c, d)), d)
                for d in absent:
                    self.assertFalse(os.path.exists(os.path.join(self.ws.drive_c, d)), d)

    def test_progress_is_redrawn_on_one_line(self):
        self.ws.script("\n" * 30 + "Message end\n")
        child = self.spawn()
        child.expect(PROMPT.replace("C:\\\\App", "C:\\\\"))
        child.send("\r")
        child.expect("end")
        drawn = child.before
        bars = re.findall(r"\[[#-]+\] +\d+%  line +\d+ of 31", drawn)
        self.assertGreaterEqual(len(bars), 31)
        self.assertIn("100%  line 31 of 31", drawn)
        # From the first bar to the message, only carriage returns: the screen never scrolls.
        first = drawn.index(bars[0])
        self.assertNotIn("\n", drawn[first:drawn.rindex(bars[-1])])
        child.expect("press Enter")
        child.send("\r")
        child.expect(FINISH)
        child.send("\r")
        self.assertEqual(self.converse(child, []), 0)

    def test_progress_fits_a_terminal_made_narrower_without_erase_line(self):
        # TERM=dumb cannot erase a line, so blanks overwrite the old bar: never as many as
        # would wrap in the narrower terminal.
        self.ws.script("SetupDir C:\\App \nMessage hi\n" + "\n" * 10 + "Message end\n")
        child = self.spawn(env={"TERM": "dumb"})
        child.expect(PROMPT)
        child.send("\r")
        child.expect("press Enter")
        child.setwinsize(24, 30)
        child.send("\r")
        child.expect("end")
        for piece in re.split(r"[\r\n]", child.before):
            self.assertLessEqual(len(piece), 29, repr(piece))
        child.expect("press Enter")
        child.send("\r")
        child.expect(FINISH)
        child.send("\r")
        self.assertEqual(self.converse(child, []), 0)

    def slow_program(self, seconds):
        """prog/slow.exe, a registration program that takes `seconds`: a run in progress."""
        slow = self.ws.write("prog/slow.exe", "#!/bin/sh\nsleep %d\n" % seconds)
        os.chmod(slow, os.stat(slow).st_mode | stat.S_IXUSR)

    def test_ctrl_c_during_a_run_is_ignored_with_a_note(self):
        self.slow_program(2)
        self.ws.script('SetupDir C:\\App \nMessage hi\nRegsvr "$$FD$$\\slow.exe"\nMakeDir $$SETUPDIR$$\n')
        child = self.spawn()
        child.expect(PROMPT)
        child.send("\r")
        child.expect("press Enter")  # a prompt of the run: echo stays off after it
        child.send("\r")
        child.expect(r"line +3 of 4")
        child.sendintr()
        child.expect("Ctrl-C is ignored")
        self.assertNotIn("^C", child.before)  # an echo would wrap or scroll the progress line
        child.expect(FINISH)
        child.send("\r")
        self.assertEqual(self.converse(child, []), 0)
        self.assertTrue(os.path.isdir(os.path.join(self.ws.drive_c, "App")))

    def test_terminal_echoes_again_after_a_signal_ends_the_run(self):
        self.slow_program(5)
        self.ws.script('SetupDir C:\\App \nRegsvr "$$FD$$\\slow.exe"\nMakeDir $$SETUPDIR$$\n')
        child = self.spawn()
        child.expect(PROMPT)
        child.send("\r")
        child.expect(r"line +2 of 3")
        self.assertFalse(termios.tcgetattr(child.child_fd)[3] & termios.ECHO)  # quiet while running
        child.kill(signal.SIGTERM)
        child.expect(pexpect.EOF)
        self.assertTrue(termios.tcgetattr(child.child_fd)[3] & termios.ECHO)

    def test_colour_only_without_no_color(self):
        for env, coloured in (({}, True), ({"NO_COLOR": "1"}, False), ({"TERM": "dumb"}, False)):
            with self.subTest(env=env):
                self.ws.script("SetupDir C:\\App \n")
                child = self.spawn(env=env)
                child.expect("Setup Directory: ")
                shown = child.before + child.after
                child.send("\x03")
                self.assertEqual(self.converse(child, []), 2)
                self.assertEqual("\x1b[1m" in shown, coloured)

    def test_ui_terminal_with_piped_input_and_output(self):
        # No line editing: the default is shown in brackets and an empty line takes it; no
        # colour or terminal sequences go into the pipe.
        for typed, status, made in (("\n\nok\n\n", 0, "App/done"), ("C:\\Dest\n\nok\n\n", 0, "Dest/done"),
                                    ("", 2, None)):
            with self.subTest(typed=typed):
                self.ws.script(SCRIPT)
                for d in ("App", "Dest"):
                    harness.shutil.rmtree(os.path.join(self.ws.drive_c, d), ignore_errors=True)
                env = dict(os.environ, WINEPREFIX=self.ws.prefix, TERM="xterm-256color", LANG="C.UTF-8")
                env.pop("NO_COLOR", None)
                proc = subprocess.run([self.program, "--ui=terminal"], input=typed.encode(), env=env,
                                      capture_output=True, timeout=30, cwd=self.ws.root)
                out = proc.stdout.decode("utf-8")
                self.assertEqual(proc.returncode, status, out)
                self.assertIn("Setup Directory: [C:\\App]", out)
                self.assertNotIn("\x1b", out)
                if made:
                    self.assertTrue(os.path.isdir(os.path.join(self.ws.drive_c, made)), made)
                else:
                    self.assertFalse(os.path.exists(os.path.join(self.ws.drive_c, "App")))

    def test_transcript_with_the_terminal_front_end(self):
        self.ws.script(SCRIPT)
        log = self.ws.path("install.jsonl")
        child = self.spawn(["--log=" + log])
        status = self.converse(child, [("expect", PROMPT), ("send", "\r"), ("expect", "press Enter"),
                                       ("send", "\r"), ("expect", r"OK or CANCEL\?"), ("send", "c\r")])
        self.assertEqual(status, 1)
        with open(log, encoding="utf-8") as f:
            events = [json.loads(line) for line in f]
        self.assertEqual(events[0], {"event": "SetupDialog", "title": "デモ Setup", "destination": "C:\\App",
                                     "answer": "OK", "value": "C:\\App"})
        self.assertEqual(events[-1], {"event": "MessageDialog", "text": "続けますか? &Yes", "answer": "CANCEL"})
        self.assertIn({"event": "MessageBox", "caption": "setup", "style": 0x40040, "text": "hello &world"}, events)


if __name__ == "__main__":
    unittest.main()
