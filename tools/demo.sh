#!/usr/bin/env bash
# Runs the real Setup.exe under Wine on examples/demo, in a throw-away prefix. With a
# display its window appears; without one it runs in batch mode and prints the
# transcript and the installed tree.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
exe=$top/build/win32/Setup.exe
work=$(mktemp -d /tmp/setup-demo.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

echo "Preparing a Wine prefix in $WINEPREFIX ..."
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
# The fonts the dialogs ask for, as the tests' prefix maps them: without them Wine falls
# back to a wider font and the dialogs' labels are cut.
python3 "$top/tests/e2e/wineprefix.py" fonts
mkdir -p "$work/prog"
cp -r "$top/examples/demo/." "$work/prog/"
cp "$exe" "$work/prog/Setup.exe"
component=$top/build/win32/tests/fixtures/demo_component/demo_component.dll
[ -f "$component" ] && cp "$component" "$work/prog/"

status=0
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "Starting Setup.exe in its window ..."
  SETUP_TRANSCRIPT=$work/transcript.jsonl wine "$work/prog/Setup.exe" || status=$?
  cat "$work/transcript.jsonl" 2>/dev/null || true
else
  echo "No display: running Setup.exe in batch mode. Transcript:"
  SETUP_UI=batch wine "$work/prog/Setup.exe" || status=$?
fi
echo "Exit status: $status"
target=$WINEPREFIX/drive_c/DemoApp
if [ -d "$target" ]; then
  echo "Installed tree (C:\\DemoApp):"
  (cd "$target" && find . -type f | sort | while read -r f; do printf '  %-28s %8d bytes\n' "$f" "$(stat -c %s "$f")"; done)
  if [ -f "$target/doc/readme.txt" ]; then
    echo "doc/readme.txt:"
    iconv -f CP932 -t UTF-8 "$target/doc/readme.txt" | sed 's/\r$//; s/^/  | /'
  fi
  value=$(wine reg query 'HKCU\Software\SetupDemo' 2>/dev/null | tr -d '\r' | grep -i component || true)
  [ -n "$value" ] && echo "Registered component: $value"
fi
# The product file makes the install an entry of "Programs and Features": Wine's own
# uninstaller lists it, and its QuietUninstallString takes the install back.
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Example.Demo'
echo "wine uninstaller --list:"
wine uninstaller --list 2>/dev/null | tr -d '\r' | sed 's/^/  /'
quiet=$(wine reg query "$entry" /v QuietUninstallString /reg:64 2>/dev/null | tr -d '\r' |
  sed -n 's/.*REG_SZ[[:space:]]*//p')
if [ "$status" = 0 ] && [ -n "$quiet" ]; then
  echo "Running its QuietUninstallString: $quiet"
  uninstaller=${quiet#\"}
  uninstaller=${uninstaller%%\"*}
  args=${quiet:$((${#uninstaller} + 2))}
  # shellcheck disable=SC2086  # the switches are words of their own
  wine "$uninstaller" $args && u=0 || u=$?
  echo "Uninstall exit status: $u (3010, which Unix keeps as 194: the uninstaller itself goes at the next restart)"
  echo "Left in C:\\DemoApp:"
  (cd "$target" 2>/dev/null && find . | sort | sed 's/^/  /') || echo "  (nothing: the folder is gone)"
fi
exit "$status"
