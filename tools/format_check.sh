#!/usr/bin/env bash
# Fails when a C or C++ file of the project has drifted from .clang-format, naming the
# lines; `tools/format_check.sh --fix` formats them in place.
set -eu
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cc' '*.h' '*.c')
else
  mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cc' -o -name '*.h' -o -name '*.c' \) -print)
fi
if [ "${1:-}" = --fix ]; then
  exec clang-format -i "${files[@]}"
fi
clang-format --dry-run --Werror "${files[@]}"
