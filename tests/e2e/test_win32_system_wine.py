"""The Windows system layer (Win32System) against the real Win32 services under Wine:
tests/fixtures/win32_system/win32_system_check.exe runs its checks in a scratch
directory, in both builds, and names every check that failed."""
import os
import subprocess
import unittest

import harness
from harness import E2ETest, require_wine


class Win32SystemWineTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_wine(self)

    def test_system_layer_checks_pass(self):
        ran = 0
        for build, fixtures in sorted(harness.FIXTURES.items()):
            check = os.path.join(fixtures, "win32_system", "win32_system_check.exe")
            if not fixtures or not os.path.exists(check):
                continue
            with self.subTest(build=build):
                scratch = self.ws.path("scratch-" + build)
                os.makedirs(scratch)
                env = dict(os.environ)
                env.update(harness.wine_env())
                proc = subprocess.run(["wine", check, self.ws.winpath(scratch)], env=env,
                                      cwd=self.ws.root, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                      timeout=120)
                out = proc.stdout.decode("utf-8", "replace")
                self.assertEqual(proc.returncode, 0, out)
                self.assertIn("0 failed", out)
                # Nothing is left behind but what the checks made on purpose.
                self.assertEqual(sorted(os.listdir(scratch)),
                                 ["copy.bin", "leftovers", "made", "out.txt", "ran.txt", "source.bin"])
                ran += 1
        if not ran:
            self.skipTest("win32_system_check.exe not built")


if __name__ == "__main__":
    unittest.main()
