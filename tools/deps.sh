#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when something is missing.
# With --native, only what the native build and its unit tests need (make unit): the
# mingw compilers too, for the PE files the version reader's tests read.
set -eu
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
pkgs=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
      g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      wine wine64 wine32:i386 xvfb xauth xdotool x11-utils clang-14 libfuzzer-14-dev libclang-rt-14-dev
      locales python3 dos2unix imagemagick ccache fonts-ipafont-gothic fonts-wine libedit-dev
      python3-pexpect help2man dpkg-dev man-db clang-format python3-jsonschema python3-yaml liblzma-dev
      osslsigncode openssl)
if [ "${1:-}" = "--native" ]; then
  pkgs=(cmake make g++ pkg-config libedit-dev libgtest-dev libgmock-dev python3 help2man clang-format liblzma-dev
        g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64)
  for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
  if [ ${#need[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  fi
  exit 0
fi
# `deps.sh bench`: also what the benchmarks alone need (system-call counts, the NSIS
# installer they compare Setup.exe with).
if [ "${1:-}" = bench ]; then pkgs+=(strace nsis); fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  fresh=1
fi
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
if [ ${#need[@]} -gt 0 ] || [ -n "${fresh:-}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  [ ${#need[@]} -gt 0 ] && apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
# Wine gives the Japanese ANSI code page only with a Japanese locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
exit 0
