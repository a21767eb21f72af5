#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a C program against it
# the way a user does, with pkg-config.
#   install.sh <build dir> <consumer.c> [extra compiler flags...]
# Environment: CC and PKG_CONFIG (default cc and pkg-config), VELMORA_EMULATOR
# (a command that runs the consumer, for a build for another machine).
set -euo pipefail
build=$1; source=$2; shift 2
prefix=$(mktemp -d); trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
pc=$(dirname "$(find "$prefix" -name velmora_common.pc | head -n1)")
export PKG_CONFIG_PATH=$pc
pkg_config=${PKG_CONFIG:-pkg-config}
flags=$($pkg_config --cflags --libs velmora_common)
libdir=$($pkg_config --variable=libdir velmora_common)
test -f "$($pkg_config --variable=includedir velmora_common)/velmora_common/ptz_enum_types.h"
${CC:-cc} -std=c99 -Wall -Wextra -Werror "$@" "$source" -o "$prefix/consumer" $flags
LD_LIBRARY_PATH=$libdir ${VELMORA_EMULATOR:-} "$prefix/consumer"
