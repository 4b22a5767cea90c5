"""`Setup.exe /CHECK` of both builds under Wine: the small table, and the demo checked
clean and unchanged with PATH left out."""
import unittest

import check_cases
import harness
from harness import Workspace


class CheckWineTest(harness.WineTest):
    def test_cases_and_demo(self):
        check_cases.copy_demo(self.ws)
        for build, exe in harness.available_win_exes():
            for name, files, script, expected, status in check_cases.CASES:
                with self.subTest(build=build, case=name):
                    ws = Workspace()
                    self.addCleanup(ws.cleanup)
                    check_cases.write_case(ws, files, script)
                    code, out, err = check_cases.run_wine_check(ws, exe, ws.winpath(ws.prog))
                    path = ws.winpath(ws.prog) + "\\Setup.Inf"
                    self.assertEqual((code, check_cases.parse(out)),
                                     (status, [(path, ln, sev) for ln, sev in expected]), err)
            with self.subTest(build=build, case="demo"):
                check_cases.run_wine_check(self.ws, exe)  # places Setup.exe in prog/
                before = check_cases.snapshot(self.ws.root)
                code, out, err = check_cases.run_wine_check(self.ws, exe, place=False)
                self.assertEqual((code, out), (0, b""), err)
                self.assertEqual(check_cases.snapshot(self.ws.root), before)


if __name__ == "__main__":
    unittest.main()
