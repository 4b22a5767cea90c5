"""Shared inputs and expected outputs of the text copy end-to-end tests (code page 932
bytes). The program always runs in Japanese mode."""

# $$SETUPDIR$$ is C:\App in these scripts.
WORKED_EXAMPLE = [
    ("Dir=$$SETUPDIR$$", "Dir=C:\\App"),
    ("/* 設定 $# Settings */", "/* 設定 */"),
    ("    /*$# English only */", None),  # the line is removed
    ("x=1; /* 日本語 */", "x=1; /* 日本語 */"),
    ("/*$$*/SETUPDIR$$", "$$SETUPDIR$$"),
    ("/* ok */", "/* ok */"),
]


def worked_example(crlf):
    end = "\r\n" if crlf else "\n"
    return "".join(line + end for line, _ in WORKED_EXAMPLE).encode("cp932")


def worked_example_japanese():
    return "".join(out + "\r\n" for _, out in WORKED_EXAMPLE if out is not None).encode("cp932")


# A multi-line source with every comment kind, a long line, a lone CR and no final LF.
MIXED = ("a /* 複数行の\n注釈 $# multi-line\ncomment */ b\r\n"
         "  /*$# dropped\n  English */  \n"
         "/*$$ unwrapped */ $# $$ */\n" + "L" * 5000 + "\n"
         "cr\rinside\nlast").encode("cp932")
MIXED_JAPANESE = ("a /* 複数行の\n注釈 */ b\r\n"
                  "$$ unwrapped  $# $$ */\r\n" + "L" * 5000 + "\r\n"
                  "cr\rinside\r\nlast").encode("cp932")
