"""TextCopy, JapanCopy and EnglishCopy in the native program: the filtered output, the
argument syntax, and failures that leave an existing destination untouched (a real full
disk included, on a small tmpfs when one can be mounted)."""
import os
import unittest

import harness
from harness import E2ETest, require_native
import textcopy_cases as cases


class TextCopyTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_native(self)
        self.app = os.path.join(self.ws.drive_c, "App")
        os.makedirs(self.app)

    def run_script(self, *lines):
        self.ws.script("SetupDir C:\\App \n" + "".join(line + "\n" for line in lines))
        return self.ws.run_native()

    def out(self, name):
        with open(os.path.join(self.app, name), "rb") as f:
            return f.read()

    def assert_no_temporary_files(self, directory):
        self.assertEqual([n for n in os.listdir(directory) if n.startswith(".")], [])

    def test_worked_example_in_japanese_mode(self):
        for crlf in (False, True):
            self.ws.write("prog/src.txt", cases.worked_example(crlf))
            r = self.run_script("TextCopy $$FD$$\\src.txt $$SETUPDIR$$\\text.txt",
                                "JapanCopy $$FD$$\\src.txt $$SETUPDIR$$\\japan.txt",
                                "EnglishCopy $$FD$$\\src.txt $$SETUPDIR$$\\english.txt")
            self.assertEqual(r.status, 0, r.events)
            self.assertEqual(r.messages(), [])
            self.assertEqual(self.out("text.txt"), cases.worked_example_japanese())
            self.assertEqual(self.out("japan.txt"), cases.worked_example_japanese())
            self.assertFalse(os.path.exists(os.path.join(self.app, "english.txt")))

    def test_mixed_source(self):
        self.ws.write("prog/mixed.txt", cases.MIXED)
        r = self.run_script("TextCopy $$FD$$\\mixed.txt C:\\App\\mixed.txt")
        self.assertEqual(r.status, 0, r.events)
        self.assertEqual(self.out("mixed.txt"), cases.MIXED_JAPANESE)

    def test_english_copy_without_arguments_is_passed_over(self):
        r = self.run_script("EnglishCopy", "Message done")
        self.assertEqual(r.status, 0, r.events)
        self.assertEqual(r.messages(), ["done"])

    def test_destination_is_the_rest_of_the_line(self):
        self.ws.write("prog/my src.txt", b"x\n")
        r = self.run_script('TextCopy "$$FD$$\\my src.txt"   C:\\App\\with blanks.txt  ',
                            'TextCopy "$$FD$$\\my src.txt" C:\\App\\日本語.txt')
        self.assertEqual(r.status, 0, r.events)
        # The trailing blanks belong to the destination; Windows drops them from the name.
        self.assertEqual(self.out("with blanks.txt"), b"x\r\n")
        self.assertEqual(self.out("日本語.txt"), b"x\r\n")

    def test_copy_onto_itself_receives_the_filtered_text(self):
        with open(os.path.join(self.app, "self.txt"), "wb") as f:
            f.write(cases.worked_example(False))
        r = self.run_script("TextCopy C:\\App\\self.txt C:\\App\\self.txt")
        self.assertEqual(r.status, 0, r.events)
        self.assertEqual(self.out("self.txt"), cases.worked_example_japanese())
        self.assert_no_temporary_files(self.app)

    def test_failures_leave_the_destination_untouched(self):
        prog = self.ws.prog
        self.ws.write("prog/unclosed.txt", b"a\n/* b\nc\n")
        self.ws.write("prog/long.txt", b"x\n" + b"$$FD$$" * 600 + b"\n")
        failures = [
            ("TextCopy $$FD$$\\none.txt C:\\App\\dest.txt",
             "Can't open %s\\none.txt file" % prog),
            ("TextCopy $$FD$$\\unclosed.txt C:\\App\\dest.txt",
             "%s\\unclosed.txt:(3) /* */ Syntax Error" % prog),
            ("TextCopy $$FD$$\\long.txt C:\\App\\dest.txt",
             "%s\\long.txt:(2) line too long" % prog),
            ("TextCopy $$FD$$\\unclosed.txt C:\\App\\no\\dir\\dest.txt",
             "Can't Create C:\\App\\no\\dir\\dest.txt file"),
        ]
        for line, message in failures:
            with self.subTest(line=line):
                with open(os.path.join(self.app, "dest.txt"), "wb") as f:
                    f.write(b"old")
                r = self.run_script(line, "Message never")
                self.assertEqual(r.status, 1, r.events)
                self.assertEqual(r.messages(), [message])
                self.assertEqual(self.out("dest.txt"), b"old")
                self.assertNotIn("FinishDialog", r.kinds())
                self.assertEqual(sorted(os.listdir(self.app)), ["dest.txt"])

    def test_full_disk(self):
        disk = harness.small_disk(self, self.ws)
        with open(os.path.join(disk, "dest.txt"), "wb") as f:
            f.write(b"old")
        self.ws.write("prog/big.txt", b"/* \x93\xfa $# en */ line of some length\n" * 8000)
        r = self.run_script("TextCopy $$FD$$\\big.txt %s/dest.txt" % disk, "Message never")
        self.assertEqual(r.status, 1, r.events)
        self.assertEqual(r.messages(), ["Can't write %s/dest.txt file" % disk])
        with open(os.path.join(disk, "dest.txt"), "rb") as f:
            self.assertEqual(f.read(), b"old")
        self.assertEqual(os.listdir(disk), ["dest.txt"])
        # The same copy fits once the source is small enough.
        self.ws.write("prog/big.txt", b"/* \x93\xfa $# en */ line\n" * 100)
        r = self.run_script("TextCopy $$FD$$\\big.txt %s/dest.txt" % disk)
        self.assertEqual(r.status, 0, r.events)
        with open(os.path.join(disk, "dest.txt"), "rb") as f:
            self.assertEqual(f.read(), b"/* \x93\xfa */ line\r\n" * 100)


if __name__ == "__main__":
    unittest.main()
