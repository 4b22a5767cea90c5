#!/usr/bin/env python3
"""Checks the layers of the source tree by its #include lines.

- A portable file (base/, text/, script/, textcopy/, sysquery/, record/, pack/ and the two seams
  platform/system.h and platform/ui.h) includes no OS or toolkit header (only the
  C++ standard library, and in a source file the compiler's intrinsics), nothing from
  app/ and no platform implementation.
- base/ is the lowest layer, beneath the seams: it includes nothing of the project
  outside base/, and every other folder may include it.
- No file outside app/ includes app/; a platform implementation includes nothing of
  the core (it implements the seams, the programs join the two).
- No two source folders include each other, directly or round a longer cycle.

Usage: layering_check.py [source root]. Prints every fault and exits 1 when there is one.
"""
import os
import re
import sys

SOURCE_DIRS = ("app", "base", "cmdline", "platform", "script", "text", "textcopy", "sysquery",
               "record", "pack", "tests", "fuzz", "bench")
BASE_DIR = "base"
CORE_DIRS = ("text", "script", "textcopy", "sysquery", "record", "pack")
PORTABLE_DIRS = (BASE_DIR,) + CORE_DIRS
PORTABLE_FILES = ("platform/system.h", "platform/ui.h")
EXTENSIONS = (".h", ".cc", ".c")

# The C++ standard library (with the C headers in their <cxxx> form): the only headers
# a portable file may include with angle brackets.
STANDARD_HEADERS = set("""
algorithm any array atomic bit bitset cassert cctype cerrno cfloat charconv chrono cinttypes
climits clocale cmath compare concepts cstdarg cstddef cstdint cstdio cstdlib cstring ctime
cuchar cwchar cwctype deque exception filesystem format forward_list functional initializer_list
iomanip ios iosfwd iostream istream iterator limits list map memory mutex new numeric optional
ostream queue random ranges ratio set span sstream stack stdexcept streambuf string string_view
system_error thread tuple type_traits typeinfo unordered_map unordered_set utility variant vector
version condition_variable
""".split())

# The compiler's own headers for processor instructions, which a portable source file
# (never a header, so that they reach no other file) may use beside a portable fallback
# (base/sha256.cc): no OS header.
INTRINSICS_HEADERS = {"cpuid.h", "immintrin.h"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def is_portable(path):
    return path.split("/")[0] in PORTABLE_DIRS or path in PORTABLE_FILES


def source_files(root):
    for top in SOURCE_DIRS:
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, top)):
            dirnames[:] = sorted(d for d in dirnames if d != "corpus")
            for name in sorted(filenames):
                if name.endswith(EXTENSIONS):
                    full = os.path.join(dirpath, name)
                    yield os.path.relpath(full, root).replace(os.sep, "/")


def find_cycle(graph):
    """One cycle of folders as a list (first folder repeated at the end), or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                cycle = visit(nxt)
                if cycle:
                    return cycle
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state:
            cycle = visit(node)
            if cycle:
                return cycle
    return None


def check(root):
    faults = []
    graph = {}
    for path in source_files(root):
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        folder = os.path.dirname(path)
        for kind, header in INCLUDE.findall(text):
            if kind == "<":
                intrinsics = header in INTRINSICS_HEADERS and path.endswith((".cc", ".c"))
                if is_portable(path) and header not in STANDARD_HEADERS and not intrinsics:
                    faults.append(f"{path}: portable file includes <{header}>")
                continue
            if "/" not in header:
                continue  # beside the file (fixtures, resources)
            target = os.path.dirname(header)
            if header.startswith("app/") and not path.startswith("app/"):
                faults.append(f"{path}: includes {header} from outside app/")
            if is_portable(path) and (header.startswith("app/") or
                                      header.startswith("platform/posix/") or
                                      header.startswith("platform/win32/")):
                faults.append(f"{path}: portable file includes {header}")
            if (path.startswith(("platform/posix/", "platform/win32/")) and
                    header.split("/")[0] in CORE_DIRS):
                faults.append(f"{path}: platform implementation includes {header}")
            if path.startswith(BASE_DIR + "/") and not header.startswith(BASE_DIR + "/"):
                faults.append(f"{path}: base/ includes {header}")
            if target != folder:
                graph.setdefault(folder, set()).add(target)
    cycle = find_cycle(graph)
    if cycle:
        faults.append("folders include each other: " + " -> ".join(cycle))
    return faults


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    faults = check(root)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
