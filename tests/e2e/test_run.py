"""Runs of the native program: every action command, failures, Goto and DiskCheck."""
import os
import unittest

from harness import E2ETest, require_native
import run_cases


class RunTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_native(self)
        run_cases.install_payload(self.ws)

    def target(self):
        return os.path.join(self.ws.drive_c, "Target")

    def test_full_script_installs_an_identical_tree(self):
        self.ws.script(run_cases.full_script("C:\\Target"))
        # An existing destination is replaced.
        os.makedirs(self.target())
        with open(os.path.join(self.target(), "a.bin"), "wb") as f:
            f.write(b"old")
        r = self.ws.run_native()
        self.assertEqual(r.status, 0, r.events)
        self.assertEqual(r.kinds()[0], "SetupDialog")
        self.assertEqual(r.of("SetupDialog")[0]["value"], "C:\\Target")
        self.assertEqual(r.of("MessageDialog"), [{"event": "MessageDialog", "text": "Install now?\nReally?",
                                                  "answer": "OK"}])
        self.assertEqual(r.messages(), ["Installed into C:\\Target"])
        self.assertEqual(r.of("MessageBox")[0]["style"], 0x40040)
        self.assertEqual(r.events[-1], {"event": "FinishDialog", "title": "Full Run", "answer": "OK"})
        for rel, name in (("data/a.bin", "a.bin"), ("data/b.txt", "sub/b.txt"), ("data/日本.bin", "日本.bin")):
            self.assertEqual(self.ws.read("prog/" + rel), self.ws.read("prefix/drive_c/Target/" + name), name)
        src = os.stat(self.ws.path("prog/data/a.bin"))
        dst = os.stat(os.path.join(self.target(), "a.bin"))
        self.assertEqual(int(src.st_mtime), int(dst.st_mtime))
        lines = len(run_cases.full_script("C:\\Target").split("\r\n")) - 1
        self.assertEqual(r.of("Progress")[0], {"event": "Progress", "range": lines})
        # The quoted WindowTitle leaves one more line behind its title, which the run
        # counts but the range does not.
        self.assertEqual([e["pos"] for e in r.of("Progress")[1:]], [0] + list(range(1, lines + 2)) + [lines])

    def test_failing_command_ends_the_run(self):
        cases = [
            ("BinCopy $$FD$$\\data\\missing.bin C:\\x.bin\nMessage never\n",
             ["It failed in the copy form %s\\data\\missing.bin to C:\\x.bin" % self.ws.prog]),
            ("MakeDir C:\\no\\such\\dir\nMessage never\n", ["The 'C:\\no\\such\\dir' directroy can not be make"]),
            ("ErrorExit Stopped by the script\nMessage never\n", ["Stopped by the script"]),
            ("Bogus words\n", ["Setup script Error (words)"]),
        ]
        for script, messages in cases:
            self.ws.script(script)
            r = self.ws.run_native()
            self.assertEqual(r.status, 1, script)
            self.assertEqual(r.messages(), messages, script)
            self.assertNotIn("FinishDialog", r.kinds(), script)

    def test_refused_destinations_names_and_cut_messages(self):
        run_cases.check_edge_cases(self, self.ws.run_native, self.ws.prog, "C:\\Target", self.target())

    def test_cancelled_message_dialog_ends_the_run(self):
        self.ws.script("MessageBox Continue?\nMessage never\n")
        r = self.ws.run_native(answers=["OK", "CANCEL"])
        self.assertEqual(r.status, 1)
        self.assertEqual(r.of("MessageDialog")[0]["answer"], "CANCEL")
        self.assertEqual(r.messages(), [])
        self.assertNotIn("FinishDialog", r.kinds())

    def test_binary_copy_onto_itself_fails_and_keeps_the_file(self):
        self.ws.script("BinCopy $$FD$$\\data\\a.bin $$FD$$\\DATA\\A.BIN\n")
        before = self.ws.read("prog/data/a.bin")
        r = self.ws.run_native()
        self.assertEqual(r.status, 1)
        self.assertEqual(len(r.messages()), 1)
        self.assertEqual(self.ws.read("prog/data/a.bin"), before)

    def test_goto_missing_label_finishes_after_one_message_but_exits_1(self):
        self.ws.script(":back\nGoto back\nMessage never\n")
        r = self.ws.run_native()
        self.assertEqual(r.status, 1)
        self.assertEqual(r.messages(), ["Setup script Error. Nothing (back) label"])
        self.assertEqual(r.kinds()[-1], "FinishDialog")

    def test_disk_check_prompts_until_cancel(self):
        self.ws.script('WindowTitle "Disks"\nDiskCheck DISK2.TAG Insert disk 2\nMessage never\n')
        r = self.ws.run_native(answers=["OK", "OK", "CANCEL"])
        self.assertEqual(r.status, 1)
        self.assertEqual(r.of("DiskDialog"), [
            {"event": "DiskDialog", "title": "Disks", "text": "Cheng at 'Insert disk 2'", "answer": "OK"},
            {"event": "DiskDialog", "title": "Disks", "text": "Cheng at 'Insert disk 2'", "answer": "CANCEL"}])
        self.assertEqual(r.messages(), ["Making a setup was stopped."])

    def test_disk_check_finds_the_file_case_insensitively(self):
        self.ws.write("prog/Disk2.Tag", b"")
        self.ws.script("DiskCheck DISK2.TAG Insert disk 2\n")
        r = self.ws.run_native()
        self.assertEqual(r.status, 0)
        self.assertEqual(r.of("DiskDialog"), [])

    def test_destination_typed_in_the_dialog(self):
        self.ws.script("SetupDir C:\\Default \nMakeDir $$SETUPDIR$$\nBinCopy $$FD$$\\data\\b.txt $$SETUPDIR$$\\b.txt\n")
        r = self.ws.run_native(answers=["OK C:\\Typed"])
        self.assertEqual(r.status, 0)
        self.assertEqual(r.of("SetupDialog")[0]["value"], "C:\\Typed")
        self.assertEqual(self.ws.read("prefix/drive_c/Typed/b.txt"), self.ws.read("prog/data/b.txt"))


if __name__ == "__main__":
    unittest.main()
