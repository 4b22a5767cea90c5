"""Start-up of the native program in batch mode: the script path, the default
destination and title in SetupDialog, Cancel, and the exit status."""
import os
import unittest

from harness import E2ETest, require_native


class StartupTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_native(self)

    def test_missing_script_names_its_full_path(self):
        r = self.ws.run_native()
        self.assertEqual(r.status, 3)
        self.assertEqual(r.events, [{"event": "MessageBox", "caption": "setup", "style": 0,
                                     "text": "Can't Open %s\\Setup.Inf file." % self.ws.prog}])

    def test_no_windows_directory(self):
        os.rename(os.path.join(self.ws.drive_c, "windows"), os.path.join(self.ws.drive_c, "win"))
        self.ws.script("SetupDir C:\\App \n")
        r = self.ws.run_native()
        self.assertEqual(r.status, 3)
        self.assertEqual(r.messages(), ["Install Windows System in the destination than it is'nt installed"])

    def test_dialog_shows_expanded_destination_and_title(self):
        self.ws.script('WindowTitle "デモ Setup"\nSetupDir $$FD$$\\App \n')
        r = self.ws.run_native(answers=["CANCEL"])
        self.assertEqual(r.status, 2)
        self.assertEqual(r.events, [{"event": "SetupDialog", "title": "デモ Setup",
                                     "destination": self.ws.prog + "\\App", "answer": "CANCEL"}])

    def test_without_setupdir_the_destination_is_c(self):
        self.ws.script("Message hello\n")
        r = self.ws.run_native(answers=["CANCEL"])
        self.assertEqual(r.status, 2)
        self.assertEqual(r.events[0]["destination"], "C:\\")
        self.assertEqual(r.events[0]["title"], "Setup")
        self.assertEqual(len(r.events), 1)  # nothing ran

    def test_windows_and_system_macros(self):
        self.ws.script("SetupDir $$SYSTEM$$ \nMessage $$WINDOWS$$|$$FD$$\n")
        r = self.ws.run_native()
        self.assertEqual(r.events[0]["destination"], "C:\\windows\\system32")
        self.assertEqual(r.messages(), ["C:\\windows|" + self.ws.prog])
        self.assertEqual(r.status, 0)

    def test_prescan_token_message_names_the_line(self):
        self.ws.script("' first\nSetupDir C:\\End")
        r = self.ws.run_native(answers=["CANCEL"])
        self.assertEqual(r.messages(), ["%s\\Setup.Infの2行目にTABが有りません" % self.ws.prog])
        self.assertEqual(r.of("SetupDialog")[0]["destination"], "C:\\End")

    def test_transcript_goes_to_standard_output_without_a_file(self):
        import subprocess
        self.ws.script("")
        env = dict(os.environ, SETUP_UI="batch", WINEPREFIX=self.ws.prefix)
        env.pop("SETUP_TRANSCRIPT", None)
        env.pop("SETUP_ANSWERS", None)
        proc = subprocess.run([os.path.join(self.ws.prog, "setup")], executable=os.environ["SETUP_NATIVE"],
                              env=env, stdout=subprocess.PIPE, timeout=60)
        self.assertEqual(proc.returncode, 0)
        lines = proc.stdout.decode().splitlines()
        self.assertEqual(lines, [
            '{"event":"SetupDialog","title":"Setup","destination":"C:\\\\","answer":"OK","value":"C:\\\\"}',
            '{"event":"Progress","range":0}', '{"event":"Progress","pos":0}',
            '{"event":"Progress","pos":0}', '{"event":"FinishDialog","title":"Setup","answer":"OK"}'])

    def test_unknown_answer_is_cancel(self):
        self.ws.script("")
        r = self.ws.run_native(answers=["MAYBE"])
        self.assertEqual(r.status, 2)
        self.assertIn("MAYBE", r.stderr)


if __name__ == "__main__":
    unittest.main()
