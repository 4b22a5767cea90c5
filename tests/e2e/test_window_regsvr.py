"""Regsvr with the real windows of Setup.exe under Xvfb: while a slow registration
program runs, SetupDialog keeps serving its window messages (it repaints what another
window uncovered), and a second OK (Return, a click of its OK button) or a close sent to
it is ignored, so the run completes once.
"""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import harness

TITLE = "RegsvrWindowTest"
TOOLS = ("Xvfb", "xdotool", "import", "compare", "xmessage")


wait_for = harness.wait_for
Display = harness.Display


def differing_pixels(a, b):
    r = subprocess.run(["compare", "-metric", "AE", a, b, "null:"],
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return float(r.stderr.decode().split()[0])


read_log = harness.read_record


class RegsvrWindowTest(harness.E2ETest):
    def setUp(self):
        harness.require_wine(self)
        missing = [t for t in TOOLS if not shutil.which(t)]
        if missing:
            self.skipTest("missing: " + " ".join(missing))
        super().setUp()
        self.display = Display()
        self.addCleanup(self.display.close)

    def run_window_setup(self, build, exe):
        slow = os.path.join(harness.FIXTURES[build], "regsvr", "regsvr_slow.exe")
        if not os.path.exists(slow):
            self.skipTest("regsvr_slow.exe not built for " + build)
        comp = self.ws.path(build, "comp")
        os.makedirs(comp)
        prog = os.path.join(comp, "regsvr_slow.exe")
        shutil.copyfile(slow, prog)
        self.ws.script('WindowTitle "%s"\nRegsvr "%s"\n' % (TITLE, self.ws.winpath(prog)))
        shutil.copyfile(exe, os.path.join(self.ws.prog, "Setup.exe"))

        env = self.display.env()
        env.update(harness.wine_env())
        env.pop("SETUP_UI", None)
        env.pop("SETUP_ANSWERS", None)
        transcript = self.ws.path(build + "-transcript.jsonl")
        env["SETUP_TRANSCRIPT"] = transcript
        errors = self.ws.path(build + "-stderr.txt")
        with open(errors, "wb") as stderr:
            setup = subprocess.Popen(["wine", os.path.join(self.ws.prog, "Setup.exe")], env=env,
                                     cwd=self.ws.root, stdout=subprocess.DEVNULL, stderr=stderr)

        def end_setup():
            if setup.poll() is None:
                setup.kill()
                setup.wait()
        self.addCleanup(end_setup)

        windows = wait_for(lambda: self.display.windows(TITLE), 60)
        self.assertTrue(windows, "SetupDialog did not appear")
        self.assertEqual(len(windows), 1)
        dialog = windows[0]

        # OK: the run starts and the registration program with it.
        self.assertTrue(self.display.press(dialog, "Return"))
        self.assertTrue(wait_for(lambda: any(l.startswith("start") for l in read_log(prog)), 30),
                        "the registration program did not start")

        # Cover part of the dialog with another window, then uncover it: only a dialog
        # whose messages are dispatched paints the uncovered part again.
        time.sleep(0.3)
        before = self.ws.path(build + "-before.png")
        after = self.ws.path(build + "-after.png")
        self.assertTrue(self.display.screenshot(dialog, before))
        x, y, width, height = self.display.geometry(dialog)
        cover = subprocess.Popen(
            ["xmessage", "-geometry", "%dx%d+%d+%d" % (width, height, x, y), "-bg", "red",
             "cover " * 40],
            env=self.display.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertTrue(wait_for(lambda: self.display.windows("xmessage"), 10), "no cover window")
        time.sleep(0.3)
        cover.terminate()
        cover.wait()
        time.sleep(0.5)
        self.assertTrue(self.display.screenshot(dialog, after))
        self.assertLess(differing_pixels(before, after), 200,
                        "SetupDialog was not repainted during the wait")

        # A second OK while the program runs, in the three ways it can come: Return (the
        # wait dispatches without the dialog manager, so it reaches the focused control),
        # Space on the OK button, which has the focus (a click), and Alt+F4 (a close).
        for key in ("Return", "space", "alt+F4"):
            self.assertTrue(self.display.press(dialog, key), key)
        time.sleep(0.5)
        self.assertIn(dialog, self.display.windows(TITLE), "SetupDialog closed during the run")
        self.assertNotIn("end", read_log(prog),
                         "the checks must happen while the program runs; it has ended already")

        # The run ends once: one FinishDialog over SetupDialog.
        self.assertTrue(wait_for(lambda: "end" in read_log(prog), 30), "the program did not end")
        finish = wait_for(lambda: [w for w in self.display.windows(TITLE) if w != dialog], 30)
        self.assertTrue(finish, "FinishDialog did not appear")
        self.assertEqual(len(finish), 1)
        self.assertTrue(self.display.press(finish[0], "Return"))
        try:
            status = setup.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.fail("Setup.exe did not end after FinishDialog: a second run or dialog is open")
        with open(errors, encoding="utf-8", errors="replace") as f:
            self.assertEqual(status, 0, f.read())

        self.assertEqual([l.split("\t")[0] for l in read_log(prog)], ["start", "end"])
        with open(transcript, encoding="utf-8") as f:
            result = harness.Result(status, f.read(), "")
        self.assertEqual(result.kinds().count("SetupDialog"), 1)
        self.assertEqual([e["answer"] for e in result.of("FinishDialog")], ["OK"])
        self.assertEqual(result.messages(), [])

    def test_dialog_lives_and_ignores_a_second_ok_during_the_wait(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                self.run_window_setup(build, exe)


if __name__ == "__main__":
    unittest.main()
