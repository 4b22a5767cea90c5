"""SetupDialog and FinishDialog of both Setup.exe builds, read through the Win32 API by
the probe fixture (tests/fixtures/window_probe) while the real windows are up under
Xvfb: caption, styles, the system-menu entry, the icons, the controls with their ids,
classes, texts, styles and rectangles in dialog units against the dialog templates, the
focus, and the progress bar after a run. The keys that end the program go through
xdotool, as a user's would."""
import json
import os
import shutil
import subprocess
import time
import unittest

import harness

WAIT = 20  # seconds for a window to appear, the probe to answer, the program to end

# Window styles and the control styles whose bits the templates fix.
WS_POPUP, WS_VISIBLE, WS_CAPTION, WS_SYSMENU = 0x80000000, 0x10000000, 0x00C00000, 0x00080000
WS_BORDER, WS_TABSTOP, WS_GROUP = 0x00800000, 0x00010000, 0x00020000
DS_MODALFRAME = 0x80
WS_EX_APPWINDOW, WS_EX_CLIENTEDGE = 0x00040000, 0x00000200
BS_TYPEMASK, BS_PUSHBUTTON, BS_DEFPUSHBUTTON = 0x0F, 0x0, 0x1
SS_TYPEMASK, SS_LEFT, SS_RIGHT = 0x1F, 0x0, 0x2
ES_MULTILINE, ES_AUTOHSCROLL = 0x4, 0x80
NO_ID = 0xFFFF  # IDC_STATIC (-1) as a classic dialog template stores it

ABOUT_TEXT = "ﾊﾞｰｼﾞｮﾝ情報(Setup) (&A)..."
IDM_ABOUTBOX = 16

# (id, class, text or None for "not checked here", x, y, w, h), in template order.
SETUP_CONTROLS = [
    (1, "Button", "OK", 73, 59, 50, 14),
    (2, "Button", "CANCEL", 147, 58, 50, 14),
    (NO_ID, "Static", "Setup Directory", 19, 34, 58, 8),
    (1000, "Edit", None, 81, 29, 169, 18),
    (1003, "msctls_progress32", "", 59, 89, 151, 11),
]
FINISH_CONTROLS = [
    (1, "Button", "OK", 61, 52, 50, 14),
    (NO_ID, "Static", "It succeeded in the making a setup", 37, 27, 117, 15),
]


def wait_for(predicate, timeout=WAIT):
    return harness.wait_for(predicate, timeout)


class WindowProbeTest(harness.E2ETest):
    def setUp(self):
        harness.require_wine(self)
        missing = [t for t in ("Xvfb", "xdotool") if not shutil.which(t)]
        if missing:
            self.skipTest("missing: " + " ".join(missing))
        super().setUp()
        self.display = harness.Display()
        self.addCleanup(self.display.close)

    def env(self):
        env = self.display.env()
        env.update(harness.wine_env())
        env["DISPLAY"] = self.display.name
        for name in ("SETUP_UI", "SETUP_ANSWERS", "SETUP_TRANSCRIPT"):
            env.pop(name, None)
        return env

    def probe_exe(self, build):
        probe = os.path.join(harness.FIXTURES[build], "window_probe", "probe.exe")
        if not os.path.exists(probe):
            self.skipTest("window_probe not built for " + build)
        return probe

    def start(self, build, exe, script):
        """Starts prog/Setup.exe with its windows on the display; answers the process."""
        self.ws.script(script)
        target = os.path.join(self.ws.prog, "Setup.exe")
        shutil.copyfile(exe, target)
        setup = subprocess.Popen(["wine", target], env=self.env(), cwd=self.ws.root,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)

        def end():
            if setup.poll() is None:
                setup.kill()
                setup.wait()
        self.addCleanup(end)
        return setup

    def probe(self, build, title, *options):
        """The windows captioned `title`, topmost first, as the probe reads them."""
        r = subprocess.run(["wine", self.probe_exe(build)] + list(options) + [title],
                           env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=WAIT + 10)
        self.assertEqual(r.returncode, 0, r.stderr.decode("utf-8", "replace"))
        windows = json.loads(r.stdout.decode("utf-8"))["windows"]
        for window in windows:
            self.assertNotIn("error", window)
        return windows

    def x_window(self, title, exclude=()):
        found = wait_for(lambda: [w for w in self.display.windows(title) if w not in exclude])
        self.assertTrue(found, "no window %r on the display" % title)
        self.assertEqual(len(found), 1, found)
        return found[0]

    def wait_status(self, setup):
        try:
            return setup.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            self.fail("Setup.exe did not end")

    # --- what the templates and the dialog code fix

    def assert_controls(self, window, expected):
        controls = window["controls"]
        self.assertEqual([(c["id"] & 0xFFFF, c["class"]) for c in controls],
                         [(e[0], e[1]) for e in expected])
        for control, (ident, _, text, x, y, w, h) in zip(controls, expected):
            with self.subTest(control=ident):
                if text is not None:
                    self.assertEqual(control["text"], text)
                for name, value in (("x", x), ("y", y), ("w", w), ("h", h)):
                    self.assertLessEqual(abs(control[name] - value), 1,
                                         "%s of %d: %r" % (name, ident, control))
        return {c["id"] & 0xFFFF: c for c in controls}

    def assert_dialog_frame(self, window, title):
        self.assertEqual(window["caption"], title)
        self.assertEqual(window["class"], "#32770")
        style = window["style"]
        for bit in (WS_POPUP, WS_CAPTION, WS_SYSMENU, DS_MODALFRAME, WS_VISIBLE):
            self.assertEqual(style & bit, bit, "style %#x lacks %#x" % (style, bit))
        self.assertGreater(window["base_units"][0], 0)
        self.assertGreater(window["base_units"][1], 0)
        self.assertEqual(window["default_id"], 1)

    def assert_button(self, control, kind):
        self.assertEqual(control["style"] & BS_TYPEMASK, kind, hex(control["style"]))
        self.assertTrue(control["style"] & WS_TABSTOP, hex(control["style"]))

    def assert_static(self, control, kind):
        self.assertEqual(control["style"] & SS_TYPEMASK, kind, hex(control["style"]))
        self.assertTrue(control["style"] & WS_GROUP, hex(control["style"]))

    def assert_setup_dialog(self, window, title, destination):
        self.assert_dialog_frame(window, title)
        self.assertTrue(window["app_window"], hex(window["ex_style"]))
        menu = window["system_menu"]
        self.assertGreater(menu["count"], 2, menu)
        self.assertTrue(menu["separator_before_last"], menu)
        self.assertEqual((menu["last_id"], menu["last_text"]), (IDM_ABOUTBOX, ABOUT_TEXT))
        for name in ("icon_big", "icon_small", "drag_icon", "drag_icon_is_big"):
            self.assertTrue(window[name], name)
        self.assertEqual(window["icon_big_size"], [32, 32])

        controls = self.assert_controls(window, SETUP_CONTROLS)
        self.assert_button(controls[1], BS_DEFPUSHBUTTON)
        self.assert_button(controls[2], BS_PUSHBUTTON)
        self.assert_static(controls[NO_ID], SS_RIGHT)
        edit = controls[1000]
        self.assertEqual(edit["text"], destination)
        self.assertEqual(edit["style"] & (ES_AUTOHSCROLL | ES_MULTILINE | WS_TABSTOP),
                         ES_AUTOHSCROLL | WS_TABSTOP, hex(edit["style"]))
        # The edit control turns the template's WS_BORDER into a client edge.
        self.assertTrue(edit["style"] & WS_BORDER or edit["ex_style"] & WS_EX_CLIENTEDGE,
                        edit)
        self.assertLess(edit["client"][1], edit["pixels"][3] - edit["pixels"][1], edit)
        # No tab stop but OK, CANCEL and the edit field.
        self.assertEqual([c["id"] for c in window["controls"] if c["style"] & WS_TABSTOP],
                         [1, 2, 1000])
        return controls

    # --- the tests

    def test_setup_dialog_matches_its_template(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                title = "Probe " + build
                setup = self.start(build, exe, 'WindowTitle "%s" \nSetupDir $$FD$$\\App \n'
                                   "'never run\n" % title)
                dialog = self.x_window(title)
                [window] = self.probe(build, title, "--minimise")
                controls = self.assert_setup_dialog(
                    window, title, self.ws.winpath(self.ws.prog) + "\\App")
                self.assertEqual(window["focus_id"], 1)
                self.assertTrue(window["enabled"])
                # Nothing has run: the progress bar is as the control starts.
                self.assertEqual((controls[1003]["range"], controls[1003]["pos"]), ([0, 100], 0))
                # Minimised, the dialog paints its icon itself and lives on.
                minimise = window["minimise"]
                self.assertTrue(minimise["iconic"], minimise)
                self.assertGreaterEqual(minimise["paints"], 1, minimise)
                self.assertTrue(minimise["painted"], minimise)
                self.assertTrue(minimise["restored"], minimise)
                self.assertTrue(self.display.press(dialog, "Escape"))
                self.assertEqual(self.wait_status(setup), 2)

    def test_finish_dialog_and_the_progress_after_a_run(self):
        for build, exe in harness.available_win_exes():
            with self.subTest(build=build):
                title = "Probe Finish " + build
                script = ['WindowTitle "%s" ' % title, "SetupDir C:\\Probe ", "' a comment",
                          "", "#define PROBE done"]
                setup = self.start(build, exe, "\n".join(script) + "\n")
                dialog = self.x_window(title)
                self.assertTrue(self.display.press(dialog, "Return"))
                finish_window = self.x_window(title, exclude=(dialog,))
                windows = self.probe(build, title, "--count", "2")
                # SetupDialog is the one with the progress bar.
                [main] = [w for w in windows if any(c["id"] == 1003 for c in w["controls"])]
                [finish] = [w for w in windows if w is not main]

                # FinishDialog is on top of SetupDialog, which it disables.
                self.assert_dialog_frame(finish, title)
                self.assertFalse(finish["app_window"], hex(finish["ex_style"]))
                self.assertTrue(finish["enabled"])
                self.assertEqual(finish["focus_id"], 1)
                self.assertNotEqual(finish["system_menu"].get("last_id"), IDM_ABOUTBOX)
                controls = self.assert_controls(finish, FINISH_CONTROLS)
                self.assert_button(controls[1], BS_DEFPUSHBUTTON)
                self.assert_static(controls[NO_ID], SS_LEFT)

                self.assertFalse(main["enabled"])
                main_controls = self.assert_setup_dialog(main, title, "C:\\Probe")
                # One step per script line: the range is the line count, and the run has
                # reached its end.
                progress = main_controls[1003]
                self.assertEqual((progress["range"], progress["pos"]),
                                 ([0, len(script)], len(script)))

                self.assertTrue(self.display.press(finish_window, "Return"))
                self.assertEqual(self.wait_status(setup), 0)


if __name__ == "__main__":
    unittest.main()
