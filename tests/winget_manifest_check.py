#!/usr/bin/env python3
"""Checks the winget manifests under docs/winget against winget's published JSON schemas
(tests/schemas/winget, from microsoft/winget-cli, MIT licence beside them), and that the
three parts agree with each other and with the uninstall entry: one PackageIdentifier and
PackageVersion, every ProductCode the identifier (the entry's key), the install switches
the programs take.

Usage: winget_manifest_check.py [source root]. Prints every fault and exits 1 when there
is one."""
import glob
import json
import os
import sys

import jsonschema
import yaml

SCHEMAS = {"version": "manifest.version.1.10.0.json",
           "installer": "manifest.installer.1.10.0.json",
           "defaultLocale": "manifest.defaultLocale.1.10.0.json"}
SWITCHES = {"Silent": "/S", "Log": "/LOG=<LOGPATH>", "InstallLocation": "/D=<INSTALLPATH>"}


def check(root):
    faults = []
    manifests = {}
    for path in sorted(glob.glob(os.path.join(root, "docs", "winget", "*.yaml"))):
        with open(path, encoding="utf-8") as f:
            manifest = yaml.safe_load(f)
        kind = manifest.get("ManifestType") if isinstance(manifest, dict) else None
        if kind not in SCHEMAS:
            faults.append("%s: no ManifestType this check knows" % path)
            continue
        with open(os.path.join(root, "tests", "schemas", "winget", SCHEMAS[kind])) as f:
            schema = json.load(f)
        for error in jsonschema.Draft7Validator(schema).iter_errors(manifest):
            faults.append("%s: %s at %s" % (path, error.message, list(error.absolute_path)))
        manifests[kind] = manifest
    if sorted(manifests) != sorted(SCHEMAS):
        return faults + ["docs/winget: wants one manifest of each kind: %s" % sorted(SCHEMAS)]
    ids = {(m["PackageIdentifier"], m["PackageVersion"]) for m in manifests.values()}
    if len(ids) != 1:
        faults.append("docs/winget: the parts name different packages: %s" % sorted(ids))
    package_id = manifests["version"]["PackageIdentifier"]
    installer = manifests["installer"]
    codes = [installer.get("ProductCode")]
    codes += [e.get("ProductCode") for e in installer.get("AppsAndFeaturesEntries", [])]
    codes += [i.get("ProductCode") for i in installer["Installers"] if "ProductCode" in i]
    if any(code != package_id for code in codes):
        faults.append("installer: a ProductCode is not the Id %s: %s" % (package_id, codes))
    for name, switch in SWITCHES.items():
        if installer.get("InstallerSwitches", {}).get(name) != switch:
            faults.append("installer: InstallerSwitches.%s is not %s" % (name, switch))
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    faults = check(root)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
