#!/usr/bin/env bash
# The binary interface of libvelmora_common.so against its committed baseline.
#
#   scripts/abi.sh check  [x86_64|armhf ...]   compare the build with abi/
#   scripts/abi.sh update [x86_64|armhf ...]   write the baselines in abi/
#
# Without an architecture both are done: the build machine's (x86_64) and
# 32-bit Arm (armhf, cross-built; scripts/cross.sh installs its compiler),
# where the layout of records differs. Each is a library-only build with
# fixed flags (-O2 -g) in build/abi-<arch>, described with abidw: the
# exported symbols and every type defined in the public headers (instance
# and class records included, also those no function mentions), and nothing
# else. The baseline names the library's SONAME.
#
# check fails when a symbol was removed or changed, a public record or type
# changed its layout, the SONAME differs from the baseline's, or the library
# needs a library beyond GLib, GObject, GIO, the C++ runtime, libc and the
# platform libraries. Added symbols are reported and pass; `update` records
# them. update refuses an incompatible change while the SONAME stays the
# same: raise the major version (project VERSION in CMakeLists.txt) first,
# and commit it with the new baselines (see README.md, "Binary interface").
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

command=${1:-}
case "$command" in
  check|update) shift ;;
  *) echo "usage: scripts/abi.sh check|update [x86_64|armhf ...]" >&2; exit 2 ;;
esac
arches=("$@")
((${#arches[@]})) || arches=(x86_64 armhf)
bash scripts/deps.sh

jobs=$(nproc)
((jobs > 2)) && jobs=2
allowed_needed='^(libglib-2\.0|libgobject-2\.0|libgio-2\.0|libstdc\+\+|libgcc_s|libm|libc|ld-linux.*|libtamsel|libdurnik|libquiral|libmorvel|libqenta)\.so'

# build <arch>: the library with fixed flags, as build/abi-<arch>.
build() {
  local arch=$1 dir=build/abi-$1 toolchain=()
  case "$arch" in
    x86_64) ;;
    armhf)
      command -v arm-linux-gnueabihf-g++ >/dev/null || bash scripts/cross.sh armhf --setup-only
      toolchain=(--toolchain "$here/cmake/arm-linux-gnueabihf.cmake" -DVELMORA_BINFMT=ON) ;;
    *) echo "abi: unknown architecture $arch" >&2; exit 2 ;;
  esac
  cmake -S . -B "$dir" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" \
    -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_EXAMPLES=OFF -DVELMORA_SANITIZE= >/dev/null
  cmake --build "$dir" -j "$jobs" --target velmora_common >/dev/null
}

# The types that count: those defined in a public header, the generated
# binding's included. Every other type is dropped from the description, and
# so are the C++ runtime's (template instances of the library's insides).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
suppressions() {
  local dir=$1 headers
  headers=$(ls include/*.h "$dir"/include/*.h | xargs -n1 basename | sort -u | paste -sd, | sed 's/,/, /g')
  printf '[suppress_type]\n  source_location_not_in = %s\n  drop = yes\n' "$headers" > "$work/public.abignore"
  printf '[suppress_type]\n  name_regexp = ^(std::|__gnu_cxx::)\n  drop = yes\n' >> "$work/public.abignore"
}

# describe <arch> <output>: the ABI description of build/abi-<arch>.
describe() {
  local dir=build/abi-$1
  suppressions "$dir"
  abidw --headers-dir include --headers-dir "$dir/include" --load-all-types \
    --suppressions "$work/public.abignore" --drop-undefined-syms --no-corpus-path \
    --no-comp-dir-path --short-locs --type-id-style hash \
    --out-file "$2" "$dir/libvelmora_common.so"
}

soname_of() { sed -n "s/.*<abi-corpus [^>]*soname='\([^']*\)'.*/\1/p" "$1" | head -n1; }

# breaks <abidiff report> <current description>: the incompatible changes
# of a report of --no-added-syms --non-reachable-types, one a line.
# Removed or changed functions and variables, and changed types, break
# callers. A type that is no longer "unreachable" breaks nothing when the
# current description still defines it (a new function made it reachable),
# nor does one that is not the library's own (a declaration of GLib's or
# libc's that the library's code stopped mentioning).
breaks() {
  sed -n -E 's/^(Functions|Variables) changes summary: ([0-9]+) Removed, ([0-9]+) Changed.*/\1 \2 \3/p' "$1" |
    while read -r kind removed changed; do
      ((removed + changed == 0)) || echo "$kind: $removed removed, $changed changed"
    done
  sed -n -E 's/^Unreachable types summary: [0-9]+ removed, ([0-9]+) changed.*/\1/p' "$1" |
    while read -r changed; do ((changed == 0)) || echo "public types: $changed changed"; done
  sed -n -E "s/^ *\[D\] '(struct|union|enum|class|typedef) ([^']+)'.*/\2/p" "$1" | while read -r name; do
    case "$name" in
      *PTZ*|*Ptz*|*ptz*) grep -q "name='$name'" "$2" || echo "public type removed: $name" ;;
    esac
  done
}

# compare <baseline> <current>: 0 compatible, 1 not. Prints the differences.
# abidiff itself judges what the exported functions reach (a removed
# function is incompatible); what it reports of the unreachable types (the
# class records no function mentions) is judged by breaks above, since it
# calls every type that left the unreachable set incompatible.
compare() {
  local status=0 reachable=0
  abidiff --no-added-syms "$1" "$2" > "$work/reachable" || reachable=$?
  abidiff --no-added-syms --non-reachable-types \
    "$1" "$2" > "$work/report" || status=$?
  if ((status & 3)) || ((reachable & 3)); then
    cat "$work/report"; echo "abi: abidiff failed ($status)" >&2; exit 1
  fi
  breaks "$work/report" "$2" > "$work/breaks"
  if ((reachable & 8)) || [ -s "$work/breaks" ]; then
    cat "$work/report" "$work/breaks"
    return 1
  fi
  abidiff --non-reachable-types "$1" "$2" > "$work/all" || true
  if [ -s "$work/all" ]; then
    echo "compatible changes (recorded by scripts/abi.sh update):"
    sed 's/^/  /' "$work/all"
  fi
  return 0
}

failed=0
for arch in "${arches[@]}"; do
  echo "== abi $arch: building with fixed flags"
  build "$arch"
  current=$work/$arch.abi
  describe "$arch" "$current"
  baseline=abi/velmora_common-$arch.abi
  soname=$(soname_of "$current")

  needed=$(readelf -d "build/abi-$arch/libvelmora_common.so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  extra=$(grep -v -E "$allowed_needed" <<<"$needed" || true)
  if [ -n "$extra" ]; then
    echo "abi $arch: the library needs more than GLib, the C++ runtime and the platform libraries:"
    sed 's/^/  /' <<<"$extra"
    failed=1
  fi

  if [ "$command" = check ]; then
    if [ ! -f "$baseline" ]; then
      echo "abi $arch: no baseline $baseline (scripts/abi.sh update writes it)"; failed=1; continue
    fi
    if [ "$(soname_of "$baseline")" != "$soname" ]; then
      echo "abi $arch: the SONAME is $soname, the baseline's $(soname_of "$baseline");"
      echo "  a new major version comes with new baselines: scripts/abi.sh update"
      failed=1; continue
    fi
    if compare "$baseline" "$current"; then
      echo "== abi $arch: compatible with $baseline ($soname)"
    else
      echo "abi $arch: incompatible with $baseline; restore the interface, or raise the"
      echo "  major version in CMakeLists.txt and run scripts/abi.sh update (README.md)"
      failed=1
    fi
  else
    if [ -f "$baseline" ] && [ "$(soname_of "$baseline")" = "$soname" ] && ! compare "$baseline" "$current"; then
      echo "abi $arch: incompatible with $baseline while the SONAME stays $soname;"
      echo "  raise the major version in CMakeLists.txt first"
      failed=1; continue
    fi
    mkdir -p abi
    cp "$current" "$baseline"
    echo "== abi $arch: wrote $baseline ($soname)"
  fi
done
exit $failed
