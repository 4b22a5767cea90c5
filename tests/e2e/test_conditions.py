"""The condition commands and the registry form of SetupDir in the native program, over
the workspace's Wine-prefix layout: registry from its system.reg and user.reg, version
resources from real PE files built by mingw-w64."""
import os
import unittest

import conditions_support as cs
from harness import FIXTURES, E2ETest, require_native


SAMPLE_KEYS = {
    "Software\\Sample": {"Path": "D:\\Sample\\", "Version": "5.1", "": "default text"},
    "Software\\Sample\\Sub": {"Root": "C:\\"},
}


class NativeConditionsTest(cs.FinishedRunAssertions, E2ETest):
    def setUp(self):
        super().setUp()
        require_native(self)

    def script_path(self):
        return self.ws.prog + "\\Setup.Inf"

    def tab_message(self, line):
        return "%sの%d行目にTABが有りません" % (self.script_path(), line)

    def run_script(self, lines, machine=None, user=None):
        cs.write_prefix_registry(self.ws, machine, user)
        self.ws.script("\n".join(lines) + "\n")
        return self.ws.run_native()


    # --- SetupDir Registry

    def test_setup_dir_registry_value_without_trailing_backslash(self):
        line = "SetupDir Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample"
        result = self.run_script([line], machine=SAMPLE_KEYS)
        self.assert_finished(result, "D:\\Sample", [])
        self.assertEqual(result.messages(), [])  # the fallback is not looked at
        self.assertEqual(result.of("SetupDialog")[0]["value"], "D:\\Sample")

    def test_setup_dir_registry_fallback_when_value_missing(self):
        line = "SetupDir Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing C:\\Sample"
        result = self.run_script([line], machine=SAMPLE_KEYS)
        # The unquoted fallback ends the line: reported during loading, used all the same,
        # and the run that reaches its end after it exits 1.
        self.assert_finished(result, "C:\\Sample", [], status=1)
        self.assertEqual(result.messages(), [self.tab_message(1)])
        self.assertEqual(result.kinds()[0], "MessageBox")  # shown while loading

    def test_setup_dir_registry_fallback_with_blank_after_it(self):
        result = self.run_script(
            ["' comment", "SetupDir Registry HKEY_LOCAL_MACHINE\\Software\\Other\\Path C:\\Sample "],
            machine=SAMPLE_KEYS)
        self.assert_finished(result, "C:\\Sample", [])
        self.assertEqual(result.messages(), [])

    def test_setup_dir_registry_value_c_root_and_quoted_forms(self):
        machine = dict(SAMPLE_KEYS)
        machine["Software\\Sample Co"] = {"Install Dir": "E:\\Program Files\\Sample\\"}
        cases = [
            ("SetupDir Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Sub\\Root C:\\x ", "C:"),
            ('SetupDir registry "HKEY_LOCAL_MACHINE\\Software\\Sample Co\\Install Dir" "C:\\Program Files\\x"',
             "E:\\Program Files\\Sample"),
            ('SetupDir Registry "HKEY_LOCAL_MACHINE\\Software\\Sample Co\\Other" "C:\\Program Files\\x"',
             "C:\\Program Files\\x"),
            # The value name loses its extension: Version.Major reads Version.
            ("SetupDir Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Version.Major C:\\x ", "5.1"),
            # Prefixes are case-sensitive.
            ("SetupDir Registry hkey_local_machine\\Software\\Sample\\Path C:\\x ", "C:\\x"),
        ]
        for line, destination in cases:
            with self.subTest(line=line):
                result = self.run_script([line], machine=machine)
                self.assert_finished(result, destination, [])
                self.assertEqual(result.messages(), [])

    def test_setup_dir_registry_without_fallback_shows_default_c(self):
        result = self.run_script(
            ["SetupDir Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing\""],
            machine=SAMPLE_KEYS)
        self.assert_finished(result, "C:\\", [], status=1)
        self.assertEqual(result.messages(), [self.tab_message(1)])

    def test_last_setup_dir_line_wins(self):
        result = self.run_script(
            ["SetupDir Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\x ",
             "SetupDir E:\\Plain "], machine=SAMPLE_KEYS)
        self.assert_finished(result, "E:\\Plain", [])

    # --- Registry conditions

    def test_registry_conditions(self):
        user = {"Software\\Sample": {"Name": "user name"}}
        lines = [
            "IfRegistryFind HKEY_LOCAL_MACHINE\\Software\\Sample N Message key-found",
            "IfRegistryFind HKEY_LOCAL_MACHINE\\Software\\Sample\\Version N Message value-is-no-key",
            "IfRegistryFind HKEY_LOCAL_MACHINE\\Software\\Missing E Message key-missing",
            "IfRegistryFind HKEY_CURRENT_USER\\Software\\Sample N Message hkcu-found",
            "#define_registry $$NAME$$ HKEY_CURRENT_USER\\Software\\Sample\\Name N Message name-empty",
            "Message name=$$NAME$$",
            "#define_registry $$NONE$$ HKEY_LOCAL_MACHINE\\Software\\Sample\\Nothing N Goto empty",
            "Message not-jumped",
            ":empty",
            "Message none=[$$NONE$$]",
            "#define_registry $$P$$ HKEY_LOCAL_MACHINE\\Software\\Sample\\Path E Message path=$$P$$",
            "Message after=$$P$$",
        ]
        result = self.run_script(lines, machine=SAMPLE_KEYS, user=user)
        self.assert_finished(result, "C:\\", [
            "key-found", "key-missing", "hkcu-found", "name=user name", "none=[]",
            # The macro is not yet defined in the rest of its own line.
            "path=$$P$$", "after=D:\\Sample\\"])
        self.assertEqual(result.messages(), [
            "key-found", "key-missing", "hkcu-found", "name=user name", "none=[]",
            "path=$$P$$", "after=D:\\Sample\\"])

    # --- File conditions

    def test_file_find_date_and_string(self):
        old = self.ws.write("prefix/drive_c/data/old.txt", "old")
        new = self.ws.write("prefix/drive_c/data/new.txt", "new")
        os.utime(old, (1_000_000_000, 1_000_000_000))
        os.utime(new, (1_500_000_000, 1_500_000_000))
        lines = [
            "IfFileFind C:\\data\\old.txt N Message old-exists",
            "IfFileFind C:\\data\\gone.txt N Message gone-exists",
            "IfFileFind C:\\data\\gone.txt E Message gone-missing",
            "IfFileDate C:\\data\\new.txt > C:\\data\\old.txt N Message new-later",
            "IfFileDate C:\\data\\old.txt >= C:\\data\\new.txt N Message old-not-earlier",
            "IfFileDate C:\\data\\gone.txt = C:\\data\\gone2.txt N Message missing-equal",
            "IfFileDate C:\\data\\gone.txt < C:\\data\\old.txt N Message missing-older",
            "IfFileDate C:\\data\\new.txt C:\\data\\old.txt N Message no-operator",
            "IfFileFind C:\\data\\old.txt N IfFileFind C:\\data\\new.txt N Message both",
            "IfString A <= B N Message A<=B",
            "IfString a <= B N Message a<=B",
            "IfString ABC > AB N Message ABC>AB",
            "IfString same same E Message no-operator-inverted",
            "IfString X =Y N Essage Message first-word-is-sense",
        ]
        result = self.run_script(lines)
        self.assert_finished(result, "C:\\", [
            "old-exists", "gone-missing", "new-later", "missing-equal", "missing-older",
            "both", "A<=B", "ABC>AB", "no-operator-inverted", "first-word-is-sense"])

    def test_sense_token_ending_the_line_fails_the_run(self):
        self.ws.write("prefix/drive_c/data/a.txt", "a")
        result = self.run_script(["Message before", "IfFileFind C:\\data\\a.txt N", "Message after"])
        self.assertEqual(result.status, 1)
        self.assertEqual(result.messages(), ["before", self.tab_message(2)])
        self.assertEqual(result.of("FinishDialog"), [])

    # --- Version conditions against real PE files

    def test_version_conditions_on_pe_fixtures(self):
        ran = False
        for arch in ("win32", "win64"):
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
                result = self.run_script(lines)
                self.assert_finished(result, "C:\\", expected)
                self.assertEqual(result.messages(), expected)
        if not ran:
            self.skipTest("version fixtures not built")


if __name__ == "__main__":
    unittest.main()
