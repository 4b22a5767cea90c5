"""StartThread in a program built as Setup.exe is, under Wine: without exceptions but in
two files, libstdc++'s throw helpers replaced. A thread that cannot be started (the
address space used up, so no stack can be reserved) is answered with false, not an end
of the program: tests/fixtures/thread_start/thread_start_probe.exe, in both builds."""
import os
import subprocess
import unittest

import harness
from harness import E2ETest, require_wine


class ThreadStartWineTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_wine(self)

    def test_a_thread_that_cannot_start_is_answered_false(self):
        ran = 0
        for build, fixtures in sorted(harness.FIXTURES.items()):
            probe = os.path.join(fixtures, "thread_start", "thread_start_probe.exe")
            if not fixtures or not os.path.exists(probe):
                continue
            with self.subTest(build=build):
                env = dict(os.environ)
                env.update(harness.wine_env())
                proc = subprocess.run(["wine", probe], env=env, cwd=self.ws.root,
                                      stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, timeout=120)
                out = proc.stdout.decode("utf-8", "replace").strip()
                err = proc.stderr.decode("utf-8", "replace")[-2000:]
                self.assertEqual(proc.returncode, 0, out + "\n" + err)
                self.assertEqual(out, "first 1 second 0 joinable 0")
                ran += 1
        if not ran:
            self.skipTest("thread_start_probe.exe not built")


if __name__ == "__main__":
    unittest.main()
