"""Setup.exe's install log and answers file under faults, both builds under Wine (code
page 932): /LOG= on a full disk (exit 4, said on standard error), /D= with a character
code page 932 cannot hold (refused, nothing made, exit 3), answers files that are no
regular file or too long (exit 3)."""
import os
import shutil
import subprocess
import unittest

import harness
from log_answers_cases import SCRIPT, bad_answers_files, cannot_read, cannot_write, full_disk, refusal


class LogAnswersWineTest(harness.WineTest):
    def setUp(self):
        super().setUp()
        self.ws.script(SCRIPT)
        self.app = self.ws.path("App")

    def run_exe(self, exe, switches):
        target = os.path.join(self.ws.prog, "Setup.exe")
        shutil.copyfile(exe, target)
        env = {k: v for k, v in os.environ.items() if not k.startswith("SETUP_")}
        env.update(harness.wine_env())
        return subprocess.run(["wine", target] + switches, env=env, cwd=self.ws.root, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=120)

    def check(self, exe, switches, status, stderr, made):
        shutil.rmtree(self.app, ignore_errors=True)
        proc = self.run_exe(exe, switches)
        self.assertEqual((proc.returncode, proc.stderr.decode("utf-8", "replace")), (status, stderr))
        self.assertEqual(os.path.isdir(self.app), made)
        return proc

    def test_log_on_a_full_disk(self):
        disk = full_disk(self, self.ws)
        log = self.ws.winpath(os.path.join(disk, "setup.jsonl"))
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                self.check(exe, ["/S", "/LOG=" + log], 4, cannot_write("Setup", log), True)

    def test_destination_the_code_page_cannot_hold(self):
        # Wine's best-fit table would make C:\Cafe of it: the round trip refuses that too.
        made = [os.path.join(harness.wine_c_drive(), name) for name in ("Cafe", "Café", "Caf?")]
        log = self.ws.path("setup.jsonl")
        self.addCleanup(lambda: [shutil.rmtree(p, ignore_errors=True) for p in made])
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                self.check(exe, ["/S", "/LOG=" + self.ws.winpath(log), "/D=C:\\Café"], 3, "", False)
                with open(log, encoding="utf-8") as f:
                    events = harness.Result(3, f.read(), "").events
                self.assertEqual(events, [{"event": "MessageBox", "caption": "Setup", "style": 0,
                                           "text": refusal("C:\\Café")}])
                self.assertEqual([p for p in made if os.path.exists(p)], [])

    def test_bad_answers_files(self):
        cases = [(name, path) for name, path in bad_answers_files(self.ws) if not path.startswith("/dev/")]
        cases.append(("an endless device", "/dev/zero"))
        for build, exe in harness.available_win_exes():
            for name, path in cases:
                with self.subTest(name, build=build):
                    answers = self.ws.winpath(path)
                    self.check(exe, ["/ANSWERS=" + answers], 3, cannot_read("Setup", answers), False)


if __name__ == "__main__":
    unittest.main()
