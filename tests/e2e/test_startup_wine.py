"""Start-up of both Setup.exe builds under Wine in batch mode: the script path, the
default destination and title in SetupDialog, Cancel, the exit status, the code page
conversions on the way into and out of the dialog, and the message boxes' caption."""
import os
import shutil
import subprocess
import unittest

import harness


def wine_run(argv, env_extra=None, cwd=None, timeout=120):
    """Runs `argv` under Wine in batch mode without a transcript file: the transcript
    then goes to standard output."""
    env = dict(os.environ)
    env.update(harness.wine_env())
    env["SETUP_UI"] = "batch"
    env.pop("SETUP_TRANSCRIPT", None)
    env.pop("SETUP_ANSWERS", None)
    env.update(env_extra or {})
    return subprocess.run(argv, env=env, cwd=cwd, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout)


def wine_reg(args, build):
    env = dict(os.environ)
    env.update(harness.wine_env())
    view = "/reg:32" if build == "win32" else "/reg:64"
    subprocess.run(["wine", "reg"] + args + [view], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


class StartupWineTest(harness.WineTest):
    def setUp(self):
        super().setUp()
        self.fd = self.ws.winpath(self.ws.prog)

    def test_missing_script_ends_with_its_full_path_and_no_dialog(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                r = self.ws.run_wine(exe)
                self.assertEqual(r.status, 3)
                self.assertEqual(r.events, [{"event": "MessageBox", "caption": "Setup", "style": 0,
                                             "text": "Can't Open %s\\Setup.Inf file." % self.fd}])

    def test_dialog_shows_expanded_destination_and_title(self):
        self.ws.script('WindowTitle "デモ Setup"\nSetupDir $$FD$$\\App \n')
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                r = self.ws.run_wine(exe, answers=["CANCEL"])
                self.assertEqual(r.status, 2)
                self.assertEqual(r.events, [{"event": "SetupDialog", "title": "デモ Setup",
                                             "destination": self.fd + "\\App", "answer": "CANCEL"}])

    def test_without_setupdir_the_destination_is_c_and_cancel_runs_nothing(self):
        self.ws.script("Message never\nErrorExit never\n")
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                r = self.ws.run_wine(exe, answers=["CANCEL"])
                self.assertEqual(r.status, 2)
                self.assertEqual(r.events, [{"event": "SetupDialog", "title": "Setup",
                                             "destination": "C:\\", "answer": "CANCEL"}])

    def test_setup_dialog_that_cannot_open_is_no_cancel(self):
        # With windows but no X server to show them on, DialogBox fails: start-up ends and
        # says why; nobody answered SetupDialog, and nothing ran.
        self.ws.script("MakeDir $$FD$$\\never\n")
        number = next(n for n in range(900, 1000) if not os.path.exists("/tmp/.X11-unix/X%d" % n))
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                r = self.ws.run_wine(exe, env={"SETUP_UI": "", "DISPLAY": ":%d" % number})
                self.assertEqual(r.status, 3, r.stderr)
                self.assertIn("Setup: SetupDialog could not be opened (error ", r.stderr)
                self.assertEqual(r.events, [])
                self.assertFalse(os.path.exists(os.path.join(self.ws.prog, "never")))

    def test_windows_and_system_directories(self):
        self.ws.script("SetupDir $$SYSTEM$$ \nMessage $$WINDOWS$$|$$FD$$\n")
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                r = self.ws.run_wine(exe)
                self.assertEqual(r.status, 0)
                self.assertEqual(r.events[0]["destination"].lower(), "c:\\windows\\system32")
                self.assertEqual([m.lower() for m in r.messages()],
                                 [("C:\\windows|" + self.fd).lower()])
                self.assertEqual(r.events[-1], {"event": "FinishDialog", "title": "Setup", "answer": "OK"})

    def test_double_byte_texts_cross_the_dialog_in_both_directions(self):
        # Code page 932 in the script, UTF-8 in the dialog, code page 932 again in the run.
        self.ws.script("SetupDir C:\\インストール先\\表 \nMessage [$$SETUPDIR$$]\n")
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                r = self.ws.run_wine(exe, answers=["OK D:\\日本語\\ソフト"])
                self.assertEqual(r.status, 0)
                self.assertEqual(r.events[0]["destination"], "C:\\インストール先\\表")
                self.assertEqual(r.events[0]["value"], "D:\\日本語\\ソフト")
                self.assertEqual(r.messages(), ["[D:\\日本語\\ソフト]"])

    def test_caption_is_the_program_file_name_without_extension(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                target = os.path.join(self.ws.prog, "Install.Me.exe")
                shutil.copyfile(exe, target)
                proc = wine_run(["wine", target], cwd=self.ws.root)
                self.assertEqual(proc.returncode, 3)
                r = harness.Result(proc.returncode, proc.stdout.decode("utf-8"), "")
                self.assertEqual(r.of("MessageBox")[0]["caption"], "Install.Me")
                self.assertEqual(r.messages(), ["Can't Open %s\\Setup.Inf file." % self.fd])

    def test_transcript_on_standard_output_has_plain_line_ends(self):
        self.ws.script("Message one\n")
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                target = os.path.join(self.ws.prog, "Setup.exe")
                shutil.copyfile(exe, target)
                proc = wine_run(["wine", target], cwd=self.ws.root)
                self.assertEqual(proc.returncode, 0)
                self.assertNotIn(b"\r", proc.stdout)
                lines = proc.stdout.decode("utf-8").split("\n")
                self.assertEqual(lines[0], '{"event":"SetupDialog","title":"Setup",'
                                 '"destination":"C:\\\\","answer":"OK","value":"C:\\\\"}')
                self.assertEqual(lines[-2], '{"event":"FinishDialog","title":"Setup","answer":"OK"}')
                self.assertEqual(lines[-1], "")

    def test_unknown_answer_is_cancel_and_reported(self):
        self.ws.script("")
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                r = self.ws.run_wine(exe, answers=["MAYBE"])
                self.assertEqual(r.status, 2)
                self.assertIn("MAYBE", r.stderr)

    def test_registry_form_of_setupdir_reads_the_real_registry(self):
        key = "Software\\SetupStartupTest%d" % os.getpid()
        script = ("SetupDir Registry HKEY_LOCAL_MACHINE\\%s\\Path C:\\Fallback \n"
                  "Message $$SETUPDIR$$\n") % key
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                self.addCleanup(wine_reg, ["delete", "HKLM\\" + key, "/f"], build)
                wine_reg(["add", "HKLM\\" + key, "/v", "Path", "/d", "D:\\Sample\\", "/f"], build)
                self.ws.script(script)
                r = self.ws.run_wine(exe, answers=["CANCEL"])
                self.assertEqual(r.status, 2)
                self.assertEqual(r.events[0]["destination"], "D:\\Sample")
                # An empty value falls back; so does a value that is missing.
                wine_reg(["add", "HKLM\\" + key, "/v", "Path", "/d", "", "/f"], build)
                r = self.ws.run_wine(exe, answers=["CANCEL"])
                self.assertEqual(r.events[0]["destination"], "C:\\Fallback")
                self.ws.script(script.replace("\\Path ", "\\Missing "))
                r = self.ws.run_wine(exe, answers=["CANCEL"])
                self.assertEqual(r.events[0]["destination"], "C:\\Fallback")


if __name__ == "__main__":
    unittest.main()
