"""The product's uninstall entry against real Wine: written, read back, replaced and
removed by both Setup.exe builds (Win32System, in the 64-bit view) and by the native
program's PosixSystem, each reading what the other wrote, there both while a Wine server
runs for the prefix (through Wine's reg tool) and while none does (the hive file
rewritten, the rest of it byte for byte).
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
    env = dict(os.environ, **harness.wine_env())
    env.update({"WINEPREFIX": prefix} if prefix else {})
    return env


def run(argv, env):
    return subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=180)


def listed(env):
    """What `wine uninstaller --list` shows: Id -> DisplayName."""
    out = run(["wine", "uninstaller", "--list"], env).stdout.decode("utf-8", "replace")
    return dict(line.split("|||", 1) for line in out.splitlines() if "|||" in line)


class UninstallEntryWineTest(harness.WineTest):
    def probe_lines(self, argv, env):
        proc = run(argv, env)
        return proc.returncode, proc.stdout.decode("utf-8", "replace").splitlines()

    def test_written_by_each_program_is_read_replaced_and_removed_by_each(self):
        # Setup.exe's builds and the native program while the suite's server runs for the
        # prefix: it saves its registry to the hive file only some 30 s after a change, so
        # the native program must ask the server (through Wine's reg tool), not the file.
        probes = [(build, ["wine", os.path.join(fixtures, "entry_probe", "entry_probe.exe")])
                  for build, fixtures in sorted(harness.FIXTURES.items()) if fixtures]
        probes = [(name, argv) for name, argv in probes if os.path.exists(argv[1])]
        if NATIVE_PROBE and os.path.exists(NATIVE_PROBE):
            probes.append(("native", [NATIVE_PROBE]))
        if not probes:
            self.skipTest("no entry probe built")
        # (writer, reader and remover): each program alone, and across the two.
        rows = [(p, p) for p in probes]
        if len(probes) > 1 and probes[-1][0] == "native":
            rows += [(probes[0], probes[-1]), (probes[-1], probes[0])]
        env = wine_env()
        run(["wineserver", "-p30"], env)  # a server started here ends by itself
        for (writer_name, writer), (other_name, other) in rows:
            with self.subTest(writer=writer_name, other=other_name):
                entry_id = "Example.Probe-%s-%s" % (writer_name, other_name)
                key = UNINSTALL + "\\" + entry_id
                for version in ("1.0", "2.0"):
                    code, out = self.probe_lines(writer + ["write", entry_id, "Probe " + entry_id, version,
                                                           r"C:\Program Files\Probe"], env)
                    self.assertEqual(code, 0, out)
                self.assertEqual(listed(env).get(entry_id), "Probe " + entry_id)
                # The 64-bit view, never the 32-bit copy.
                self.assertNotEqual(run(["wine", "reg", "query", key, "/reg:32"], env).returncode, 0)
                text = run(["wine", "reg", "query", key, "/reg:64"], env).stdout.decode("utf-8", "replace")
                for value in (r"DisplayVersion\s+REG_SZ\s+2\.0", r"NoModify\s+REG_DWORD\s+0x1",
                              r"EstimatedSize\s+REG_DWORD\s+0x40",
                              r'QuietUninstallString\s+REG_SZ\s+"C:\\Program Files\\Probe'
                              r'\\Setup.exe" /UNINSTALL /S'):
                    self.assertRegex(text, value)
                code, out = self.probe_lines(other + ["read", entry_id], env)
                self.assertEqual(code, 0, out)
                self.assertIn("DisplayVersion=2.0", out)
                self.assertIn("InstallLocation=C:\\Program Files\\Probe", out)
                code, out = self.probe_lines(other + ["remove", entry_id], env)
                self.assertEqual(code, 0, out)
                self.assertNotIn(entry_id, listed(env))
                self.assertEqual(self.probe_lines(writer + ["read", entry_id], env)[0], 2)

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
        run(["wine", "cmd", "/c", "exit"], env)
        shown = listed(env)
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL, timeout=60)
        return shown

    def test_native_without_a_server_rewrites_only_the_entry(self):
        if not NATIVE_PROBE or not os.path.exists(NATIVE_PROBE):
            self.skipTest("posix_entry_probe not built")
        prefix = self.scratch_prefix()
        env = wine_env(prefix)
        entry_id = "Example.Native-file"

        def hive():
            with open(os.path.join(prefix, "system.reg"), "rb") as f:
                return f.read().decode("latin-1")

        before = hive()
        code, out = self.probe_lines([NATIVE_PROBE, "write", entry_id, "Native file", "1.0",
                                      r"C:\Program Files\Probe"], env)
        self.assertEqual(code, 0, out)
        written = hive()
        block = BLOCK.pattern % re.escape(entry_id)
        self.assertEqual(len(re.findall(block, written)), 1, written[-2000:])
        self.assertEqual(re.sub(block, "", written), before)
        code, out = self.probe_lines([NATIVE_PROBE, "read", entry_id], env)
        self.assertIn("InstallLocation=C:\\Program Files\\Probe", out)
        self.assertEqual(self.list_and_end(env).get(entry_id), "Native file")
        # Wine saved the hive when its server ended: removing changes only the entry.
        saved = hive()
        self.assertEqual(len(re.findall(block, saved)), 1)
        code, out = self.probe_lines([NATIVE_PROBE, "remove", entry_id], env)
        self.assertEqual(code, 0, out)
        removed = hive()
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
