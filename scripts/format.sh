#!/usr/bin/env bash
# Lays out the C and C++ sources by the .clang-format files of the tree.
#   format.sh           rewrite every tracked source in place
#   format.sh --check   change nothing; list the files whose layout differs
#                       and fail when there is any
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || bash scripts/deps.sh --quiet
mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  bad=()
  for f in "${files[@]}"; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
  done
  if ((${#bad[@]})); then
    printf 'layout differs from .clang-format (run scripts/format.sh): %s\n' "${bad[@]}" >&2
    exit 1
  fi
  echo "format: ${#files[@]} files laid out as .clang-format says"
else
  clang-format -i "${files[@]}"
fi
