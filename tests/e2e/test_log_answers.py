"""The native program's install log and answers file under faults: a log that cannot be
written (exit 4 after a finished run, said once on standard error), a destination the
code page cannot hold (refused, nothing written, exit 3), answers files that are no
regular file or too long (exit 3 before anything is shown)."""
import os
import subprocess
import unittest

import harness
from log_answers_cases import (NATIVE_REASONS, NO_SPACE, SCRIPT, bad_answers_files, cannot_read,
                               cannot_write, full_disk, limit_file, refusal)


class LogAnswersTest(harness.E2ETest):
    def setUp(self):
        super().setUp()
        harness.require_native(self)
        self.ws.script(SCRIPT)
        self.app = self.ws.path("App")

    def run_setup(self, args, env=None, stdout=subprocess.PIPE):
        full = {k: v for k, v in os.environ.items() if not k.startswith("SETUP_")}
        full["WINEPREFIX"] = self.ws.prefix
        full.update(env or {})
        return subprocess.run([os.path.join(self.ws.prog, "setup")] + args, executable=harness.NATIVE,
                              env=full, cwd=self.ws.root, stdin=subprocess.DEVNULL, stdout=stdout,
                              stderr=subprocess.PIPE, timeout=60)

    def check(self, args, status, stderr, made, env=None, stdout=subprocess.PIPE):
        subprocess.run(["rm", "-rf", self.app], check=True)
        proc = self.run_setup(args, env, stdout)
        self.assertEqual((proc.returncode, proc.stderr.decode()), (status, stderr))
        self.assertEqual(os.path.isdir(self.app), made)
        return proc

    def test_log_that_cannot_be_written(self):
        cancel = self.ws.write("cancel.txt", "CANCEL\n")
        ok_log = self.ws.path("ok.jsonl")
        cases = [
            ("a finished run: 4", ["--silent", "--log=/dev/full"], {}, 4, cannot_write("setup", "/dev/full", NO_SPACE), True),
            ("SETUP_TRANSCRIPT", ["--silent"], {"SETUP_TRANSCRIPT": "/dev/full"},
             4, cannot_write("setup", "/dev/full", NO_SPACE), True),
            ("a cancelled run keeps 2", ["--answers=" + cancel, "--log=/dev/full"], {},
             2, cannot_write("setup", "/dev/full", NO_SPACE), False),
            ("a log that can be written", ["--silent", "--log=" + ok_log], {}, 0, "", True),
        ]
        for name, args, env, status, stderr, made in cases:
            with self.subTest(name):
                self.check(args, status, stderr, made, env)
        with open(ok_log, encoding="utf-8") as f:
            kinds = harness.Result(0, f.read(), "").kinds()
        self.assertEqual((kinds[0], kinds[-1]), ("SetupDialog", "FinishDialog"))

    def test_standard_output_as_the_log(self):
        # Named with "-" it is the install log; by default it is only a view of the run.
        with open("/dev/full", "wb") as full:
            self.check(["--silent", "--log=-"], 4, cannot_write("setup", "-", NO_SPACE), True, stdout=full)
            self.check(["--silent"], 0, "", True, stdout=full)

    def test_log_on_a_full_disk(self):
        disk = full_disk(self, self.ws)
        log = os.path.join(disk, "setup.jsonl")
        self.check(["--silent", "--log=" + log], 4, cannot_write("setup", log, NO_SPACE), True)
        self.assertEqual(os.path.getsize(log), 0)

    def test_destination_the_code_page_cannot_hold(self):
        log = self.ws.path("setup.jsonl")
        answers = self.ws.write("answers.txt", "OK C:\\Café\r\n".encode("utf-8"))
        for name, args in (("--dest", ["--silent", "--dest=C:\\Café"]), ("an answer", ["--answers=" + answers])):
            with self.subTest(name):
                self.check(args + ["--log=" + log], 3, "", False)
                with open(log, encoding="utf-8") as f:
                    events = harness.Result(3, f.read(), "").events
                self.assertEqual(events, [{"event": "MessageBox", "caption": "setup", "style": 0,
                                           "text": refusal("C:\\Café")}])
                self.assertEqual(sorted(os.listdir(self.ws.drive_c)), ["windows"])
        # What code page 932 holds is installed where it was named.
        self.check(["--silent", "--dest=C:\\アプリ", "--log=" + log], 0, "", False)
        self.assertEqual(sorted(os.listdir(self.ws.drive_c)), ["windows", "アプリ"])

    def test_bad_answers_files(self):
        for name, path in bad_answers_files(self.ws):
            for how, args, env in (("--answers", ["--answers=" + path], {}),
                                   ("SETUP_ANSWERS", ["--ui=batch"], {"SETUP_ANSWERS": path})):
                with self.subTest(name, how=how):
                    proc = self.check(args, 3, cannot_read("setup", path, NATIVE_REASONS[name]), False, env)
                    self.assertEqual(proc.stdout, b"")  # not even the log's first record
        missing = self.ws.path("missing.txt")
        self.check(["--answers=" + missing], 3, cannot_read("setup", missing, "No such file or directory"),
                   False)
        # A file of exactly the limit is read: its first line cancels.
        self.check(["--answers=" + limit_file(self.ws)], 2, "", False)


if __name__ == "__main__":
    unittest.main()
