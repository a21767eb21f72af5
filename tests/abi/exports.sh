#!/usr/bin/env bash
# The shared library exports exactly the functions its public headers mark
# PTZ_API: nothing missing, nothing internal leaking out, and each of them
# with a version node of velmora_common.map.
#   exports.sh <library> <header>...
set -euo pipefail
lib=$1; shift
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
nm -D --with-symbol-versions --defined-only --format=posix "$lib" \
  | awk '$2 ~ /^[TtWwDdBbRrVvi]$/ {print $1}' \
  | { grep -v -E '^(_init|_fini|_edata|_end|__bss_start)(@|$)' || true; } | sort -u > "$tmp/versioned"
{ grep -v -E '@@VELMORA_COMMON_[0-9.]+$' "$tmp/versioned" || true; } > "$tmp/unversioned"
sed 's/@.*//' "$tmp/versioned" | sort -u > "$tmp/exported"
# Drop preprocessor lines and comments, join each declaration onto one line,
# then take the name before its "(".
cat "$@" | grep -v -E '^[[:space:]]*#' | sed 's://.*$::' | tr '\n' ' ' \
  | sed -E 's:/\*([^*]|\*+[^*/])*\*+/::g' | sed 's/;/;\n/g' | { grep 'PTZ_API' || true; } \
  | sed -E 's/.*PTZ_API[^(]*[ *]([A-Za-z_][A-Za-z0-9_]*)[ ]*\(.*/\1/' | sort -u > "$tmp/declared"
status=0
comm -23 "$tmp/exported" "$tmp/declared" > "$tmp/extra"
comm -13 "$tmp/exported" "$tmp/declared" > "$tmp/missing"
if [ -s "$tmp/extra" ]; then
  echo "exported but not declared PTZ_API in a public header:"; cat "$tmp/extra"; status=1
fi
if [ -s "$tmp/unversioned" ]; then
  echo "exported without a VELMORA_COMMON_ version node:"; cat "$tmp/unversioned"; status=1
fi
if [ -s "$tmp/missing" ]; then
  echo "declared PTZ_API but not exported:"; cat "$tmp/missing"; status=1
fi
echo "$(wc -l < "$tmp/exported") exported symbols checked"
exit $status
