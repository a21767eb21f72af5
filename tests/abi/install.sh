#!/usr/bin/env bash
# Installs the build as a package would (DESTDIR staging, prefix /usr) and
# checks what lands in the library directory: the library itself and
# directories of its own, never the stand-ins, which carry the device
# libraries' names and would shadow them. Then builds a C program against
# the staged copy twice, the ways users do: with pkg-config and with
# find_package (CMake); both link only libvelmora_common and run.
#   install.sh <build dir> <consumer.c> <cmake consumer dir> [extra compiler flags...]
# Environment: CC and PKG_CONFIG (default cc and pkg-config), and for a build
# for another machine CMAKE_TOOLCHAIN_FILE (read by cmake itself) and
# VELMORA_EMULATOR (a command that runs the target's programs).
set -euo pipefail
build=$1; source=$2; cmake_consumer=$3; shift 3
stage=$(mktemp -d); trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr > /dev/null
prefix=$stage/usr
libdir=$(dirname "$(find "$prefix" -name 'libvelmora_common.so' | head -n1)")

status=0
for entry in "$libdir"/*; do
  name=$(basename "$entry")
  case "$name" in
    libvelmora_common.so|libvelmora_common.so.*|pkgconfig|cmake|girepository-1.0|velmora_common) ;;
    *) echo "unexpected in ${libdir#$stage}: $name"; status=1 ;;
  esac
done
for name in tamsel durnik quiral morvel qenta; do
  found=$(find "$prefix" -name "lib$name.so*" ! -path "$libdir/velmora_common/platform/*")
  [ -z "$found" ] || { echo "stand-in outside the private directory: $found"; status=1; }
done
[ "$status" -eq 0 ] || exit 1

# pkg-config: the .pc file finds its prefix relative to itself.
export PKG_CONFIG_PATH=$libdir/pkgconfig
pkg_config=${PKG_CONFIG:-pkg-config}
run=${VELMORA_EMULATOR:-}
test -f "$($pkg_config --variable=includedir velmora_common)/velmora_common/ptz_enum_types.h"
${CC:-cc} -std=c99 -Wall -Wextra -Werror "$@" "$source" -o "$stage/pkg-config-consumer" \
  $($pkg_config --cflags --libs velmora_common)
if readelf -d "$stage/pkg-config-consumer" | grep -E 'NEEDED.*lib(tamsel|durnik|quiral|morvel|qenta)'; then
  echo "the consumer links a stand-in directly"; exit 1
fi
LD_LIBRARY_PATH=$libdir $run "$stage/pkg-config-consumer"

# CMake: find_package(velmora_common) and its imported target.
flags="$*"
cmake -S "$cmake_consumer" -B "$stage/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCONSUMER_SOURCE="$source" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" > /dev/null
cmake --build "$stage/cmake-build" > /dev/null
$run "$stage/cmake-build/consumer"

# The introspection data, when built: Python finds the library through it.
typelib=$libdir/girepository-1.0/Velmora-1.0.typelib
if [ -f "$typelib" ]; then
  test -f "$prefix/share/gir-1.0/Velmora-1.0.gir"
  for python in /usr/bin/python3 python3; do
    "$python" -c 'import gi' 2> /dev/null || continue
    GI_TYPELIB_PATH=$(dirname "$typelib") LD_LIBRARY_PATH=$libdir "$python" -c '
import gi
gi.require_version("Velmora", "1.0")
from gi.repository import Velmora
assert Velmora.check_version(Velmora.MAJOR_VERSION, Velmora.MINOR_VERSION, Velmora.MICRO_VERSION) is None
found, group, param, kind, size = Velmora.status_cache_key_info("PAN_DEG")
assert found and size == 4 and kind == Velmora.StatusCacheValueType.FLOAT
assert not Velmora.status_cache_key_info("NO_SUCH_KEY")[0]
assert not Velmora.status_cache_param_info(Velmora.SCGroup.POSITION, 9999)[0]'
    break
  done
fi

# The tool links a stand-in itself and finds it in the private directory.
if [ -x "$prefix/bin/ptzctl" ]; then
  LD_LIBRARY_PATH= $run "$prefix/bin/ptzctl" vocab PTZSCGroup > /dev/null
fi
