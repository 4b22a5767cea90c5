"""The demo (examples/demo) installed natively into a destination that holds blanks: every
token that holds $$SETUPDIR$$ is quoted, so nothing is cut at the blank."""
import os
import unittest

import check_cases
import harness


class DemoTest(harness.E2ETest):
    def setUp(self):
        super().setUp()
        harness.require_native(self)

    def test_a_destination_with_blanks(self):
        check_cases.copy_demo(self.ws)
        os.makedirs(os.path.join(self.ws.drive_c, "Program Files"))
        result = self.ws.run_native(answers=["OK C:\\Program Files\\My App"])
        self.assertEqual(result.status, 0, result.stderr)
        app = os.path.join(self.ws.drive_c, "Program Files", "My App")
        for name in ("app.dat", "config.ini", os.path.join("doc", "readme.txt")):
            self.assertTrue(os.path.isfile(os.path.join(app, name)), name)
        self.assertEqual(sorted(os.listdir(self.ws.drive_c)), ["Program Files", "windows"])


if __name__ == "__main__":
    unittest.main()
