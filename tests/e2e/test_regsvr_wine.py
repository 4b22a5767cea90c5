"""Regsvr with both Setup.exe builds under Wine, in batch mode, over the mingw-built
components of tests/fixtures/regsvr (32-bit ones for the 32-bit program, 64-bit ones for
the 64-bit program). Each component records what happened to it in
"<its own path>.log"."""
import os
import shutil
import subprocess
import unittest

import harness

TOPMOST = 0x40000
COMPONENTS = ("regsvr_ok.dll", "regsvr_false.dll", "regsvr_dep.dll", "regsvr_helper.dll",
              "regsvr_prog.exe")


def fixture_dir(build):
    return os.path.join(harness.FIXTURES[build], "regsvr")


read_log = harness.read_record


def starts(path):
    """Each start of the recording program as (command line, working directory)."""
    return [tuple(line.split("\t")[1:3]) for line in read_log(path) if line.startswith("start\t")]


class RegsvrWineTest(harness.E2ETest):
    def setUp(self):
        harness.require_wine(self)
        super().setUp()
        self.builds = []
        for name, exe in harness.available_win_exes():
            directory = fixture_dir(name)
            if all(os.path.exists(os.path.join(directory, c)) for c in COMPONENTS):
                self.builds.append((name, exe))
        if not self.builds:
            self.skipTest("registration fixtures not built")

    def place(self, build, component, directory, as_name=None):
        """Copies a component of `build` into `directory` below the workspace root and
        answers its POSIX path."""
        target_dir = self.ws.path(directory)
        os.makedirs(target_dir, exist_ok=True)
        target = os.path.join(target_dir, as_name or component)
        shutil.copyfile(os.path.join(fixture_dir(build), component), target)
        return target

    def run_script(self, exe, script, cwd=None):
        self.ws.script(script)
        return self.ws.run_wine(exe, cwd=cwd)

    def assertFinished(self, result, messages, label):
        self.assertEqual(result.status, 0, label + result.stderr)
        self.assertEqual(result.messages(), messages, label)
        self.assertEqual(len(result.of("FinishDialog")), 1, label)

    def assertCantRegister(self, result, path, label):
        self.assertEqual(result.status, 1, label + result.stderr)
        boxes = result.of("MessageBox")
        self.assertEqual([b["text"] for b in boxes], [" '%s' registration can't be done" % path], label)
        self.assertEqual(boxes[0]["style"], TOPMOST, label)
        self.assertEqual(result.of("FinishDialog"), [], label)

    def test_library_registered_in_the_process(self):
        for build, exe in self.builds:
            with self.subTest(build=build):
                lib = self.place(build, "regsvr_ok.dll", build + "/comp")
                winlib = self.ws.winpath(lib)
                result = self.run_script(exe, "Regsvr %s \nMessage after" % winlib)
                self.assertFinished(result, ["after"], build)
                self.assertEqual(read_log(lib), ["DllRegisterServer"], build)

    def test_library_finds_the_library_it_imports_beside_it(self):
        for build, exe in self.builds:
            with self.subTest(build=build):
                lib = self.place(build, "regsvr_dep.dll", build + "/dep")
                self.place(build, "regsvr_helper.dll", build + "/dep")
                self.assertFinished(self.run_script(
                    exe, "Regsvr \"%s\" \nMessage after" % self.ws.winpath(lib)), ["after"], build)
                self.assertEqual(read_log(lib), ["DllRegisterServer", "helper"], build)

    def test_library_named_without_a_path_is_found_in_the_current_directory(self):
        # As LoadLibraryA: ".dll" is added to a name without extension.
        for build, exe in self.builds:
            for name in ("regsvr_ok.dll", "regsvr_ok"):
                with self.subTest(build=build, name=name):
                    lib = self.place(build, "regsvr_ok.dll", build + "-" + name)
                    self.assertFinished(self.run_script(exe, "Regsvr %s \nMessage after" % name,
                                                        cwd=os.path.dirname(lib)), ["after"], build)
                    self.assertEqual(read_log(lib), ["DllRegisterServer"], build)

    def test_s_false_falls_through_and_the_library_cannot_be_started(self):
        for build, exe in self.builds:
            with self.subTest(build=build):
                lib = self.place(build, "regsvr_false.dll", build + "/comp")
                winlib = self.ws.winpath(lib)
                result = self.run_script(exe, "Regsvr \"%s\" \nMessage never" % winlib)
                self.assertCantRegister(result, winlib, build)
                # DllRegisterServer was called once; CreateProcessA of a DLL fails (193).
                self.assertEqual(read_log(lib), ["DllRegisterServer"], build)

    def test_library_of_the_other_width_cannot_be_registered(self):
        if len(self.builds) < 2:
            self.skipTest("needs both builds")
        (build32, exe32), (build64, _) = self.builds
        lib = self.place(build64, "regsvr_ok.dll", "other/comp")
        winlib = self.ws.winpath(lib)
        result = self.run_script(exe32, "Regsvr %s \nMessage never" % winlib)
        self.assertCantRegister(result, winlib, build32)
        self.assertEqual(read_log(lib), [])

    def test_program_started_quoted_with_regserver_in_its_directory(self):
        for build, exe in self.builds:
            with self.subTest(build=build):
                prog = self.place(build, "regsvr_prog.exe", build + "/comp")
                winprog = self.ws.winpath(prog)
                # Quoted at the very end of the line; its exit code 3 is not read.
                result = self.run_script(exe, "Regsvr \"%s\"\nMessage after" % winprog)
                self.assertFinished(result, ["after"], build)
                self.assertEqual(starts(prog),
                                 [('"%s" /regserver' % winprog, self.ws.winpath(os.path.dirname(prog)))],
                                 build)

    def test_quoted_path_with_blanks(self):
        for build, exe in self.builds:
            with self.subTest(build=build):
                prog = self.place(build, "regsvr_prog.exe", build + "/comp dir/A B", "reg server.exe")
                winprog = self.ws.winpath(prog)
                result = self.run_script(exe, "Regsvr \"%s\" \nMessage after" % winprog)
                self.assertFinished(result, ["after"], build)
                self.assertEqual(starts(prog),
                                 [('"%s" /regserver' % winprog, self.ws.winpath(os.path.dirname(prog)))],
                                 build)

    def test_bare_name_starts_in_the_current_directory(self):
        for build, exe in self.builds:
            with self.subTest(build=build):
                # The Windows process inherits the Unix working directory as Z:\...
                cur = self.ws.path(build + "-cur")
                prog = self.place(build, "regsvr_prog.exe", build + "-cur")
                result = self.run_script(exe, "Regsvr regsvr_prog.exe \nMessage after", cwd=cur)
                self.assertFinished(result, ["after"], build)
                self.assertEqual(starts(prog), [('"regsvr_prog.exe" /regserver', self.ws.winpath(cur))],
                                 build)

    def test_demo_component_writes_its_registry_value(self):
        env = dict(os.environ)
        env.update(harness.wine_env())

        def query():
            r = subprocess.run(["wine", "reg", "query", r"HKCU\Software\SetupDemo", "/v", "Component"],
                               env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            return r.stdout.decode("utf-8", "replace")

        def delete():
            subprocess.run(["wine", "reg", "delete", r"HKCU\Software\SetupDemo", "/f"], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        for build, exe in self.builds:
            dll = os.path.join(harness.FIXTURES[build], "demo_component", "demo_component.dll")
            if not os.path.exists(dll):
                continue
            with self.subTest(build=build):
                delete()
                self.addCleanup(delete)
                target = self.ws.path(build, "demo", "demo_component.dll")
                os.makedirs(os.path.dirname(target))
                shutil.copyfile(dll, target)
                result = self.run_script(exe, "Regsvr \"%s\"\n" % self.ws.winpath(target))
                self.assertFinished(result, [], build)
                self.assertIn(self.ws.winpath(target).lower(), query().lower(), build)

    def test_unquoted_path_at_the_end_of_the_line(self):
        for build, exe in self.builds:
            with self.subTest(build=build):
                lib = self.place(build, "regsvr_ok.dll", build + "/comp")
                result = self.run_script(exe, "Regsvr %s\nMessage never" % self.ws.winpath(lib))
                self.assertEqual(result.status, 1, build + result.stderr)
                self.assertEqual(result.messages(),
                                 ["%sの1行目にTABが有りません" % self.ws.winpath(self.ws.path("prog", "Setup.Inf"))],
                                 build)
                self.assertEqual(read_log(lib), [], build)


if __name__ == "__main__":
    unittest.main()
