"""`setup --check`: the table of defective program directories, the demo, the forms of
PATH, and that a check changes nothing, with no Wine prefix at all."""
import os
import unittest

import check_cases
from harness import E2ETest, require_native


class CheckTest(E2ETest, check_cases.CheckAssertions):
    def setUp(self):
        super().setUp()
        require_native(self)
        self.script_path = os.path.join(self.ws.prog, "Setup.Inf")

    def test_defective_program_directories(self):
        for name, files, script, expected, status, fragments in check_cases.CASES:
            with self.subTest(case=name):
                self.ws.cleanup()
                self.ws = type(self.ws)()
                self.script_path = os.path.join(self.ws.prog, "Setup.Inf")
                check_cases.write_case(self.ws, files, script)
                code, out, err = check_cases.run_native_check(self.ws, self.ws.prog)
                self.assert_case(code, out, self.script_path, expected, status, fragments, name)

    def test_the_demo_checks_clean(self):
        check_cases.copy_demo(self.ws)
        # A relative PATH makes $$FD$$ relative too; its sources are still the program's.
        for path in (self.ws.prog, os.path.relpath(self.ws.prog, self.ws.root)):
            with self.subTest(path=path):
                code, out, err = check_cases.run_native_check(self.ws, path)
                self.assertEqual((code, out), (0, b""), err)

    def test_a_check_changes_nothing(self):
        check_cases.copy_demo(self.ws)
        # Every kind of command, so that a check that ran anything would show it.
        with open(self.script_path, "ab") as f:
            f.write(b"MakeDir $$FD$$\\made\r\nBinCopy $$FD$$\\files\\app.dat $$FD$$\\copy.dat\r\n"
                    b"TextCopy $$FD$$\\files\\readme.txt $$FD$$\\files\\readme.txt\r\n"
                    b"ErrorExit stop\r\n")
        before = check_cases.snapshot(self.ws.root)
        code, out, err = check_cases.run_native_check(self.ws, self.ws.prog)
        self.assertEqual(code, 0, out)
        self.assertEqual(check_cases.snapshot(self.ws.root), before)
        self.assertFalse(os.path.exists(self.ws.path("no-prefix")))

    def test_path_forms(self):
        self.ws.script("Bogus\n")
        other = self.ws.write("other/test.inf", b"Message fine\r\nMakeDir\r\n")
        for args, path, line in (((), self.script_path, 1),
                                 ((self.ws.prog + "/",), self.script_path, 1),
                                 ((other,), other, 2)):
            with self.subTest(args=args):
                code, out, err = check_cases.run_native_check(self.ws, *args)
                findings = check_cases.parse(out)
                self.assertEqual(code, 1, err)
                self.assertEqual([(p, ln, sev) for p, ln, sev, _ in findings], [(path, line, "error")])

    def test_missing_script_is_an_error_of_the_whole_script(self):
        code, out, err = check_cases.run_native_check(self.ws, self.ws.prog)
        findings = check_cases.parse(out)
        self.assertEqual(code, 1)
        self.assertEqual([(p, ln, sev) for p, ln, sev, _ in findings], [(self.script_path, 0, "error")])

    def test_findings_are_utf8(self):
        self.ws.script("ＢＡＤ 日本語\n")
        code, out, err = check_cases.run_native_check(self.ws, self.ws.prog)
        self.assertEqual(code, 1)
        self.assertIn("ＢＡＤ", check_cases.parse(out)[0][3])


if __name__ == "__main__":
    unittest.main()
