"""The install record natively, with a Product.ini beside Setup.Inf: an install removed by
--uninstall=ID down to what the user changed or added, a failed run rolled back to the
prefix byte for byte (a replaced file with its old bytes and time), a run killed half-way
rolled back by the next start, a damaged record refused, the product file checked, and
without one nothing recorded."""
import os
import signal
import subprocess
import unittest

import harness

PRODUCT = b"\xef\xbb\xbf[Product]\r\nId=Demo.App\r\nName=Demo\r\nVersion=1.0\r\n"
SCRIPT = ("SetupDir C:\\App \n"
          "MakeDir $$SETUPDIR$$\n"
          "MakeDir $$SETUPDIR$$\\doc\n"
          "BinCopy $$FD$$\\app.dat $$SETUPDIR$$\\app.dat\n"
          "TextCopy $$FD$$\\readme.txt $$SETUPDIR$$\\doc\\readme.txt\n"
          "BinCopy $$FD$$\\app.dat C:\\Shared\\shared.dat\n")


def tree(root):
    """Every file and folder below `root`: relative path -> (bytes, mtime) or "dir"."""
    out = {}
    for dirpath, dirnames, filenames in os.walk(root):
        out.update((os.path.relpath(os.path.join(dirpath, d), root), "dir") for d in dirnames)
        for f in filenames:
            full = os.path.join(dirpath, f)
            with open(full, "rb") as h:
                out[os.path.relpath(full, root)] = (h.read(), int(os.stat(full).st_mtime))
    return out


class InstallRecordTest(harness.E2ETest):
    def setUp(self):
        super().setUp()
        harness.require_native(self)
        self.ws.write("prog/app.dat", b"application\x00bytes")
        self.ws.write("prog/readme.txt", "read me\n")
        self.ws.write("prog/Product.ini", PRODUCT)
        os.utime(self.ws.write("prefix/drive_c/Shared/shared.dat", b"theirs"), (1000000000, 1000000000))

    def machine(self):
        found = tree(self.ws.drive_c)
        return {k: v for k, v in found.items() if not k.startswith(os.path.join("windows", "SetupRecords"))}

    def uninstall(self, *extra):
        return self.ws._run([os.path.join(self.ws.prog, "setup"), "--uninstall=Demo.App", *extra],
                            harness.NATIVE, None, {"WINEPREFIX": self.ws.prefix}, None, 60)

    def test_uninstall_keeps_what_was_changed_added_or_there_before(self):
        self.ws.write("prog/Setup.exe", b"MZ stands in for Setup.exe")
        self.ws.script(SCRIPT)
        before = self.machine()
        self.assertEqual(self.ws.run_native().status, 0)
        app = os.path.join(self.ws.drive_c, "App")
        self.assertTrue(os.path.exists(os.path.join(app, "Uninstall.rec")))
        # The program directory's Setup.exe is placed as the uninstaller.
        self.assertEqual(self.ws.read("prefix/drive_c/App/Uninstall.exe"), b"MZ stands in for Setup.exe")
        self.ws.write("prefix/drive_c/App/doc/mine.txt", b"the user's")
        result = self.uninstall()
        self.assertEqual(result.status, 0, result.stderr)
        undo = [(e["action"], e["path"], e.get("reason")) for e in result.of("Undo")]
        self.assertEqual(undo, [
            ("entry removed", "Demo.App", None),
            ("removed", "C:\\App\\Uninstall.exe", None),
            ("kept", "C:\\Shared\\shared.dat", "existed before"),
            ("removed", "C:\\App\\doc\\readme.txt", None),
            ("removed", "C:\\App\\app.dat", None),
            ("kept", "C:\\App\\doc", "not empty"),
            ("kept", "C:\\App", "not empty"),
        ])
        self.assertEqual(result.of("Uninstalled"), [
            {"event": "Uninstalled", "id": "Demo.App", "kept": 3, "restart": False}])
        os.remove(os.path.join(app, "doc", "mine.txt"))
        shared = os.path.join("Shared", "shared.dat")
        after = self.machine()
        self.assertNotEqual(after.pop(shared), before.pop(shared))
        before.update({"App": "dir", os.path.join("App", "doc"): "dir"})
        self.assertEqual(after, before)
        self.assertEqual(self.uninstall().status, 1)  # nothing is recorded any more

    def test_a_failed_run_is_rolled_back_byte_for_byte(self):
        # (last line, answers, whether the program directory has a product file)
        for last, answers, product in (("ErrorExit stopped\n", None, True),
                                       ("MessageBox \"Go on?\"\n", ["OK", "CANCEL"], True),
                                       ("BinCopy $$FD$$\\missing $$SETUPDIR$$\\x\n", None, True),
                                       ("ErrorExit stopped\n", None, False)):
            with self.subTest(last=last, product=product):
                if not product:
                    os.remove(os.path.join(self.ws.prog, "Product.ini"))
                self.ws.script(SCRIPT + last)
                before, records = self.machine(), tree(os.path.join(self.ws.drive_c, "windows"))
                result = self.ws.run_native(answers=answers)
                self.assertEqual(result.status, 1)
                if not product:  # nothing is recorded, so nothing is rolled back
                    self.assertEqual([k for k in result.kinds() if k in ("Rollback", "Undo", "RolledBack")], [])
                    self.assertEqual(sorted(os.listdir(os.path.join(self.ws.drive_c, "App"))), ["app.dat", "doc"])
                    self.assertEqual(tree(os.path.join(self.ws.drive_c, "windows")), records)
                    continue
                self.assertEqual(self.machine(), before)
                self.assertEqual(result.of("Rollback"),
                                 [{"event": "Rollback", "id": "Demo.App", "cause": "failed"}])
                self.assertIn({"event": "Undo", "action": "restored", "path": "C:\\Shared\\shared.dat"},
                              result.events)
                self.assertEqual(result.events[-1], {"event": "RolledBack", "id": "Demo.App", "kept": 0})

    def test_a_run_killed_half_way_is_rolled_back_by_the_next_start(self):
        marker = self.ws.path("slow.started")
        # The registration program records its process id: it runs in a process group of
        # its own, which the kill of the setup's group does not reach.
        slow = self.ws.write("slow.sh", "#!/bin/sh\necho $$ > '%s.tmp'\nmv '%s.tmp' '%s'\nexec sleep 60\n"
                             % (marker, marker, marker))
        os.chmod(slow, 0o755)
        self.ws.script(SCRIPT + "Regsvr \"%s\"\n" % slow)
        before = self.machine()
        env = dict(os.environ, SETUP_UI="batch", WINEPREFIX=self.ws.prefix,
                   SETUP_TRANSCRIPT=self.ws.path("killed.jsonl"))
        proc = subprocess.Popen([os.path.join(self.ws.prog, "setup")], executable=harness.NATIVE, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.assertTrue(harness.wait_for(lambda: os.path.exists(marker), 60))
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        with open(marker) as f:
            os.kill(int(f.read()), signal.SIGKILL)
        self.assertNotEqual(self.machine(), before)
        # The next start rolls back before it asks for the destination; cancelled there.
        result = self.ws.run_native(answers=["CANCEL"])
        self.assertEqual(result.status, 2)
        self.assertEqual(result.events[0], {"event": "Rollback", "id": "Demo.App", "cause": "interrupted"})
        self.assertIn({"event": "Undo", "action": "restored", "path": "C:\\Shared\\shared.dat"}, result.events)
        self.assertIn({"event": "RolledBack", "id": "Demo.App", "kept": 0}, result.events)
        self.assertEqual(self.machine(), before)

    def test_a_damaged_record_is_refused_and_nothing_removed(self):
        self.ws.script(SCRIPT)
        self.assertEqual(self.ws.run_native().status, 0)
        record = bytearray(self.ws.read("prefix/drive_c/App/Uninstall.rec"))
        record[600] ^= 1
        self.ws.write("prefix/drive_c/App/Uninstall.rec", bytes(record))
        installed = self.machine()
        result = self.uninstall()
        self.assertEqual(result.status, 1)
        self.assertEqual(result.messages(),
                         ["The install record C:\\App\\Uninstall.rec is damaged; nothing was changed"])
        self.assertEqual(self.machine(), installed)
        again = self.ws.run_native()  # start-up refuses to install over it
        self.assertEqual(again.status, 3)
        self.assertEqual(self.machine(), installed)

    def test_a_wrong_product_file_is_refused_and_checked(self):
        self.ws.script(SCRIPT)
        self.ws.write("prog/Product.ini", b"[Product]\nId=a b\nRollback=maybe\n")
        result = self.ws.run_native()
        self.assertEqual(result.status, 3)
        [message] = result.messages()
        self.assertTrue(message.endswith(
            "Product.ini:2: error: Id 'a b' may hold only letters, digits, '.', '-', '_', '{' and '}'\n"
            "%s:3: error: Rollback must be yes or no, not 'maybe'" % message.split(":2:")[0]), message)
        check = subprocess.run([harness.NATIVE, "--check", self.ws.prog], stdout=subprocess.PIPE, timeout=60)
        self.assertEqual(check.returncode, 1)
        self.assertIn("Product.ini:3: error: Rollback must be yes or no, not 'maybe'\n", check.stdout.decode())
        self.assertFalse(os.path.exists(os.path.join(self.ws.drive_c, "App")))

    def test_an_entry_that_cannot_be_written_is_said(self):
        # This scratch prefix has no registry hives, so the entry cannot be written.
        self.ws.script(SCRIPT)
        result = self.ws.run_native()
        self.assertEqual(result.status, 0)
        [said] = [e["text"] for e in result.of("MessageBox")]
        self.assertTrue(said.startswith("The install finished, but its install record or its "
                                           "entry in Programs and Features could not be completed"))
        with open(os.path.join(self.ws.prefix, "system.reg"), "w") as f:
            f.write("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n")
        self.assertEqual(self.uninstall().status, 0)
        self.ws.script(SCRIPT)
        self.assertEqual(self.ws.run_native().of("MessageBox"), [])


if __name__ == "__main__":
    unittest.main()
