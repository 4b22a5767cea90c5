"""Regsvr with the native program: shared objects whose DllRegisterServer is called in
the process, and programs started with "/regserver" in their own directory. The
components are compiled here with `cc`; each records what happened to it in
"<its own path>.log"."""
import os
import shutil
import subprocess
import tempfile
import unittest

import harness

LIBRARY_SOURCE = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>

int DllRegisterServer(void) {
  Dl_info info;
  char path[4096];
  if (dladdr((void*)&DllRegisterServer, &info) && info.dli_fname) {
    snprintf(path, sizeof path, "%s.log", info.dli_fname);
    FILE* f = fopen(path, "a");
    if (f) {
      fputs("DllRegisterServer\n", f);
      fclose(f);
    }
  }
  return RESULT;
}
"""

# Records "start", "cwd=<working directory>" and "argv=<word>" for each argument word
# (argv[0] included), tab-separated on one line, then exits with 3: the error code a
# registration program may report, which Regsvr does not read.
PROGRAM_SOURCE = r"""
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
  char self[PATH_MAX];
  char cwd[PATH_MAX];
  char log[PATH_MAX + 8];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 100;
  self[n] = '\0';
  if (!getcwd(cwd, sizeof cwd)) return 101;
  snprintf(log, sizeof log, "%s.log", self);
  FILE* f = fopen(log, "a");
  if (!f) return 102;
  fprintf(f, "start\tcwd=%s", cwd);
  for (int i = 0; i < argc; ++i) fprintf(f, "\targv=%s", argv[i]);
  fputs("\n", f);
  fclose(f);
  return 3;
}
"""

TOPMOST = 0x40000


def compile_fixtures(directory):
    """Builds ok.so (returns 0), false.so (returns S_FALSE) and server.exe."""
    sources = {"lib.c": LIBRARY_SOURCE, "prog.c": PROGRAM_SOURCE}
    for name, text in sources.items():
        with open(os.path.join(directory, name), "w") as f:
            f.write(text)
    cc = shutil.which("cc") or shutil.which("gcc")
    for out, result in (("ok.so", 0), ("false.so", 1)):
        subprocess.run([cc, "-shared", "-fPIC", "-DRESULT=%d" % result, "-o",
                        os.path.join(directory, out), os.path.join(directory, "lib.c")], check=True)
    subprocess.run([cc, "-o", os.path.join(directory, "server.exe"),
                    os.path.join(directory, "prog.c")], check=True)


def read_log(path):
    return harness.read_record(path, "utf-8")


def starts(path):
    """Each start of a recording program as (cwd, argv)."""
    result = []
    for line in read_log(path):
        fields = line.split("\t")
        if fields[0] != "start":
            continue
        cwd = [f[4:] for f in fields[1:] if f.startswith("cwd=")][0]
        argv = [f[5:] for f in fields[1:] if f.startswith("argv=")]
        result.append((cwd, argv))
    return result


class RegsvrNativeTest(harness.E2ETest):
    @classmethod
    def setUpClass(cls):
        cls.built = tempfile.mkdtemp(prefix="setup-regsvr-")
        if shutil.which("cc") or shutil.which("gcc"):
            compile_fixtures(cls.built)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.built, ignore_errors=True)

    def setUp(self):
        harness.require_native(self)
        if not os.path.exists(os.path.join(self.built, "server.exe")):
            self.skipTest("no C compiler")
        super().setUp()

    def place(self, name, directory):
        """Copies a built component into `directory` (below the workspace root)."""
        target_dir = self.ws.path(directory)
        os.makedirs(target_dir, exist_ok=True)
        target = os.path.join(target_dir, os.path.basename(name))
        shutil.copy2(os.path.join(self.built, os.path.basename(name)), target)
        return target

    def assertFinished(self, result, messages):
        self.assertEqual(result.status, 0, result.stderr)
        self.assertEqual(result.messages(), messages)
        self.assertEqual(len(result.of("FinishDialog")), 1)

    def assertFailed(self, result, messages):
        self.assertEqual(result.status, 1, result.stderr)
        self.assertEqual(result.messages(), messages)
        self.assertEqual(result.of("FinishDialog"), [])

    def test_library_is_registered_in_the_process(self):
        lib = self.place("ok.so", "prefix/drive_c/App")
        for line in ("Regsvr C:\\App\\ok.so \nMessage after",
                     "Regsvr C:\\App\\ok.so\t\nMessage after",
                     "Regsvr \"C:\\App\\ok.so\"\nMessage after",
                     "Regsvr C:/App/ok.so ignored words\nMessage after"):
            if os.path.exists(lib + ".log"):
                os.remove(lib + ".log")
            self.ws.script(line)
            result = self.ws.run_native()
            self.assertFinished(result, ["after"])
            self.assertEqual(read_log(lib), ["DllRegisterServer"], line)

    def test_s_false_falls_through_and_a_library_cannot_be_started(self):
        lib = self.place("false.so", "prefix/drive_c/App")
        self.ws.script("Regsvr C:\\App\\false.so \nMessage never")
        result = self.ws.run_native()
        self.assertFailed(result, [" 'C:\\App\\false.so' registration can't be done"])
        self.assertEqual(result.of("MessageBox")[0]["style"], TOPMOST)
        self.assertEqual(read_log(lib), ["DllRegisterServer"])

    def test_missing_component_fails(self):
        self.ws.script("Regsvr \"C:\\App\\missing.dll\" \nMessage never")
        result = self.ws.run_native()
        self.assertFailed(result, [" 'C:\\App\\missing.dll' registration can't be done"])
        self.assertEqual(result.of("MessageBox")[0]["style"], TOPMOST)

    def test_program_started_with_regserver_in_its_directory(self):
        prog = self.place("server.exe", "prefix/drive_c/App")
        self.ws.script("Regsvr \"$$SETUPDIR$$\\server.exe\"\nMessage after")
        result = self.ws.run_native(answers=["OK C:\\App"])
        # Its exit code 3 does not stop the run.
        self.assertFinished(result, ["after"])
        runs = starts(prog)
        self.assertEqual(len(runs), 1)
        cwd, argv = runs[0]
        self.assertEqual(cwd, os.path.realpath(os.path.dirname(prog)))
        self.assertEqual(argv[1:], ["/regserver"])
        self.assertEqual(os.path.realpath(argv[0]), os.path.realpath(prog))

    def test_program_with_forward_slashes(self):
        prog = self.place("server.exe", "prefix/drive_c/App/sub")
        self.ws.script("Regsvr C:/App/sub/server.exe \n")
        self.assertFinished(self.ws.run_native(), [])
        runs = starts(prog)
        self.assertEqual([(cwd, argv[1:]) for cwd, argv in runs],
                         [(os.path.realpath(os.path.dirname(prog)), ["/regserver"])])

    def test_quoted_path_with_blanks(self):
        prog = self.place("server.exe", "prefix/drive_c/Program Files/A B")
        self.ws.script("Regsvr \"C:\\Program Files\\A B\\server.exe\" \nMessage after")
        self.assertFinished(self.ws.run_native(), ["after"])
        runs = starts(prog)
        self.assertEqual(len(runs), 1)
        self.assertEqual(runs[0][0], os.path.realpath(os.path.dirname(prog)))
        self.assertEqual(runs[0][1][1:], ["/regserver"])

    def test_bare_name_starts_in_the_current_directory(self):
        prog = self.place("server.exe", "cur")
        self.ws.script("Regsvr server.exe \nMessage after")
        result = self.ws.run_native(cwd=self.ws.path("cur"))
        self.assertFinished(result, ["after"])
        runs = starts(prog)
        self.assertEqual(len(runs), 1)
        self.assertEqual(runs[0][0], os.path.realpath(self.ws.path("cur")))
        self.assertEqual(runs[0][1][1:], ["/regserver"])

    def test_unquoted_path_at_the_end_of_the_line(self):
        lib = self.place("ok.so", "prefix/drive_c/App")
        self.ws.script("Regsvr C:\\App\\ok.so\nMessage never")
        result = self.ws.run_native()
        self.assertEqual(result.status, 1, result.stderr)
        messages = result.messages()
        self.assertEqual(len(messages), 1)
        self.assertTrue(messages[0].endswith("Setup.Infの1行目にTABが有りません"), messages[0])
        self.assertEqual(read_log(lib), [])


if __name__ == "__main__":
    unittest.main()
