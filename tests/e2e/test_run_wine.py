"""Runs of both Setup.exe builds under Wine in batch mode: every action command, the
installed tree byte for byte, failures and their messages."""
import os
import shutil
import unittest

import harness
from harness import E2ETest, require_wine
import run_cases


class RunWineTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_wine(self)
        run_cases.install_payload(self.ws)
        self.fd = self.ws.winpath(self.ws.prog)

    def target(self, build):
        name = "e2e-run-%s-%d-%s" % (build, os.getpid(), self._testMethodName)
        path = os.path.join(harness.wine_c_drive(), name)
        self.addCleanup(shutil.rmtree, path, True)
        return "C:\\" + name, path

    def test_full_script_installs_an_identical_tree(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                win, posix = self.target(build)
                os.makedirs(posix)
                with open(os.path.join(posix, "a.bin"), "wb") as f:
                    f.write(b"old contents")
                self.ws.script(run_cases.full_script(win))
                r = self.ws.run_wine(exe)
                self.assertEqual(r.status, 0, r.events)
                self.assertEqual(r.of("SetupDialog")[0]["title"], "Full Run")
                self.assertEqual(r.of("SetupDialog")[0]["value"], win)
                self.assertEqual(r.messages(), ["Installed into " + win])
                self.assertEqual(r.of("MessageBox")[0]["caption"], "Setup")
                self.assertEqual(r.of("MessageDialog")[0]["text"], "Install now?\nReally?")
                self.assertEqual(r.events[-1], {"event": "FinishDialog", "title": "Full Run", "answer": "OK"})
                for rel, name in (("data/a.bin", "a.bin"), ("data/b.txt", "sub/b.txt"),
                                  ("data/日本.bin", "日本.bin")):
                    with open(os.path.join(posix, name), "rb") as f:
                        self.assertEqual(f.read(), self.ws.read("prog/" + rel), name)

    def test_failures_end_the_run(self):
        for build, exe in harness.available_win_exes():
            cases = [
                ("BinCopy $$FD$$\\data\\missing.bin C:\\x.bin\nMessage never\n",
                 ["It failed in the copy form %s\\data\\missing.bin to C:\\x.bin" % self.fd]),
                ("BinCopy $$FD$$\\data\\a.bin $$FD$$\\data\\a.bin\n",
                 ["It failed in the copy form {0}\\data\\a.bin to {0}\\data\\a.bin".format(self.fd)]),
                ("MakeDir C:\\no\\such\\dir\n", ["The 'C:\\no\\such\\dir' directroy can not be make"]),
                ("ErrorExit 中止しました\nMessage never\n", ["中止しました"]),
                ("Goto\n", ["GOTO にラベルが有りません"]),
                ("BinCopy $$FD$$\\data\\a.bin\n", ["%s\\Setup.Infの1行目にTABが有りません" % self.fd]),
            ]
            for script, messages in cases:
                with self.subTest(build=build, script=script):
                    self.ws.script(script)
                    r = self.ws.run_wine(exe)
                    self.assertEqual(r.status, 1)
                    self.assertEqual(r.messages(), messages)
                    self.assertNotIn("FinishDialog", r.kinds())
            self.assertEqual(self.ws.read("prog/data/a.bin"), run_cases.PAYLOAD["prog/data/a.bin"])

    def test_refused_destinations_names_and_cut_messages(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                win, posix = self.target(build)
                run_cases.check_edge_cases(self, lambda: self.ws.run_wine(exe), self.fd, win, posix)

    def test_disk_dialog_and_message_dialog_answers(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                self.ws.script('WindowTitle "Disks" \nDiskCheck DISK2.TAG Insert disk 2\n')
                r = self.ws.run_wine(exe, answers=["OK", "OK", "CANCEL"])
                self.assertEqual(r.status, 1)
                self.assertEqual([e["answer"] for e in r.of("DiskDialog")], ["OK", "CANCEL"])
                self.assertEqual(r.of("DiskDialog")[0]["title"], "Disks")
                self.assertEqual(r.messages(), ["Making a setup was stopped."])
                self.ws.script("MessageBox Go?\nMessage never\n")
                r = self.ws.run_wine(exe, answers=["OK", "CANCEL"])
                self.assertEqual(r.status, 1)
                self.assertEqual(r.messages(), [])

    def test_missing_label_still_finishes_but_exits_1(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                self.ws.script(":top\nGoto top\nMessage never\n")
                r = self.ws.run_wine(exe)
                self.assertEqual(r.status, 1)
                self.assertEqual(r.messages(), ["Setup script Error. Nothing (top) label"])
                self.assertEqual(r.kinds()[-1], "FinishDialog")


if __name__ == "__main__":
    unittest.main()
