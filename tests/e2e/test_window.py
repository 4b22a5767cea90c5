"""Both Setup.exe builds with their real windows, under Xvfb: SetupDialog's caption and
keys, FinishDialog, DiskDialog, MessageDialog and a message box, and keys typed before a
dialog opened, which answer nothing. The window front end records the same transcript as
batch mode when SETUP_TRANSCRIPT is set, which tells what each dialog answered."""
import json
import os
import shutil
import subprocess
import time
import unittest

import harness
import wineprefix
from harness import E2ETest

WAIT = 20  # seconds for a window to appear or the program to end
# A picture of each dialog with Japanese text (win32 build), kept as an artefact.
SCREENSHOTS = os.path.join(os.environ.get("SETUP_BINARY_DIR", harness.SOURCE_DIR + "/build"),
                           "screenshots")


def tools_missing():
    for tool in ("wine", "Xvfb", "xdotool", "import"):
        if not shutil.which(tool):
            return tool
    return None


Display = harness.Display


class WindowTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        cls.display = None
        missing = tools_missing()
        if missing:
            raise unittest.SkipTest(missing + " not available")
        if not harness.available_win_exes() or not harness.WINEPREFIX:
            raise unittest.SkipTest("Setup.exe or the Wine prefix not available")
        cls.display = Display()
        try:
            # The first Wine program of a session starts Wine's system processes; they
            # keep the standard handles they were given, so they get none of ours.
            subprocess.run(["wine", "cmd", "/c", "exit"], env=cls.env(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        except BaseException:
            cls.display.close()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.display:
            cls.display.close()

    @classmethod
    def env(cls):
        env = dict(os.environ)
        env.update(harness.wine_env())
        env["DISPLAY"] = cls.display.name
        for name in ("SETUP_UI", "SETUP_ANSWERS", "SETUP_TRANSCRIPT"):
            env.pop(name, None)
        return env

    # --- running the program and finding its windows

    def start(self, exe, script, switches=()):
        self.ws.script(script)
        target = os.path.join(self.ws.prog, "Setup.exe")
        shutil.copyfile(exe, target)
        self.transcript = self.ws.path("transcript.jsonl")
        # Windows that were there before (the screen's own, nameless) are never ours.
        self.seen = set(self.xdotool("search", "--onlyvisible", "--name", ".*"))
        env = self.env()
        env["SETUP_TRANSCRIPT"] = self.transcript
        self.proc = subprocess.Popen(["wine", target] + list(switches), env=env, cwd=self.ws.root,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def xdotool(self, *args):
        r = subprocess.run(["xdotool"] + list(args), env=self.env(), stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, timeout=WAIT)
        return r.stdout.decode("utf-8", "replace").split()

    def window_name(self, window):
        r = subprocess.run(["xdotool", "getwindowname", window], env=self.env(),
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=WAIT)
        return r.stdout.decode("utf-8", "replace").rstrip("\n")

    def new_window(self, name):
        """Waits for a visible window named exactly `name` that was not seen before."""
        deadline = time.monotonic() + WAIT
        pattern = "^" + name.replace(" ", "\\s") + "$" if name else "^$"
        while time.monotonic() < deadline:
            found = [w for w in self.xdotool("search", "--onlyvisible", "--name", pattern)
                     if w not in self.seen]
            if found:
                self.seen.update(found)
                return found[-1]
            if self.proc.poll() is not None:
                self.fail("the program ended (%s) before a window %r appeared" % (self.proc.returncode, name))
            time.sleep(0.1)
        self.fail("no window %r appeared" % name)

    def press(self, window, key):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "--clearmodifiers", key)

    def keep_screenshot(self, build, window, name):
        """Answers `window` after keeping its picture."""
        if build == "win32":
            os.makedirs(SCREENSHOTS, exist_ok=True)
            shot = os.path.join(SCREENSHOTS, name + ".png")
            self.assertTrue(self.display.screenshot(window, shot) and os.path.getsize(shot))
        return window

    def status(self):
        return self.proc.wait(timeout=WAIT)

    def events(self):
        with open(self.transcript, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    # --- the tests

    def test_escape_cancels_setup_dialog(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                self.start(exe, 'WindowTitle "Window Test %s" \nSetupDir $$FD$$\\アプリ \n'
                           'Message never\n' % build)
                dialog = self.new_window("Window Test " + build)
                self.assertEqual(self.window_name(dialog), "Window Test " + build)
                self.keep_screenshot(build, dialog, "setup-dialog")
                self.press(dialog, "Escape")
                self.assertEqual(self.status(), 2)
                self.assertEqual(self.events(), [{
                    "event": "SetupDialog", "title": "Window Test " + build,
                    "destination": self.ws.winpath(self.ws.prog) + "\\アプリ", "answer": "CANCEL"}])

    def test_enter_runs_and_finish_dialog_carries_the_title(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                title = "完了テスト " + build
                self.start(exe, 'WindowTitle "%s" \n' % title)
                dialog = self.new_window(title)
                self.press(dialog, "Return")
                finish = self.new_window(title)
                self.assertNotEqual(finish, dialog)
                self.assertEqual(self.window_name(finish), title)
                self.keep_screenshot(build, finish, "finish-dialog")
                if build == "win32":
                    shot = self.ws.path("finish.png")
                    subprocess.run(["import", "-window", "root", shot], env=self.env(),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=WAIT)
                    self.assertGreater(os.path.getsize(shot), 0)
                    keep = os.environ.get("SETUP_KEEP_SCREENSHOT")
                    if keep:
                        shutil.copyfile(shot, keep)
                self.press(finish, "Return")
                self.assertEqual(self.status(), 0)
                events = self.events()
                self.assertIn({"event": "Progress", "range": 1}, events)
                self.assertEqual([e for e in events if e["event"] != "Progress"], [
                    {"event": "SetupDialog", "title": title, "destination": "C:\\",
                     "answer": "OK", "value": "C:\\"},
                    {"event": "FinishDialog", "title": title, "answer": "OK"}])

    def test_destination_switch_fills_the_field_and_log_switch_records(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                title, log = "Switches " + build, self.ws.path("switch-log.jsonl")
                dest = self.ws.winpath(self.ws.root) + "\\My Dest"
                self.start(exe, 'WindowTitle "%s" \nSetupDir C:\\Default \nMakeDir "$$SETUPDIR$$"\n'
                           % title, ["/LOG=" + self.ws.winpath(log), "/D=" + dest])
                self.press(self.new_window(title), "Return")
                self.press(self.new_window(title), "Return")
                self.assertEqual(self.status(), 0)
                self.assertTrue(os.path.isdir(self.ws.path("My Dest")))
                self.assertFalse(os.path.exists(self.transcript))  # /LOG wins over the variable
                with open(log, encoding="utf-8") as f:
                    self.assertEqual(json.loads(f.readline()), {
                        "event": "SetupDialog", "title": title, "destination": "C:\\Default",
                        "answer": "OK", "value": dest})
                shutil.rmtree(self.ws.path("My Dest"))

    def test_message_dialog_disk_dialog_and_message_box(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                title = "ダイアログ " + build
                self.start(exe, 'WindowTitle "%s" \nMessageBox "続けますか?"\n'
                           'Message コピーを始めます\nDiskCheck NO.TAG ディスク 2\n' % title)
                self.press(self.new_window(title), "Return")
                # MessageDialog has no caption; Enter is its default button, OK.
                self.press(self.keep_screenshot(build, self.new_window(""), "message-dialog"), "Return")
                self.press(self.keep_screenshot(build, self.new_window("Setup"), "message-box"), "Return")
                self.press(self.keep_screenshot(build, self.new_window(title), "disk-dialog"),
                           "Escape")                              # DiskDialog: CANCEL
                self.press(self.new_window("Setup"), "Return")    # the message box
                self.assertEqual(self.status(), 1)
                events = [e for e in self.events() if e["event"] != "Progress"]
                self.assertEqual([e["event"] for e in events],
                                 ["SetupDialog", "MessageDialog", "MessageBox", "DiskDialog", "MessageBox"])
                self.assertEqual(events[1], {"event": "MessageDialog", "text": "続けますか?", "answer": "OK"})
                self.assertEqual(events[2], {"event": "MessageBox", "caption": "Setup",
                                             "style": 0x40040, "text": "コピーを始めます"})
                self.assertEqual(events[-2], {"event": "DiskDialog", "title": title,
                                              "text": "Cheng at 'ディスク 2'", "answer": "CANCEL"})
                self.assertEqual(events[-1], {"event": "MessageBox", "caption": "Setup", "style": 0,
                                              "text": "Making a setup was stopped."})

    def test_refused_destination_keeps_the_dialog_open(self):
        cafe = [os.path.join(harness.wine_c_drive(), name) for name in ("Cafe", "Café", "Caf?")]
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                title = "Refused " + build
                self.start(exe, 'WindowTitle "%s" \nMakeDir "$$SETUPDIR$$"\n' % title, ["/D=C:\\Café"])
                dialog = self.new_window(title)
                self.press(dialog, "Return")
                self.press(self.new_window("Setup"), "Return")  # the refusal
                # The person may correct the field or cancel: the dialog is still there.
                self.assertIn(dialog, self.xdotool("search", "--onlyvisible", "--name", "^" + title + "$"))
                self.press(dialog, "Escape")
                self.assertEqual(self.status(), 2)
                self.assertEqual(self.events(), [
                    {"event": "MessageBox", "caption": "Setup", "style": 0,
                     "text": "The destination 'C:\\Café' has characters that this system's code page "
                             "cannot hold"},
                    {"event": "SetupDialog", "title": title, "destination": "C:\\", "answer": "CANCEL"}])
                self.assertEqual([p for p in cafe if os.path.exists(p)], [])


    def test_prefix_has_the_fonts_the_windows_ask_for(self):
        """The tests' prefix, and the demo's, which tools/demo.sh gives the same fonts
        through wineprefix.py: each Japanese dialog font is replaced by the IPA font, the
        caption buttons' symbol font is in the prefix's Fonts folder."""
        with open(os.path.join(harness.WINEPREFIX, "user.reg"), encoding="ascii") as f:
            reg = f.read()
        section = reg[reg.index("[Software\\\\Wine\\\\Fonts\\\\Replacements]"):]
        section = section[:section.index("\n\n")]
        for name in wineprefix.JAPANESE_FONTS:
            escaped = "".join(c if ord(c) < 128 else "\\x%04x" % ord(c) for c in name)
            self.assertIn('"%s"="%s"' % (escaped, wineprefix.CJK_FONT), section)
        self.assertTrue(os.path.isfile(os.path.join(harness.wine_c_drive(), "windows", "Fonts",
                                                    "marlett.ttf")))
        with open(os.path.join(harness.SOURCE_DIR, "tools", "demo.sh"), encoding="utf-8") as f:
            self.assertIn("tests/e2e/wineprefix.py\" fonts", f.read())

    # --- keys typed before a window showed answer nothing

    def sleepy_component(self, build):
        """A component whose registration keeps the run from reading any window message for
        3 s: keys typed meanwhile wait in the queue until a window reads them."""
        dll = os.path.join(harness.FIXTURES[build], "regsvr", "regsvr_sleepy.dll")
        if not os.path.exists(dll):
            self.skipTest("regsvr_sleepy.dll not built for " + build)
        target = self.ws.path(build + "-sleepy.dll")
        shutil.copyfile(dll, target)
        return self.ws.winpath(target)

    def type_ahead(self, build, exe, script, keys):
        """Starts a run over `script` whose first command is the sleepy registration, with
        Return on SetupDialog and then `keys` typed at once, while the run does not read."""
        title = "Typeahead " + build
        self.start(exe, 'WindowTitle "%s" \nRegsvr "%s"\n' % (title, self.sleepy_component(build))
                   + script)
        dialog = self.new_window(title)
        self.xdotool("windowfocus", "--sync", dialog)
        self.xdotool("key", "--clearmodifiers", "Return", *keys)
        return title, dialog

    def test_escape_typed_ahead_does_not_answer_a_question(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                title, _ = self.type_ahead(build, exe, 'MessageBox "続けますか?"\n', ["Escape"])
                question = self.new_window("")  # it stays until it is answered
                self.assertIsNone(self.proc.poll())
                self.press(question, "Return")
                self.press(self.new_window(title), "Return")  # FinishDialog
                self.assertEqual(self.status(), 0)
                self.assertIn({"event": "MessageDialog", "text": "続けますか?", "answer": "OK"},
                              self.events())

    def test_return_typed_ahead_does_not_close_finish_dialog(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                title, dialog = self.type_ahead(build, exe, "", ["Return"])
                finish = self.new_window(title)  # shown, and waiting for a key
                self.assertNotEqual(finish, dialog)
                self.assertIsNone(self.proc.poll())
                self.press(finish, "Return")
                self.assertEqual(self.status(), 0)
                self.assertEqual([e["event"] for e in self.events() if e["event"] != "Progress"],
                                 ["SetupDialog", "FinishDialog"])


if __name__ == "__main__":
    unittest.main()
