"""The condition commands and the registry form of SetupDir in both Setup.exe builds
under Wine: registry keys written with `wine reg` into the view each build sees (a 32-bit
program sees HKLM\\Software through Wow6432Node), version resources from the mingw-built
fixtures of the same build."""
import os
import subprocess
import unittest

import conditions_support as cs
from harness import FIXTURES, E2ETest, available_win_exes, require_wine, wine_env

SAMPLE_KEY = "HKLM\\Software\\Sample"
VIEWS = {"win32": "32", "win64": "64"}
OTHER_VIEW = {"32": "64", "64": "32"}


def wine_reg(*args, check=True):
    env = dict(os.environ)
    env.update(wine_env())
    return subprocess.run(["wine", "reg"] + list(args), env=env, check=check, timeout=120,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def add_value(view, key, name, data):
    wine_reg("add", key, "/v", name, "/t", "REG_SZ", "/d", data, "/f", "/reg:" + view)


def delete_key(view, key):
    wine_reg("delete", key, "/f", "/reg:" + view, check=False)


class WineConditionsTest(cs.FinishedRunAssertions, E2ETest):
    def setUp(self):
        super().setUp()
        require_wine(self)
        self.clean_registry()
        self.addCleanup(self.clean_registry)

    def clean_registry(self):
        for view in ("32", "64"):
            delete_key(view, SAMPLE_KEY)

    def tab_message(self, line):
        return "%s\\Setup.Infの%d行目にTABが有りません" % (self.ws.winpath(self.ws.prog), line)

    def run_script(self, exe, lines):
        self.ws.script("\n".join(lines) + "\n")
        return self.ws.run_wine(exe)


    def test_setup_dir_registry_value_or_fallback(self):
        line = "SetupDir Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample"
        for arch, exe in available_win_exes():
            view = VIEWS[arch]
            with self.subTest(arch=arch):
                add_value(view, SAMPLE_KEY, "Path", "D:\\Sample\\")
                result = self.run_script(exe, [line])
                self.assert_finished(result, "D:\\Sample", [])
                self.assertEqual(result.messages(), [])
                self.assertEqual(result.of("SetupDialog")[0]["value"], "D:\\Sample")

                delete_key(view, SAMPLE_KEY)
                result = self.run_script(exe, [line])
                self.assert_finished(result, "C:\\Sample", [], status=1)
                self.assertEqual(result.messages(), [self.tab_message(1)])

    def test_each_build_reads_its_own_registry_view(self):
        line = "SetupDir Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample "
        for arch, exe in available_win_exes():
            view = VIEWS[arch]
            with self.subTest(arch=arch):
                self.clean_registry()
                add_value(OTHER_VIEW[view], SAMPLE_KEY, "Path", "E:\\Other\\")
                result = self.run_script(exe, [line])
                self.assert_finished(result, "C:\\Sample", [])
                self.assertEqual(result.messages(), [])

    def test_registry_conditions(self):
        lines = [
            "IfRegistryFind HKEY_LOCAL_MACHINE\\Software\\Sample N Message key-found",
            "IfRegistryFind HKEY_LOCAL_MACHINE\\Software\\Sample\\Version N Message value-is-no-key",
            "IfRegistryFind HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing E Message key-missing",
            "#define_registry $$V$$ HKEY_LOCAL_MACHINE\\Software\\Sample\\Version.Major N Message empty",
            "Message version=$$V$$",
            "#define_registry $$NONE$$ HKEY_LOCAL_MACHINE\\Software\\Sample\\Nothing N Goto empty",
            "Message not-jumped",
            ":empty",
            "Message none=[$$NONE$$]",
        ]
        for arch, exe in available_win_exes():
            with self.subTest(arch=arch):
                add_value(VIEWS[arch], SAMPLE_KEY, "Version", "5.1")
                result = self.run_script(exe, lines)
                self.assert_finished(result, "C:\\", ["key-found", "key-missing", "version=5.1", "none=[]"])
                self.assertEqual(result.messages(), ["key-found", "key-missing", "version=5.1", "none=[]"])

    def test_file_conditions(self):
        old = self.ws.write("prog/old.txt", "old")
        new = self.ws.write("prog/new.txt", "new")
        os.utime(old, (1_000_000_000, 1_000_000_000))
        os.utime(new, (1_500_000_000, 1_500_000_000))
        lines = [
            "IfFileFind $$FD$$\\old.txt N Message old-exists",
            "IfFileFind $$FD$$\\gone.txt E Message gone-missing",
            "IfFileDate $$FD$$\\new.txt > $$FD$$\\old.txt N Message new-later",
            "IfFileDate $$FD$$\\old.txt > $$FD$$\\new.txt N Message old-later",
            "IfFileDate $$FD$$\\gone.txt < $$FD$$\\old.txt N Message missing-older",
            "IfString ABC > AB N Message ABC>AB",
        ]
        expected = ["old-exists", "gone-missing", "new-later", "missing-older", "ABC>AB"]
        for arch, exe in available_win_exes():
            with self.subTest(arch=arch):
                result = self.run_script(exe, lines)
                self.assert_finished(result, "C:\\", expected)
                self.assertEqual(result.messages(), expected)

    def test_version_conditions_on_pe_fixtures(self):
        ran = False
        for arch, exe in available_win_exes():
            found = cs.find_version_fixtures(os.path.join(FIXTURES.get(arch, ""), "version"))
            if "ver_a" not in found:
                continue
            ran = True
            with self.subTest(arch=arch):
                for name in os.listdir(self.ws.prog):
                    if name.startswith("ver_"):
                        os.remove(os.path.join(self.ws.prog, name))
                names = cs.copy_fixtures(found, self.ws.prog)
                lines, expected = cs.version_script(names)
                result = self.run_script(exe, lines)
                self.assert_finished(result, "C:\\", expected)
                self.assertEqual(result.messages(), expected)
        if not ran:
            self.skipTest("version fixtures not built")


if __name__ == "__main__":
    unittest.main()
