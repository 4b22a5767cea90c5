"""The script checker's cases, shared by the native and the Wine end-to-end tests: small
defective program directories, each with the (line, severity) pairs the check must
report and its exit status, and helpers to run a check and to read its findings."""
import hashlib
import os
import re
import shutil
import subprocess

import harness

# name, program directory files (relative to prog/), script, expected findings as
# (line, severity) pairs in output order, exit status, and text fragments that the
# findings must hold, in order.
CASES = [
    ("clean script", {"files/a.dat": b"a"},
     "' a comment\nSetupDir C:\\App \nMakeDir $$SETUPDIR$$\n"
     "BinCopy $$FD$$\\files\\a.dat $$SETUPDIR$$\\a.dat\n", [], 0, []),
    ("unknown command", {}, "Message ok\nBogus words\n", [(2, "error")], 1, ["not a command: Bogus"]),
    ("bare operator", {}, "= x\n", [(1, "error")], 1, ["comparison word"]),
    ("registry at the start", {}, "Registry HKEY_CURRENT_USER\\x \n", [(1, "error")], 1, ["Registry"]),
    ("quote never closed", {}, 'BinCopy "$$FD$$\\a.dat C:\\x\n', [(1, "error")], 1, ["closing quote"]),
    ("SenseToken ends the line", {}, "IfFileFind $$FD$$\\a.dat N\n", [(1, "error")], 1,
     ["SenseToken must be followed by a blank or a tab"]),
    ("condition without operands", {}, "IfString a \n", [(1, "error")], 1, ["missing"]),
    ("copy without destination", {"a.dat": b"a"}, "BinCopy $$FD$$\\a.dat \n", [(1, "error")], 1,
     ["destination is missing"]),
    ("text copy without destination", {"a.txt": b"a"}, "TextCopy $$FD$$\\a.txt \n", [(1, "error")], 1,
     ["destination is missing"]),
    ("quoted text copy destination", {"a.txt": b"a"}, 'TextCopy $$FD$$\\a.txt "C:\\a b.txt"\n',
     [(1, "error")], 1, ["quotes"]),
    ("MakeDir without name", {}, "MakeDir\n", [(1, "error")], 1, ["missing"]),
    ("Regsvr without name", {}, "Regsvr\n", [(1, "error")], 1, ["missing"]),
    ("Goto without label", {}, "Goto\n", [(1, "error")], 1, ["label is missing"]),
    ("Goto backwards", {}, ":top\nGoto top\n", [(1, "warning"), (2, "error")], 1,
     ["never jumped to", "no label top on a later line"]),
    ("Goto label in other case", {}, "Goto Done\n:done\n", [(1, "error"), (2, "warning")], 1,
     ["differs only in letter case", "never jumped to"]),
    ("label line without a name under a Goto", {}, "Goto end\n:\n:end\n", [(2, "error")], 1,
     ["label line without a name"]),
    ("line too long", {}, "Message " + "x" * 600 + "\n", [(1, "error")], 1, ["line too long"]),
    ("line too long after expansion", {},
     "#define LONG " + "y" * 250 + "\nMessage LONG LONG LONG\n", [(2, "error")], 1, ["after macro expansion"]),
    ("label too long", {}, "Goto " + "L" * 70 + "\n", [(1, "error")], 1, ["63 bytes"]),
    ("script over the store", {}, ("' " + "c" * 998 + "\n") * 71, [(66, "error")], 1,
     ["script too large"]),
    ("too many macros", {}, "".join("#define M%02d v \n" % i for i in range(47)), [(47, "error")], 1,
     ["too many macros"]),
    ("source not in the program directory", {},
     "BinCopy $$FD$$\\missing.dat $$SETUPDIR$$\\m.dat\nRegsvr \"$$FD$$\\gone.dll\"\n",
     [(1, "error"), (2, "error")], 1, ["not in the program directory", "not in the program directory"]),
    ("source found without regard to case", {"Data/App.DAT": b"a"},
     "BinCopy $$FD$$\\data\\app.dat $$SETUPDIR$$\\app.dat\n", [], 0, []),
    ("text source with a comment never closed", {"readme.txt": b"one\r\n/* two\r\nthree\r\n"},
     "TextCopy $$FD$$\\readme.txt $$SETUPDIR$$\\readme.txt\n", [(1, "error")], 1, ["at its line 3"]),
    ("text source line too long", {"wide.txt": b"$$FD$$" + b"w" * 4080 + b"\n"},
     "MakeDir $$SETUPDIR$$\nJapanCopy $$FD$$\\wide.txt $$SETUPDIR$$\\wide.txt\n", [(2, "error")], 1,
     ["at its line 1"]),
    ("guarded copy of an optional file", {},
     "IfFileFind $$FD$$\\opt.dll N BinCopy $$FD$$\\opt.dll $$SETUPDIR$$\\opt.dll\n"
     "IfFileFind $$FD$$\\x.dll E Goto skip\nBinCopy $$FD$$\\x.dll $$SETUPDIR$$\\x.dll\n:skip\n", [], 0, []),
    ("pre-scan TAB message", {}, "SetupDir C:\\App\nWindowTitle Demo\n", [(1, "warning"), (2, "warning")], 0,
     ["SetupDir", "WindowTitle"]),
    ("lines never run", {}, "Goto end\nMessage never\n:end\nErrorExit stop\nMessage after\n",
     [(2, "warning"), (5, "warning")], 0, ["never run", "never run"]),
    ("unreachable errors are not errors", {}, "Goto end\nBogus\n:end\n", [(2, "warning")], 0, ["never run"]),
    ("lines counted as the run counts them", {}, 'WindowTitle "T"\nBinCopy a\n', [(3, "error")], 1,
     ["source must be followed"]),
    ("warnings only", {}, "MakeDir C:\\Program Files\\App\nMessage \"quoted\"\nBinCopy a.dat C:\\a.dat\n",
     [(1, "warning"), (2, "warning"), (3, "warning")], 0, ["ignored", "quotes", "relative"]),
    ("findings in line order", {}, "Bogus\nSetupDir x\nMakeDir\n", [(1, "error"), (2, "warning"), (3, "error")],
     1, ["not a command", "SetupDir", "MakeDir"]),
]

FINDING = re.compile(r"^(?P<path>.*):(?P<line>\d+): (?P<severity>error|warning): (?P<text>.+)$")


def write_case(ws, files, script):
    for rel, data in files.items():
        ws.write("prog/" + rel, data)
    ws.script(script)


def parse(output):
    """The findings of a check's output: (path, line, severity, text) per line; a line
    that is not a finding fails the parse with ValueError."""
    findings = []
    for line in output.decode("utf-8").splitlines():
        m = FINDING.match(line)
        if not m:
            raise ValueError("not a finding: %r" % line)
        findings.append((m["path"], int(m["line"]), m["severity"], m["text"]))
    return findings


def snapshot(root):
    """Every file and folder below `root`: path -> (kind, size, mtime, digest)."""
    state = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for d in dirnames:
            p = os.path.join(dirpath, d)
            st = os.lstat(p)
            state[os.path.relpath(p, root)] = ("dir", st.st_mtime_ns)
        for f in filenames:
            p = os.path.join(dirpath, f)
            st = os.lstat(p)
            digest = ""
            if os.path.isfile(p) and not os.path.islink(p):
                with open(p, "rb") as fh:
                    digest = hashlib.sha256(fh.read()).hexdigest()
            state[os.path.relpath(p, root)] = ("file", st.st_size, st.st_mtime_ns, digest)
    return state


def run_native_check(ws, *args, env_extra=None):
    """`setup --check ARGS` started as prog/setup, with no Wine prefix at all."""
    env = dict(os.environ)
    env["WINEPREFIX"] = ws.path("no-prefix")
    for var in ("SETUP_UI", "SETUP_TRANSCRIPT", "SETUP_ANSWERS"):
        env.pop(var, None)
    env.update(env_extra or {})
    proc = subprocess.run([os.path.join(ws.prog, "setup"), "--check"] + list(args),
                          executable=harness.NATIVE, env=env, cwd=ws.root,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    return proc.returncode, proc.stdout, proc.stderr


def run_wine_check(ws, exe, *args, place=True):
    """`Setup.exe /CHECK ARGS` run under Wine from prog/, where it is copied first unless
    `place` is false."""
    target = os.path.join(ws.prog, "Setup.exe")
    if place:
        shutil.copyfile(exe, target)
    env = dict(os.environ)
    env.update(harness.wine_env())
    for var in ("SETUP_UI", "SETUP_TRANSCRIPT", "SETUP_ANSWERS"):
        env.pop(var, None)
    proc = subprocess.run(["wine", target, "/CHECK"] + list(args), env=env, cwd=ws.root,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    return proc.returncode, proc.stdout, proc.stderr


def copy_demo(ws):
    demo = os.path.join(harness.SOURCE_DIR, "examples", "demo")
    for name in os.listdir(demo):
        src = os.path.join(demo, name)
        if os.path.isdir(src):
            shutil.copytree(src, os.path.join(ws.prog, name))
        else:
            shutil.copyfile(src, os.path.join(ws.prog, name))


class CheckAssertions:
    """Mixed into a test case: compares a check's output with a case of the table."""

    def assert_case(self, status, output, script_path, expected, expected_status, fragments, label):
        findings = parse(output)
        self.assertEqual(status, expected_status, (label, output))
        if expected is not None:
            self.assertEqual([(line, sev) for _, line, sev, _ in findings], expected, (label, output))
        else:
            self.assertTrue(findings, label)
        for path, _, _, _ in findings:
            self.assertEqual(path, script_path, label)
        texts = [text for _, _, _, text in findings]
        for fragment, text in zip(fragments, texts):
            self.assertIn(fragment, text, label)
        self.assertGreaterEqual(len(texts), len(fragments), label)
        lines = [line for _, line, _, _ in findings]
        self.assertEqual(lines, sorted(lines), label)
