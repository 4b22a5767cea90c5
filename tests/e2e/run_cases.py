"""Scripts that exercise the run and the action commands, shared by the native and the
Wine end-to-end tests. Each case gets a program directory with a few payload files and
is checked by its transcript, its exit status and the installed files."""
import os

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
