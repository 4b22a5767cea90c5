"""`setup --check` with no Wine prefix: output and exit status, the demo, PATH, and that a
check changes nothing."""
import os
import unittest

import check_cases
from check_cases import run_native_check, parse
from harness import E2ETest, Workspace, require_native


class CheckTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_native(self)
        self.script_path = os.path.join(self.ws.prog, "Setup.Inf")

    def test_cases(self):
        for name, files, script, expected, status in check_cases.CASES:
            with self.subTest(case=name):
                ws = Workspace()
                self.addCleanup(ws.cleanup)
                check_cases.write_case(ws, files, script)
                code, out, err = run_native_check(ws, ws.prog)
                path = os.path.join(ws.prog, "Setup.Inf")
                self.assertEqual((code, parse(out)), (status, [(path, ln, sev) for ln, sev in expected]), err)

    def test_the_demo_checks_clean_and_unchanged(self):
        check_cases.copy_demo(self.ws)
        with open(self.script_path, "ab") as f:  # a check that ran these would show it
            f.write(b"MakeDir $$FD$$\\made\r\nBinCopy $$FD$$\\files\\app.dat $$FD$$\\copy.dat\r\nErrorExit stop\r\n")
        before = check_cases.snapshot(self.ws.root)
        # A relative PATH makes $$FD$$ relative too; its sources are still the program's.
        for path in (self.ws.prog, os.path.relpath(self.ws.prog, self.ws.root)):
            code, out, err = run_native_check(self.ws, path)
            self.assertEqual((code, out), (0, b""), (path, err))
        self.assertEqual(check_cases.snapshot(self.ws.root), before)

    def test_path_forms(self):
        self.ws.script("ＢＡＤ 日本語\n")
        other = self.ws.write("other/test.inf", b"Message fine\r\nMakeDir\r\n")
        nowhere = self.ws.path("nowhere")
        for args, path, line in (((), self.script_path, 1), ((self.ws.prog + "/",), self.script_path, 1),
                                 ((other,), other, 2), ((nowhere,), os.path.join(nowhere, "Setup.Inf"), 0)):
            with self.subTest(args=args):
                code, out, err = run_native_check(self.ws, *args)
                self.assertEqual((code, parse(out)), (1, [(path, line, "error")]), err)
        self.assertIn("ＢＡＤ".encode(), run_native_check(self.ws)[1])

    def test_a_directory_whose_name_ends_in_a_second_byte_of_0x5c(self):
        # 表 is 0x95 0x5C in code page 932: its second byte is no separator to strip or join.
        script = self.ws.write("x/表/Setup.Inf", "Bogus\n")
        for path in (os.path.dirname(script), os.path.dirname(script) + "/"):
            with self.subTest(path=path):
                code, out, err = run_native_check(self.ws, path)
                self.assertEqual((code, parse(out)), (1, [(script, 1, "error")]), err)


if __name__ == "__main__":
    unittest.main()
