"""`Setup.exe /CHECK` of both builds under Wine: the table of defective program
directories, the demo, PATH left out, and that a check changes nothing."""
import os
import unittest

import check_cases
import harness
from harness import E2ETest, require_wine


class CheckWineTest(E2ETest, check_cases.CheckAssertions):
    def setUp(self):
        super().setUp()
        require_wine(self)

    def script_path(self):
        return self.ws.winpath(self.ws.prog) + "\\Setup.Inf"

    def test_defective_program_directories(self):
        for build, exe in harness.available_win_exes():
            for name, files, script, expected, status, fragments in check_cases.CASES:
                with self.subTest(build=build, case=name):
                    self.ws.cleanup()
                    self.ws = type(self.ws)()
                    check_cases.write_case(self.ws, files, script)
                    code, out, err = check_cases.run_wine_check(self.ws, exe, self.ws.winpath(self.ws.prog))
                    self.assert_case(code, out, self.script_path(), expected, status, fragments, name)

    def test_the_demo_checks_clean_and_unchanged(self):
        check_cases.copy_demo(self.ws)
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                # Without PATH: the program's own directory.
                check_cases.run_wine_check(self.ws, exe)  # places Setup.exe in prog/
                before = check_cases.snapshot(self.ws.root)
                code, out, err = check_cases.run_wine_check(self.ws, exe, place=False)
                self.assertEqual((code, out), (0, b""), err)
                self.assertEqual(check_cases.snapshot(self.ws.root), before)


if __name__ == "__main__":
    unittest.main()
