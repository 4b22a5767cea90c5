"""Fails unless every library a Windows program imports statically is a KnownDLL.

Usage: check_imports.py OBJDUMP PROGRAM...

Windows takes a KnownDLL from the system directory whatever the search order; any other
library a program imports is looked for in the program's own folder first, where a
library planted beside an elevated Setup.exe would run with its rights. The program
loads every other system library itself, from the system directory only."""
import re
import subprocess
import sys

# The KnownDLLs that every Windows from 7 to 11 lists, and ntdll, which every process
# has loaded before any other library.
ALLOWED = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ntdll.dll",
    "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll",
    "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}


def imports(objdump, program):
    out = subprocess.run([objdump, "-p", program], check=True, stdout=subprocess.PIPE,
                         universal_newlines=True).stdout
    return re.findall(r"^\s*DLL Name:\s*(\S+)\s*$", out, re.MULTILINE)


def main(objdump, programs):
    failed = False
    for program in programs:
        names = imports(objdump, program)
        refused = [name for name in names if name.lower() not in ALLOWED]
        if not names or refused:
            failed = True
            print("%s imports libraries that are not KnownDLLs: %s"
                  % (program, ", ".join(refused) or "(no imports read)"))
        else:
            print("%s imports only KnownDLLs: %s" % (program, ", ".join(names)))
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2:]))
