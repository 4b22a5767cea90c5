"""Makes the throw-away Wine prefix that the Wine tests share (setup), with a persistent
wineserver, and ends that wineserver (cleanup). `fonts` gives the prefix named by
WINEPREFIX the fonts the dialogs ask for, as the tests' prefix has them: tools/demo.sh
uses it, so that `make demo` shows what the tests see."""
import os
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402


CJK_FONT = "IPAPGothic"  # Debian's fonts-ipafont-gothic
JAPANESE_FONTS = ["ＭＳ Ｐゴシック", "MS PGothic", "ＭＳ ゴシック", "MS Gothic", "MS UI Gothic"]
# The symbol font Wine draws the caption buttons with (Debian's fonts-wine); without it
# they show as letters and digits. This Wine does not look for it where the package puts
# it, only in the prefix's Fonts folder.
SYMBOL_FONT = "/usr/share/wine/fonts/marlett.ttf"


def font_replacements_reg():
    """The registry file (UTF-16, so that no code page garbles the full-width names) that
    maps the fonts the dialogs and message boxes ask for, "ＭＳ Ｐゴシック" and Wine's
    Japanese UI font, to Debian's IPA font: the Japanese texts show, in a proportional
    font as narrow as the dialog layouts expect."""
    lines = ["Windows Registry Editor Version 5.00", "",
             r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]"]
    lines += ['"%s"="%s"' % (name, CJK_FONT) for name in JAPANESE_FONTS]
    return ("\r\n".join(lines) + "\r\n").encode("utf-16")


def install_fonts(env):
    """Gives the prefix of env's WINEPREFIX the fonts the windows ask for."""
    reg = os.path.join(env["WINEPREFIX"], "font-replacements.reg")
    with open(reg, "wb") as f:
        f.write(font_replacements_reg())
    subprocess.run(["wine", "reg", "import", "Z:" + reg.replace("/", "\\")], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.remove(reg)
    subprocess.run(["wineserver", "-w"], env=env)
    if os.path.exists(SYMBOL_FONT):
        shutil.copyfile(SYMBOL_FONT, os.path.join(env["WINEPREFIX"], "drive_c", "windows", "Fonts",
                                                  os.path.basename(SYMBOL_FONT)))
    else:
        print("warning: %s is missing (Debian: fonts-wine); the caption buttons will show "
              "as letters" % SYMBOL_FONT, file=sys.stderr)


def stop_display():
    try:
        with open(harness.DISPLAY_FILE) as f:
            pid = int(f.read().split()[1])
        os.kill(pid, signal.SIGTERM)
    except (OSError, IndexError, ValueError):
        pass
    try:
        os.remove(harness.DISPLAY_FILE)
    except OSError:
        pass


def main(action):
    if action == "fonts":
        install_fonts(dict(os.environ))
        return
    prefix = harness.WINEPREFIX
    env = dict(os.environ)
    env.update(harness.wine_env())
    env.pop("DISPLAY", None)
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
    stop_display()
    if action == "setup":
        shutil.rmtree(prefix, ignore_errors=True)
        subprocess.run(["wineboot", "-i"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env)
        # Without a window manager Wine waits 2 s whenever a window is hidden.
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                        "/t", "REG_SZ", "/d", "N", "/f"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env)
        install_fonts(env)
        # One X display for the whole run: Wine binds its desktop to the display of the
        # session's first program, so the window tests and the batch tests share it.
        if shutil.which("Xvfb"):
            server, display = harness.start_xvfb()
            with open(harness.DISPLAY_FILE, "w") as f:
                f.write("%s %d\n" % (display, server.pid))
            env["DISPLAY"] = display
        # A persistent server for the whole run; it returns once the server is ready.
        subprocess.run(["wineserver", "-p"], env=env, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Wine's desktop process (explorer.exe) ends about a second after the last program
        # of the desktop; the next program that makes a window starts it again and waits
        # at most 10 s for it. Under load that was too short: the program could make no
        # window, so SetupDialog failed to open and ended as if cancelled. A program that
        # stays on the desktop until the cleanup's "wineserver -k" keeps the desktop up
        # for the whole run: find.exe reading a pipe whose writing end it holds itself.
        read_end, write_end = os.pipe()
        subprocess.Popen(["wine", "find", "keep"], env=env, stdin=read_end, pass_fds=(write_end,),
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(read_end)
        os.close(write_end)
        # The first program of a wineserver session starts Wine's background services,
        # which keep its standard handles open: start them here with none of ours, so
        # that no test waits for them to close its pipes.
        subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        print("wine prefix ready:", prefix)
    else:
        print("wineserver and display ended")


if __name__ == "__main__":
    main(sys.argv[1])
