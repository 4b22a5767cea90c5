"""The product's uninstall entry against real Wine: written, read back, replaced and
removed by both Setup.exe builds (Win32System, in the 64-bit view) and by the native
program's PosixSystem, there both while a Wine server runs for the prefix (through Wine's
reg tool) and while none does (the hive file rewritten, the rest of it byte for byte).
`wine uninstaller --list` must show the entry, and no longer show it once removed.
The probes (tests/fixtures/entry_probe) write the entry through the real code."""
import os
import re
import shutil
import subprocess
import unittest

import harness

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
NATIVE_PROBE = os.environ.get("SETUP_POSIX_ENTRY_PROBE", "")
BLOCK = re.compile(r"\n\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\%s\] "
                   r"\d+\n#time=[0-9a-f]+\n(?:\"[^\n]*\n)*")


def wine_env(prefix=None):
    env = dict(os.environ)
    env.update(harness.wine_env())
    if prefix:
        env["WINEPREFIX"] = prefix
    return env


def run(argv, env, **kw):
    return subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=180, **kw)


def listed(env):
    """What `wine uninstaller --list` shows: Id -> DisplayName."""
    out = run(["wine", "uninstaller", "--list"], env).stdout.decode("utf-8", "replace")
    return dict(line.split("|||", 1) for line in out.splitlines() if "|||" in line)


class UninstallEntryWineTest(harness.WineTest):
    def probe_lines(self, argv, env):
        proc = run(argv, env)
        return proc.returncode, proc.stdout.decode("utf-8", "replace").splitlines()

    def check_cycle(self, probe, env, entry_id):
        """Writes, reads, replaces and removes `entry_id` through `probe` (argv prefix)."""
        code, out = self.probe_lines(probe + ["write", entry_id, "Probe " + entry_id, "1.0",
                                              r"C:\Program Files\Probe"], env)
        self.assertEqual(code, 0, out)
        self.assertEqual(listed(env).get(entry_id), "Probe " + entry_id)
        # The 64-bit view, never the 32-bit copy.
        self.assertEqual(run(["wine", "reg", "query", UNINSTALL + "\\" + entry_id, "/reg:64"],
                             env).returncode, 0)
        self.assertNotEqual(run(["wine", "reg", "query", UNINSTALL + "\\" + entry_id, "/reg:32"],
                                env).returncode, 0)
        code, out = self.probe_lines(probe + ["write", entry_id, "Probe " + entry_id, "2.0",
                                              r"C:\Program Files\Probe"], env)
        self.assertEqual(code, 0, out)
        query = run(["wine", "reg", "query", UNINSTALL + "\\" + entry_id, "/reg:64"], env)
        text = query.stdout.decode("utf-8", "replace")
        self.assertRegex(text, r"DisplayVersion\s+REG_SZ\s+2\.0")
        self.assertRegex(text, r"NoModify\s+REG_DWORD\s+0x1")
        self.assertRegex(text, r"EstimatedSize\s+REG_DWORD\s+0x40")
        self.assertRegex(text, r'QuietUninstallString\s+REG_SZ\s+"C:\\Program Files\\Probe'
                               r'\\Setup.exe" /UNINSTALL /S')
        code, out = self.probe_lines(probe + ["remove", entry_id], env)
        self.assertEqual(code, 0, out)
        self.assertNotIn(entry_id, listed(env))

    def test_setup_exe_writes_reads_and_removes_the_entry(self):
        ran = 0
        env = wine_env()
        for build, fixtures in sorted(harness.FIXTURES.items()):
            probe = os.path.join(fixtures, "entry_probe", "entry_probe.exe") if fixtures else ""
            if not probe or not os.path.exists(probe):
                continue
            with self.subTest(build=build):
                entry_id = "Example.Probe-" + build
                self.check_cycle(["wine", probe], env, entry_id)
                code, out = self.probe_lines(["wine", probe, "read", entry_id], env)
                self.assertEqual(code, 2, out)
                ran += 1
        if not ran:
            self.skipTest("entry_probe.exe not built")

    def test_native_while_the_server_runs_goes_through_wines_tool(self):
        if not NATIVE_PROBE or not os.path.exists(NATIVE_PROBE):
            self.skipTest("posix_entry_probe not built")
        env = wine_env()
        # The suite's prefix has its persistent server; one started here ends by itself.
        run(["wineserver", "-p30"], env)
        self.check_cycle([NATIVE_PROBE], env, "Example.Native-server")

    def test_written_by_one_program_is_read_and_removed_by_the_other(self):
        """Under the suite's running server, which saves its registry to the hive file only
        some 30 s after a change: the native program asks the server, not the file."""
        probes = [os.path.join(f, "entry_probe", "entry_probe.exe") for _, f in
                  sorted(harness.FIXTURES.items()) if f]
        probes = [p for p in probes if os.path.exists(p)]
        if not probes or not NATIVE_PROBE or not os.path.exists(NATIVE_PROBE):
            self.skipTest("probes not built")
        env = wine_env()
        run(["wineserver", "-p30"], env)
        windows = ["wine", probes[0]]
        for writer, other in ((windows, [NATIVE_PROBE]), ([NATIVE_PROBE], windows)):
            with self.subTest(writer=writer[-1]):
                entry_id = "Example.Cross"
                code, out = self.probe_lines(writer + ["write", entry_id, "Cross", "3.1",
                                                       r"C:\Cross"], env)
                self.assertEqual(code, 0, out)
                code, out = self.probe_lines(other + ["read", entry_id], env)
                self.assertEqual(code, 0, out)
                self.assertIn("DisplayVersion=3.1", out)
                self.assertIn("InstallLocation=C:\\Cross", out)
                code, out = self.probe_lines(other + ["remove", entry_id], env)
                self.assertEqual(code, 0, out)
                self.assertEqual(self.probe_lines(writer + ["read", entry_id], env)[0], 2)
                self.assertNotIn(entry_id, listed(env))

    def scratch_prefix(self):
        """A prefix of its own (so no server runs for it): the shared prefix's hives,
        its C: drive shared through a link."""
        prefix = self.ws.path("scratch-prefix")
        os.makedirs(os.path.join(prefix, "dosdevices"))
        for name in ("system.reg", "user.reg", "userdef.reg", ".update-timestamp"):
            shutil.copy2(os.path.join(harness.WINEPREFIX, name), os.path.join(prefix, name))
        os.symlink(os.path.join(harness.WINEPREFIX, "drive_c"), os.path.join(prefix, "drive_c"))
        os.symlink("../drive_c", os.path.join(prefix, "dosdevices", "c:"))
        os.symlink("/", os.path.join(prefix, "dosdevices", "z:"))
        return prefix

    def list_and_end(self, env):
        harness_env = dict(env)
        subprocess.run(["wine", "cmd", "/c", "exit"], env=harness_env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        shown = listed(env)
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL, timeout=60)
        return shown

    def test_native_without_a_server_rewrites_only_the_entry(self):
        if not NATIVE_PROBE or not os.path.exists(NATIVE_PROBE):
            self.skipTest("posix_entry_probe not built")
        prefix = self.scratch_prefix()
        env = wine_env(prefix)
        hive = os.path.join(prefix, "system.reg")
        entry_id = "Example.Native-file"
        with open(hive, "rb") as f:
            before = f.read().decode("latin-1")
        code, out = self.probe_lines([NATIVE_PROBE, "write", entry_id, "Native file", "1.0",
                                      r"C:\Program Files\Probe"], env)
        self.assertEqual(code, 0, out)
        with open(hive, "rb") as f:
            written = f.read().decode("latin-1")
        block = BLOCK.pattern % re.escape(entry_id)
        self.assertEqual(len(re.findall(block, written)), 1, written[-2000:])
        self.assertEqual(re.sub(block, "", written), before)
        code, out = self.probe_lines([NATIVE_PROBE, "read", entry_id], env)
        self.assertIn("InstallLocation=C:\\Program Files\\Probe", out)
        self.assertEqual(self.list_and_end(env).get(entry_id), "Native file")
        # Wine saved the hive when its server ended: removing changes only the entry.
        with open(hive, "rb") as f:
            saved = f.read().decode("latin-1")
        self.assertEqual(len(re.findall(block, saved)), 1)
        code, out = self.probe_lines([NATIVE_PROBE, "remove", entry_id], env)
        self.assertEqual(code, 0, out)
        with open(hive, "rb") as f:
            removed = f.read().decode("latin-1")
        expected = re.sub(block, "", saved)
        if removed != expected:
            # Wine writes a key without values only when it has no subkeys: the Uninstall
            # key, kept until now by the entry alone, gets a block of its own again.
            parent = (r"\n\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\] "
                      r"\d+\n#time=[0-9a-f]+\n")
            self.assertFalse(re.search(parent, saved))
            self.assertEqual(re.sub(parent, "", removed), expected)
        self.assertNotIn(entry_id, self.list_and_end(env))


if __name__ == "__main__":
    unittest.main()
