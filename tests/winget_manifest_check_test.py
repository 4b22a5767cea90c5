#!/usr/bin/env python3
"""Tests of winget_manifest_check.py: the manifests under docs/winget pass, and each kind
of fault in a copy of them is found."""
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winget_manifest_check  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
INSTALLER = "docs/winget/Example.Demo.installer.yaml"


class WingetManifestCheckTest(unittest.TestCase):
    def check_with(self, path, old, new):
        with tempfile.TemporaryDirectory() as root:
            shutil.copytree(os.path.join(ROOT, "docs", "winget"), os.path.join(root, "docs", "winget"))
            shutil.copytree(os.path.join(ROOT, "tests", "schemas"), os.path.join(root, "tests", "schemas"))
            full = os.path.join(root, path)
            with open(full, encoding="utf-8") as f:
                text = f.read()
            self.assertIn(old, text)
            with open(full, "w", encoding="utf-8") as f:
                f.write(text.replace(old, new))
            return winget_manifest_check.check(root)

    def test_the_manifests_pass_and_each_fault_is_found(self):
        self.assertEqual(winget_manifest_check.check(ROOT), [])
        for path, old, new, fault in [
            (INSTALLER, "  Silent: /S\n", "  Silent: /silent\n", "InstallerSwitches.Silent is not /S"),
            (INSTALLER, "    ProductCode: Example.Demo\n", "    ProductCode: Demo\n",
             "a ProductCode is not the Id Example.Demo"),
            (INSTALLER, "    ReturnResponse: cancelledByUser\n", "    ReturnResponse: cancelled\n",
             "'cancelled' is not one of"),
            (INSTALLER, "InstallerType: exe\nScope", "InstallerType: setup\nScope", "'setup' is not one of"),
            ("docs/winget/Example.Demo.yaml", "PackageVersion: 1.0.0", "PackageVersion: 1.0.1",
             "the parts name different packages"),
            ("docs/winget/Example.Demo.yaml", "ManifestType: version", "ManifestType: other",
             "no ManifestType this check knows"),
        ]:
            faults = self.check_with(path, old, new)
            self.assertTrue(any(fault in f for f in faults), (fault, faults))


if __name__ == "__main__":
    unittest.main()
