"""Scripts that exercise the run and the action commands, shared by the native and the
Wine end-to-end tests. Each case gets a program directory with a few payload files and
is checked by its transcript, its exit status and the installed files."""
import os
import shutil

PAYLOAD = {
    "prog/data/a.bin": bytes(range(256)) * 64 + b"\x1a\r\n\x00end",
    "prog/data/b.txt": b"line one\r\nline two\n",
    "prog/data/\u65e5\u672c.bin".replace("\u65e5\u672c", "日本"): b"japanese name",
}


def install_payload(ws):
    for rel, data in PAYLOAD.items():
        ws.write(rel, data)


def full_script(target):
    """A script using every command of the run, installing into `target`."""
    return "\r\n".join([
        "' A demo of every action command",
        'WindowTitle "Full Run"',
        "SetupDir %s " % target,
        "#define DATA $$FD$$\\data",
        "MakeDir $$SETUPDIR$$",
        "MakeDir $$SETUPDIR$$\\sub",
        "MakeDir $$SETUPDIR$$\\sub",
        "BinCopy DATA\\a.bin $$SETUPDIR$$\\a.bin",
        "BinCopy \"DATA\\b.txt\" $$SETUPDIR$$\\sub\\b.txt",
        "BinCopy DATA\\日本.bin $$SETUPDIR$$\\日本.bin",
        "DiskCheck data\\a.bin Disk 1",
        "Goto skip",
        "ErrorExit never",
        ":skip",
        "MessageBox \"Install now?\x01Really?\"",
        "Message Installed into $$SETUPDIR$$",
        "",
    ])


# Destinations Windows refuses or normalises, and texts cut at 255 bytes, alike in every
# build. Rows: script line, status, messages, entries added to BASE_TREE (None: a folder);
# {C} is the target, {FD} the program folder; ro.txt has no write bit (read-only to Wine).
KANA = "あ" * 200
BASE_TREE = {"d": None, "ro.txt": b"old"}
EDGE_CASES = [
    ("Message x" + KANA, 0, ["x" + "あ" * 127], {}),
    ("ErrorExit " + KANA, 1, ["あ" * 127], {}),
    # The destination is created before the missing source is looked at.
    ("TextCopy $$FD$$\\missing.txt {C}\\d", 1, ["Can't Create {C}\\d file"], {}),
    ("TextCopy $$FD$$\\missing.txt {C}\\RO.txt", 1, ["Can't Create {C}\\RO.txt file"], {}),
    ('TextCopy $$FD$$\\missing.txt "q.txt"', 1, ["Can't Create \"q.txt\" file"], {}),
    ("TextCopy $$FD$$\\src.txt {C}\\t.txt. ", 0, [], {"t.txt": b"hello\r\n"}),
    ("BinCopy $$FD$$\\src.txt {C}\\ro.txt", 1, ["It failed in the copy form {FD}\\src.txt to {C}\\ro.txt"], {}),
    ("BinCopy $$FD$$\\src.txt {C}\\d", 1, ["It failed in the copy form {FD}\\src.txt to {C}\\d"], {}),
    ("BinCopy $$FD$$\\src.txt {C}\\b.txt.", 0, [], {"b.txt": b"hello\n"}),
    ("BinCopy $$FD$$\\src.txt {C}\\d.\\b.txt", 0, [], {"d/b.txt": b"hello\n"}),
    ("BinCopy $$FD$$\\src.txt {C}\\a?b", 1, ["It failed in the copy form {FD}\\src.txt to {C}\\a?b"], {}),
    ("BinCopy $$FD$$\\src.txt {C}\\a\x01b", 1, ["It failed in the copy form {FD}\\src.txt to {C}\\a\x01b"], {}),
    ("BinCopy $$FD$$\\src.txt {C}\\a:b", 1, ["It failed in the copy form {FD}\\src.txt to {C}\\a:b"], {}),
    ("TextCopy $$FD$$\\src.txt {C}\\a:b", 1, ["Can't Create {C}\\a:b file"], {}),
    ("MakeDir {C}\\a:b", 1, ["The '{C}\\a:b' directroy can not be make"], {}),
    ('MakeDir "{C}\\x. "', 0, [], {"x": None}),
    ('MakeDir "{C}\\d \\y"', 1, ["The '{C}\\d \\y' directroy can not be make"], {}),
    ("MakeDir {C}\\a<b", 1, ["The '{C}\\a<b' directroy can not be make"], {}),
]


def tree(root):
    out = {}
    for dirpath, dirs, files in os.walk(root):
        for name in dirs:
            out[os.path.relpath(os.path.join(dirpath, name), root)] = None
        for name in files:
            with open(os.path.join(dirpath, name), "rb") as f:
                out[os.path.relpath(os.path.join(dirpath, name), root)] = f.read()
    return out


def check_edge_cases(test, run, fd, target_win, target_posix):
    test.ws.write("prog/src.txt", b"hello\n")
    for line, status, messages, added in EDGE_CASES:
        with test.subTest(line=line):
            shutil.rmtree(target_posix, ignore_errors=True)
            os.makedirs(os.path.join(target_posix, "d"))
            read_only = os.path.join(target_posix, "ro.txt")
            test.ws.write(read_only, BASE_TREE["ro.txt"])
            os.chmod(read_only, 0o444)
            test.ws.script(line.replace("{C}", target_win) + "\n")
            r = run()
            test.assertEqual(r.status, status, r.events)
            test.assertEqual(r.messages(), [m.replace("{C}", target_win).replace("{FD}", fd) for m in messages])
            test.assertEqual(tree(target_posix), {**BASE_TREE, **added})
            test.assertEqual(os.stat(read_only).st_mode & 0o777, 0o444)
            test.assertFalse(os.path.exists(test.ws.path('"q.txt"')))
