#!/usr/bin/env bash
# Runs the benchmarks built in build/bench (`make bench`) and checks the speed goals.
# Each section prints its figures and a PASS or FAIL line; the script fails when a goal
# is missed. Work files go to a temporary directory under $TMPDIR (default /tmp), which
# needs about 6 GiB free, and 8 GiB while the install under Wine runs.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${SETUP_BENCH_BIN:-$root/build/bench/bench}
work=$(mktemp -d "${TMPDIR:-/tmp}/setup-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0

# --- BinCopy: CopyFileBytes against cp(1); goal: a 1 GiB copy in no more time than cp.
echo "== BinCopy"
mkdir -p "$work/bincopy"
SETUP_BENCH_DIR="$work/bincopy" "$bin/bincopy_bench" --benchmark_repetitions=7 \
  --benchmark_enable_random_interleaving=true --benchmark_display_aggregates_only=true \
  --benchmark_out="$work/bincopy.json" --benchmark_out_format=json
python3 - "$work/bincopy.json" <<'PY' || status=1
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
# The median of the interleaved repetitions: one slow or fast outlier on a shared
# machine moves it least.
def median(name):
    times = sorted(r["real_time"] for r in runs
                   if r["name"].startswith(name + "/1073741824") and r.get("run_type") == "iteration")
    if not times:
        sys.exit("no runs of " + name)
    return times[len(times) // 2]
ours, cp = median("BM_CopyFileBytes"), median("BM_Cp")
ratio = ours / cp
print(f"1 GiB: CopyFileBytes {ours:.0f} ms, cp {cp:.0f} ms, ratio {ratio:.3f} (goal <= 1.00)")
print("PASS" if ratio <= 1.00 else "FAIL")
sys.exit(0 if ratio <= 1.00 else 1)
PY

# --- Installing: the native program installs a payload of many small files and a few
# large ones with BinCopy; `cp -r` copies the same payload in the same run.
echo "== Install (BinCopy) against cp -r"
SETUP_BENCH_WORK="$work/install" SETUP_BENCH_SETUP="${SETUP_BENCH_SETUP:-$root/build/bench/setup}" \
  python3 "$root/bench/install_bench.py" || status=1

# --- The install record: an install with a Product.ini against one without (goal: at
# most 1.05 times), its uninstall (at most 0.5 times the install with a Product.ini) and
# the rollback of a failed run (its time beyond the install it undoes, at most 1 times).
echo "== Install record"
SETUP_BENCH_WORK="$work/record" SETUP_BENCH_SETUP="${SETUP_BENCH_SETUP:-$root/build/bench/setup}" \
  python3 "$root/bench/record_bench.py" || status=1

# --- System calls and time per file: one small BinCopy, and folders that already hold
# many entries.
echo "== BinCopy per file"
SETUP_BENCH_WORK="$work/perfile" SETUP_BENCH_SETUP="${SETUP_BENCH_SETUP:-$root/build/bench/setup}" \
  python3 "$root/bench/per_file_bench.py" || status=1

# --- TextCopy: the text copy filter against unix2dos(1), sed(1) and cp(1) on the same
# 100 MiB sources, the project's text and the dense text; goals: TextCopy in at most
# 0.30 times the time of unix2dos on the project's text, 0.40 times on the dense text.
echo "== TextCopy"
mkdir -p "$work/textcopy"
SETUP_BENCH_DIR="$work/textcopy" "$bin/text_copy_bench" --benchmark_repetitions=5 \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$work/textcopy.json" --benchmark_out_format=json
python3 - "$work/textcopy.json" <<'PY' || status=1
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
def median(name):
    for r in runs:
        if r["name"].startswith(name) and r.get("aggregate_name") == "median":
            return r["real_time"]
    sys.exit("no median for " + name)
ok = True
for source, label, goal in ((0, "project's text", 0.30), (1, "dense text", 0.40)):
    ja, en = median(f"BM_TextCopy/1/{source}/"), median(f"BM_TextCopy/0/{source}/")
    cp, u2d = median(f"BM_Cp/{source}/"), median(f"BM_Unix2dos/{source}/")
    sed = median(f"BM_Sed/{source}/")
    print(f"-- {label}")
    for name, t in (("TextCopy (Japanese)", ja), ("TextCopy (English)", en), ("unix2dos -n", u2d),
                    ("sed s/$/\\r/", sed), ("cp", cp)):
        print(f"100 MiB: {name:20s} {t:7.0f} ms  {100.0 * 1000 / t:7.1f} MiB/s")
    ours = max(ja, en)
    ratio = ours / u2d
    print(f"time ratio TextCopy/sed {ours / sed:.2f}, TextCopy/cp {ours / cp:.2f}")
    print(f"time ratio TextCopy/unix2dos {ratio:.3f} (goal <= {goal:.2f})")
    print("PASS" if ratio <= goal else "FAIL")
    ok = ok and ratio <= goal
sys.exit(0 if ok else 1)
PY

# --- Installing under Wine: Setup.exe against an NSIS installer (Unicode true, File /r,
# stored, CRC on) on 20 folders of 100 files of 4 KiB and one of 20 MiB, in turns; goal:
# Setup.exe in at most 0.60 times the time of the NSIS installer (medians).
if [ -z "${SETUP_BENCH_SKIP_WINE:-}" ]; then
  echo "== Installing 20 folders under Wine"
  mkdir -p "$work/wine20"
  SETUP_BENCH_WORK="$work/wine20" \
    SETUP_BENCH_WIN32_EXE="${SETUP_BENCH_WIN32_EXE:-$root/build/win32/Setup.exe}" \
    python3 "$root/bench/wine_install_bench.py" || status=1
fi

# --- The single-file installer against NSIS with SetCompressor /SOLID lzma, on Python's
# modules and the machine's fonts: size, packing time, install time under Wine, memory.
if [ -z "${SETUP_BENCH_SKIP_WINE:-}" ]; then
  echo "== Single-file installer against NSIS /SOLID lzma"
  mkdir -p "$work/pack"
  SETUP_BENCH_WORK="$work/pack" SETUP_BENCH_SETUP="${SETUP_BENCH_SETUP:-$root/build/bench/setup}" \
    SETUP_BENCH_WIN32_EXE="${SETUP_BENCH_WIN32_EXE:-$root/build/win32/Setup.exe}" \
    python3 "$root/bench/pack_bench.py" || status=1
fi

exit $status
