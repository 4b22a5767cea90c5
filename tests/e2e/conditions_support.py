"""Pieces shared by the condition tests of the native program and of Setup.exe: the
version fixtures, found by what their version resource holds rather than by name, and
the Wine prefix registry files that the native program reads."""
import os
import re
import shutil

# Names the fixtures get in the program directory, by what they hold.
VERSION_FIXTURES = {
    "ver_a": "FileVersion 5.0.3.1, ProductVersion 7.2.0.0",
    "ver_b": "FileVersion 5.2.0.0",
    "ver_c": "FileVersion 5, 2, 0, 0",
    "ver_d": "FileVersion 6, 0, 0, 0",
    "ver_e": "first translation without string table",
    "ver_f": "no version resource",
}


def _utf16(text):
    return text.encode("utf-16-le")


def _string_value(data, key, value):
    """True when a version String named `key` holds exactly `value`."""
    pattern = (re.escape(_utf16(key) + b"\0\0") + b"(?:\0\0)?" + re.escape(_utf16(value)) +
               b"(?:\0\0|$)")
    return re.search(pattern, data) is not None


def _first_translation_without_table(data):
    m = re.search(re.escape(_utf16("Translation") + b"\0\0") + b"(?:\0\0)?(....)", data, re.S)
    if not m:
        return False
    pair = m.group(1)
    table = "%04X%04X" % (pair[0] | pair[1] << 8, pair[2] | pair[3] << 8)
    return (_utf16(table) not in data and _utf16(table.lower()) not in data
            and _utf16("StringFileInfo") in data)


def _classify(data):
    if _utf16("VS_VERSION_INFO") not in data:
        return "ver_f"
    if _first_translation_without_table(data):
        return "ver_e"
    if _string_value(data, "FileVersion", "5.0.3.1") and _string_value(data, "ProductVersion", "7.2.0.0"):
        return "ver_a"
    for name, version in (("ver_b", "5.2.0.0"), ("ver_c", "5, 2, 0, 0"), ("ver_d", "6, 0, 0, 0")):
        if _string_value(data, "FileVersion", version):
            return name
    return None


def find_version_fixtures(directory):
    """Maps ver_a ... ver_f to the fixture files of `directory` that hold them."""
    found = {}
    if not directory or not os.path.isdir(directory):
        return found
    for entry in sorted(os.listdir(directory)):
        path = os.path.join(directory, entry)
        if not entry.lower().endswith((".dll", ".exe")) or not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            data = f.read()
        if not data.startswith(b"MZ"):
            continue
        kind = _classify(data)
        if kind and kind not in found:
            found[kind] = path
    return found


def copy_fixtures(found, directory):
    """Copies the fixtures into `directory` as ver_a.dll ...; returns the names given."""
    names = {}
    for kind, path in found.items():
        name = kind + os.path.splitext(path)[1].lower()
        shutil.copyfile(path, os.path.join(directory, name))
        names[kind] = name
    return names


def version_script(names):
    """Script lines testing the fixtures present, and the Message texts they must show.

    Every line shows its Message only when the condition holds; `expected` lists the
    texts in script order."""
    lines, expected = [], []

    def line(kind, text, shown):
        if kind is None or kind in names:
            lines.append(text)
            if shown:
                expected.append(text.rsplit("Message ", 1)[1])

    fd = lambda kind: "$$FD$$\\" + names.get(kind, "")  # noqa: E731
    line("ver_a", "IfFileVersion %s < 5.1.0.0 N Message a-less" % fd("ver_a"), True)
    line("ver_b", "IfFileVersion %s < 5.1.0.0 N Message b-less" % fd("ver_b"), False)
    line("ver_b", "IfFileVersion %s >= 5.1.0.0 N Message b-not-less" % fd("ver_b"), True)
    line("ver_c", "IfFileVersion %s < 5.1.0.0 N Message c-less" % fd("ver_c"), True)
    line("ver_d", "IfFileVersion %s = 6.0.0.0 N Message d-equal-dotted" % fd("ver_d"), False)
    line("ver_d", "IfFileVersion %s = \"6, 0, 0, 0\" N Message d-equal-text" % fd("ver_d"), True)
    line("ver_a", "IfProductVersion %s = 7.2.0.0 N Message a-product" % fd("ver_a"), True)
    line("ver_a", "IfProductVersion %s < 5.1.0.0 N Message a-product-less" % fd("ver_a"), False)
    line("ver_a", "IfFileVersion %s 0 N Message a-has-version" % fd("ver_a"), True)
    line("ver_e", "IfFileVersion %s 0 E Message e-no-version" % fd("ver_e"), True)
    line("ver_f", "IfFileVersion %s 0 E Message f-no-version" % fd("ver_f"), True)
    line(None, "IfFileVersion $$FD$$\\missing.dll 0 E Message missing-no-version", True)
    return lines, expected


# --- Registry files of a Wine prefix, as the native program reads them.

def _escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def reg_file(relative_to, keys):
    """Text of a Wine registry file: `keys` maps a key path to {value name: data}, data
    a str (REG_SZ) or an int (REG_DWORD); the name "" is the default value."""
    out = ["WINE REGISTRY Version 2", ";; All keys relative to " + _escape(relative_to), "",
           "#arch=win64", ""]
    for key, values in keys.items():
        out.append("[%s] 1700000000" % _escape(key))
        out.append("#time=1da0a1b2c3d4e5f")
        for name, data in values.items():
            left = "@" if name == "" else '"%s"' % _escape(name)
            right = "dword:%08x" % data if isinstance(data, int) else '"%s"' % _escape(data)
            out.append(left + "=" + right)
        out.append("")
    return "\n".join(out)


def write_prefix_registry(ws, machine=None, user=None):
    """Writes system.reg (HKEY_LOCAL_MACHINE) and user.reg (HKEY_CURRENT_USER) into the
    workspace's prefix."""
    with open(os.path.join(ws.prefix, "system.reg"), "w", encoding="utf-8", newline="\n") as f:
        f.write(reg_file("REGISTRY\\Machine", machine or {}))
    with open(os.path.join(ws.prefix, "user.reg"), "w", encoding="utf-8", newline="\n") as f:
        f.write(reg_file("REGISTRY\\User\\S-1-5-21-0-0-0-1000", user or {}))


INFO = 0x40040  # the style of a Message box


class FinishedRunAssertions:
    """Mixed into the condition tests of both programs."""

    def assert_finished(self, result, destination, messages, status=0):
        """Exit `status` (1 after a script error) with SetupDialog showing `destination`,
        exactly `messages` shown as Message boxes (after any error box), and FinishDialog."""
        self.assertEqual(result.status, status, result.stderr)
        dialogs = result.of("SetupDialog")
        self.assertEqual(len(dialogs), 1)
        self.assertEqual(dialogs[0]["destination"], destination)
        self.assertEqual([e["text"] for e in result.of("MessageBox") if e["style"] == INFO], messages)
        self.assertEqual(len(result.of("FinishDialog")), 1)
