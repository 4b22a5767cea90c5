"""Setup.exe under faults, both builds: a full disk (a 1 MiB tmpfs reached through Z:), the
leftovers of an earlier run, and unattended runs without standard handles, which must
end on their own and never wait for a person."""
import glob
import os
import shutil
import subprocess
import unittest

import harness

OLD = b"OLD-BIN-W"
USAGE = "Usage: Setup.exe"
# A guard against a hang, never a measure: every case ends in well under a second or two.
HANG_GUARD = 60


def batch_env(ws):
    env = dict(os.environ, **harness.wine_env(), SETUP_UI="batch",
               SETUP_TRANSCRIPT=ws.path("transcript.jsonl"))
    env.pop("SETUP_ANSWERS", None)
    return env


def leftovers(folder):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(folder, "~stp*")))


class FaultsWineTest(harness.WineTest):
    def setUp(self):
        super().setUp()
        self.dest = self.ws.path("dest")
        os.makedirs(self.dest)
        self.win_dest = self.ws.winpath(self.dest)

    def place(self, exe):
        target = os.path.join(self.ws.prog, "Setup.exe")
        shutil.copyfile(exe, target)
        return target

    def old_file(self, name="app.bin", folder=None):
        return self.ws.write(os.path.join(folder or self.dest, name), OLD)

    def test_a_full_disk_keeps_the_old_file(self):
        tiny = harness.small_disk(self, self.ws, size="1m")
        self.ws.write("prog/big.bin", os.urandom(2 * 1024 * 1024))
        self.ws.write("prog/big.txt", b"line of text\r\n" * 150000)
        cases = [("BinCopy", "big.bin", "app.bin", "It failed in the copy form {src} to {dst}"),
                 ("TextCopy", "big.txt", "app.txt", "Can't write {dst} file")]
        for build, exe in harness.available_win_exes():
            for command, source, name, message in cases:
                with self.subTest(build=build, command=command):
                    dest = self.old_file(name, tiny)
                    src = self.ws.winpath(self.ws.prog) + "\\" + source
                    dst = self.ws.winpath(tiny) + "\\" + name
                    sep = "\t" if command == "BinCopy" else " "
                    self.ws.script("%s $$FD$$\\%s%s%s\n" % (command, source, sep, dst))
                    r = self.ws.run_wine(exe)
                    self.assertEqual((r.status, r.messages()),
                                     (1, [message.format(src=src, dst=dst)]))
                    with open(dest, "rb") as f:
                        self.assertEqual(f.read(), OLD)
                    self.assertEqual(sorted(os.listdir(tiny)), [name])
                    os.remove(dest)

    def test_a_killed_copy_keeps_the_old_file_and_the_next_run_removes_its_leftover(self):
        # A sparse source costs nothing to read, so the copy runs long enough to be killed
        # while its temporary file grows; the kill comes long before its end. The next run
        # removes leftovers of its own pattern only.
        others = ["~stpnothex.tmp", "x~stp0101032C.tmp"]
        with open(self.ws.path("prog/big.bin"), "wb") as f:
            f.truncate(8 << 30)
        self.ws.write("prog/new.bin", b"NEW")

        def temp_grown():
            for name in leftovers(self.dest):
                try:
                    if os.path.getsize(os.path.join(self.dest, name)) >= 4 << 20:
                        return True
                except OSError:
                    pass
            return False

        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                dest = self.old_file("app.bin")
                self.ws.script("BinCopy $$FD$$\\big.bin\t%s\\app.bin\n" % self.win_dest)
                proc = subprocess.Popen(["wine", self.place(exe)], env=batch_env(self.ws),
                                        cwd=self.ws.root, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
                try:
                    grown = harness.wait_for(temp_grown, HANG_GUARD, interval=0.02)
                finally:
                    proc.kill()
                    proc.wait()
                self.assertTrue(grown)
                with open(dest, "rb") as f:
                    self.assertEqual(f.read(), OLD)
                self.assertEqual(len(leftovers(self.dest)), 1)
                for name in others:
                    self.old_file(name)
                self.ws.script("BinCopy $$FD$$\\new.bin\t%s\\other.bin\n" % self.win_dest)
                r = self.ws.run_wine(exe)
                self.assertEqual(r.status, 0, r.events)
                self.assertEqual(sorted(os.listdir(self.dest)), sorted(["app.bin", "other.bin"] + others))
                for name in ["other.bin"] + others:
                    os.remove(os.path.join(self.dest, name))

    def test_unattended_never_waits_without_standard_handles(self):
        # (switches, exit status, texts the /LOG= file must hold, or None for no log)
        log = self.ws.path("setup.log")
        win_log = self.ws.winpath(log)
        cases = [
            (["/S", "/BAD"], 3, None),
            (["/S", "/?"], 0, None),
            (["/BAD", "/ANSWERS=C:\\a.txt"], 3, None),
            (["/S", "/BAD", "/LOG=" + win_log], 3, ["Setup: unknown switch '/BAD'", USAGE]),
            (["/LOG=" + win_log, "/s", "/?"], 0, [USAGE, "/D=path"]),
            (["/CHECK", "/S"], 1, None),
            (["/CHECK", "/S", "/LOG=" + win_log], 1, ["Setup.Inf:1: error: "]),
        ]
        self.ws.script("Goto nowhere\n")
        for build, exe in harness.available_win_exes():
            target = self.place(exe)
            for switches, status, texts in cases:
                with self.subTest(build=build, switches=switches):
                    if os.path.exists(log):
                        os.remove(log)
                    env = {k: v for k, v in batch_env(self.ws).items() if not k.startswith("SETUP_")}
                    proc = subprocess.run(["sh", "-c", 'exec "$@" <&- >&- 2>&-', "sh", "wine", target]
                                          + switches, env=env, cwd=self.ws.root, timeout=HANG_GUARD)
                    self.assertEqual(proc.returncode, status)
                    if texts is None:
                        self.assertFalse(os.path.exists(log))
                        continue
                    with open(log, encoding="utf-8") as f:
                        written = f.read()
                    for text in texts:
                        self.assertIn(text, written)


if __name__ == "__main__":
    unittest.main()
