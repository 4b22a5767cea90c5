"""TextCopy, JapanCopy and EnglishCopy in both Setup.exe builds under Wine: the filtered
output, and failures that leave an existing destination untouched."""
import os
import shutil
import unittest

import harness
from harness import E2ETest, require_wine
import textcopy_cases as cases


class TextCopyWineTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_wine(self)
        self.fd = self.ws.winpath(self.ws.prog)

    def target(self, build):
        name = "e2e-textcopy-%s-%d-%s" % (build, os.getpid(), self._testMethodName)
        path = os.path.join(harness.wine_c_drive(), name)
        os.makedirs(path)
        self.addCleanup(shutil.rmtree, path, True)
        return "C:\\" + name, path

    @staticmethod
    def read(path):
        with open(path, "rb") as f:
            return f.read()

    def test_worked_example_and_mixed_source(self):
        self.ws.write("prog/src.txt", cases.worked_example(True))
        self.ws.write("prog/mixed.txt", cases.MIXED)
        self.ws.write("prog/my src.txt", b"x\n")
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                win, posix = self.target(build)
                with open(os.path.join(posix, "self.txt"), "wb") as f:
                    f.write(cases.worked_example(False))
                self.ws.script("SetupDir C:\\App \n"
                               "TextCopy $$FD$$\\src.txt %s\\text.txt\n"
                               "JapanCopy $$FD$$\\src.txt %s\\japan.txt\n"
                               "EnglishCopy $$FD$$\\src.txt %s\\english.txt\n"
                               "TextCopy $$FD$$\\mixed.txt %s\\mixed.txt\n"
                               "TextCopy \"$$FD$$\\my src.txt\" %s\\日本 語.txt\n"
                               "TextCopy %s\\self.txt %s\\self.txt\n"
                               % (win, win, win, win, win, win, win))
                r = self.ws.run_wine(exe)
                self.assertEqual(r.status, 0, r.events)
                self.assertEqual(r.messages(), [])
                self.assertEqual(self.read(os.path.join(posix, "text.txt")), cases.worked_example_japanese())
                self.assertEqual(self.read(os.path.join(posix, "japan.txt")), cases.worked_example_japanese())
                self.assertFalse(os.path.exists(os.path.join(posix, "english.txt")))
                self.assertEqual(self.read(os.path.join(posix, "mixed.txt")), cases.MIXED_JAPANESE)
                self.assertEqual(self.read(os.path.join(posix, "日本 語.txt")), b"x\r\n")
                self.assertEqual(self.read(os.path.join(posix, "self.txt")), cases.worked_example_japanese())

    def test_failures_leave_the_destination_untouched(self):
        self.ws.write("prog/unclosed.txt", b"a\n/* b\nc\n")
        for build, exe in harness.available_win_exes():
            win, posix = self.target(build)
            failures = [
                ("TextCopy $$FD$$\\none.txt %s\\dest.txt" % win,
                 "Can't open %s\\none.txt file" % self.fd),
                ("TextCopy $$FD$$\\unclosed.txt %s\\dest.txt" % win,
                 "%s\\unclosed.txt:(3) /* */ Syntax Error" % self.fd),
                ("TextCopy $$FD$$\\unclosed.txt %s\\no\\dir\\dest.txt" % win,
                 "Can't Create %s\\no\\dir\\dest.txt file" % win),
            ]
            for line, message in failures:
                with self.subTest(build=build, line=line):
                    with open(os.path.join(posix, "dest.txt"), "wb") as f:
                        f.write(b"old")
                    self.ws.script(line + "\nMessage never\n")
                    r = self.ws.run_wine(exe)
                    self.assertEqual(r.status, 1, r.events)
                    self.assertEqual(r.messages(), [message])
                    self.assertEqual(self.read(os.path.join(posix, "dest.txt")), b"old")
                    self.assertEqual(sorted(os.listdir(posix)), ["dest.txt"])


if __name__ == "__main__":
    unittest.main()
