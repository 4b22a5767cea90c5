"""Shared pieces of the end-to-end tests: program directories, prefixes, and runs of the
native program and of both Setup.exe builds in batch mode, with their transcripts."""
import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest

NATIVE = os.environ.get("SETUP_NATIVE", "")
WIN_EXES = [(name, os.environ.get(var, "")) for name, var in
            (("win32", "SETUP_WIN32_EXE"), ("win64", "SETUP_WIN64_EXE"))]
WINEPREFIX = os.environ.get("SETUP_TEST_WINEPREFIX", "")
SOURCE_DIR = os.environ.get("SETUP_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
FIXTURES = {"win32": os.environ.get("SETUP_FIXTURES32", ""), "win64": os.environ.get("SETUP_FIXTURES64", "")}


def cp932(text):
    """Script and file text as the program reads it: code page 932 bytes."""
    return text.encode("cp932") if isinstance(text, str) else text


class Result:
    def __init__(self, status, transcript, stderr):
        self.status = status
        self.stderr = stderr
        self.events = [json.loads(line) for line in transcript.splitlines() if line.strip()]

    def of(self, kind):
        return [e for e in self.events if e["event"] == kind]

    def messages(self):
        return [e["text"] for e in self.of("MessageBox")]

    def kinds(self):
        return [e["event"] for e in self.events]


class Workspace:
    """A temporary directory with a program directory `prog/` and, for the native
    program, a Wine-prefix layout `prefix/` whose C: drive is `prefix/drive_c`."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="setup-e2e-")
        self.prog = os.path.join(self.root, "prog")
        os.makedirs(self.prog)
        self.prefix = os.path.join(self.root, "prefix")
        self.drive_c = os.path.join(self.prefix, "drive_c")
        os.makedirs(os.path.join(self.drive_c, "windows", "system32"))
        os.makedirs(os.path.join(self.prefix, "dosdevices"))
        os.symlink("../drive_c", os.path.join(self.prefix, "dosdevices", "c:"))
        os.symlink("/", os.path.join(self.prefix, "dosdevices", "z:"))

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def write(self, relpath, data):
        """Writes a file below the workspace root; text is stored as code page 932."""
        full = self.path(relpath)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(cp932(data))
        return full

    def read(self, relpath):
        with open(self.path(relpath), "rb") as f:
            return f.read()

    def script(self, text, crlf=True):
        """Writes prog/Setup.Inf; str lines are joined with CR LF (or LF)."""
        data = cp932(text)
        if isinstance(text, str) and crlf:
            data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        return self.write("prog/Setup.Inf", data)

    @staticmethod
    def winpath(posix_path):
        """The Windows view of a POSIX path under Wine (drive Z:)."""
        return "Z:" + posix_path.replace("/", "\\")

    def _run(self, argv, argv0, answers, env_extra, cwd, timeout):
        env = dict(os.environ)
        env["SETUP_UI"] = "batch"
        transcript = self.path("transcript-%d.jsonl" % os.getpid())
        if os.path.exists(transcript):
            os.remove(transcript)
        env["SETUP_TRANSCRIPT"] = transcript
        env.pop("SETUP_ANSWERS", None)
        if answers is not None:
            answers_file = self.path("answers.txt")
            with open(answers_file, "w", encoding="utf-8") as f:
                f.write("".join(a + "\n" for a in answers))
            env["SETUP_ANSWERS"] = answers_file
        env.update(env_extra or {})
        proc = subprocess.run(argv, executable=argv0, env=env, cwd=cwd or self.root,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        text = ""
        if os.path.exists(transcript):
            with open(transcript, encoding="utf-8") as f:
                text = f.read()
        return Result(proc.returncode, text, proc.stderr.decode("utf-8", "replace"))

    def run_native(self, answers=None, env=None, cwd=None, argv0_name="setup", timeout=120):
        """Runs the native program as prog/setup (its first argument names the program
        directory) over this workspace's prefix. Every script of the tests is also a case
        of the checker: a script that runs to its end must check without an error."""
        check = self._check(cwd) if argv0_name == "setup" else None
        extra = {"WINEPREFIX": self.prefix}
        extra.update(env or {})
        result = self._run([os.path.join(self.prog, argv0_name)], NATIVE, answers, extra, cwd, timeout)
        # A run that showed a script error ends with 1 even when it reached its end.
        finished = result.status == 0
        if check is not None and finished and check.returncode != 0:
            raise AssertionError("the check finds an error in a script that runs to its end:\n" +
                                 check.stdout.decode("utf-8", "replace") + check.stderr.decode("utf-8", "replace"))
        return result

    def _check(self, cwd):
        """`setup --check` of prog/ as it is before the run, with no prefix at all."""
        if not os.path.exists(os.path.join(self.prog, "Setup.Inf")):
            return None
        env = {k: v for k, v in os.environ.items() if not k.startswith("SETUP_")}
        env["WINEPREFIX"] = self.path("no-prefix")
        return subprocess.run([os.path.join(self.prog, "setup"), "--check", self.prog], executable=NATIVE,
                              env=env, cwd=cwd or self.root, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=60)

    def run_wine(self, exe, answers=None, env=None, cwd=None, timeout=180):
        """Copies `exe` into prog/ and runs it under Wine in the shared test prefix."""
        target = os.path.join(self.prog, "Setup.exe")
        shutil.copyfile(exe, target)
        extra = wine_env()
        extra.update(env or {})
        return self._run(["wine", target], shutil.which("wine"), answers, extra, cwd, timeout)


DISPLAY_FILE = WINEPREFIX + ".display" if WINEPREFIX else ""


def shared_display():
    """The X display of the shared Wine prefix (":N"), or None. Wine binds its desktop to
    the display of the session's first program, so every Wine test of a run uses it."""
    try:
        with open(DISPLAY_FILE) as f:
            return f.read().split()[0]
    except (OSError, IndexError):
        return None


def wine_env():
    env = {"WINEPREFIX": WINEPREFIX, "WINEDEBUG": "-all", "LANG": "ja_JP.UTF-8",
           "LC_ALL": "ja_JP.UTF-8", "WINEDLLOVERRIDES": "mscoree,mshtml="}
    display = shared_display()
    if display:
        env["DISPLAY"] = display
    return env


def read_record(path, encoding="cp932"):
    """The lines a test component or program recorded in `path`.log, [] when it never
    ran."""
    log = path + ".log"
    if not os.path.exists(log):
        return []
    with open(log, "rb") as f:
        return f.read().decode(encoding).splitlines()


def wait_for(predicate, timeout, interval=0.1):
    """Polls until `predicate` answers something true; answers that, or None."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    return None


def start_xvfb():
    """Starts Xvfb on a display number it picks itself: (process, ":N")."""
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        number = f.readline().strip()
    if not number:
        server.kill()
        server.wait()
        raise RuntimeError("Xvfb did not start")
    return server, ":" + number


class Display:
    """The X display for real-window tests: the shared one of the Wine prefix when there
    is one, else an Xvfb server of its own, ended with close()."""

    def __init__(self):
        self.server = None
        self.name = shared_display()
        if not self.name:
            self.server, self.name = start_xvfb()

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        return env

    def run(self, *argv):
        return subprocess.run(list(argv), env=self.env(), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=30)

    def windows(self, title):
        """Ids of the visible windows whose name is exactly `title`."""
        r = self.run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % title)
        return [line for line in r.stdout.decode().split()] if r.returncode == 0 else []

    def geometry(self, window):
        r = self.run("xdotool", "getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in r.stdout.decode().splitlines() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def press(self, window, key):
        self.run("xdotool", "windowfocus", "--sync", window)
        return self.run("xdotool", "key", "--clearmodifiers", key).returncode == 0

    def screenshot(self, window, path):
        return self.run("import", "-window", window, "png:" + path).returncode == 0

    def close(self):
        if not self.server:
            return
        self.server.terminate()
        try:
            self.server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait()


def wine_c_drive():
    return os.path.join(WINEPREFIX, "drive_c")


def available_win_exes():
    return [(name, exe) for name, exe in WIN_EXES if exe and os.path.exists(exe)]


class E2ETest(unittest.TestCase):
    """Gives every test a fresh workspace."""

    def setUp(self):
        self.ws = Workspace()
        self.addCleanup(self.ws.cleanup)


def small_disk(test, ws, size="64k", fill=False):
    """A tmpfs of `size` mounted at the workspace's "disk", unmounted after the test, filled
    to the last byte with `fill`; skips the test where none can be mounted (not root)."""
    disk = ws.path("disk")
    os.makedirs(disk)
    if os.geteuid() != 0 or subprocess.run(
            ["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", disk],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        test.skipTest("no tmpfs can be mounted here; the unit tests inject write errors")
    test.addCleanup(subprocess.run, ["umount", "-l", disk])
    if fill:
        try:
            with open(os.path.join(disk, "filler"), "wb", buffering=0) as f:
                while True:
                    f.write(b"\0" * 4096)
        except OSError:
            pass
    return disk


def require_native(test):
    if not NATIVE or not os.path.exists(NATIVE):
        test.skipTest("native program not built")


def require_wine(test):
    if not available_win_exes() or not WINEPREFIX or not shutil.which("wine"):
        test.skipTest("Setup.exe or Wine not available")


def start_wine_services():
    """Runs one Wine program with no standard handles of ours. The first program in a
    session starts Wine's system processes (services.exe and others), which inherit its
    standard error and live on beside the persistent wineserver: started from a test's
    pipe they would hold it open, and the test would wait for its end forever."""
    env = dict(os.environ)
    env.update(wine_env())
    subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


class WineTest(E2ETest):
    """A test of the Setup.exe builds under Wine, skipped where they or Wine are missing."""

    @classmethod
    def setUpClass(cls):
        if available_win_exes() and WINEPREFIX and shutil.which("wine"):
            start_wine_services()

    def setUp(self):
        super().setUp()
        require_wine(self)
