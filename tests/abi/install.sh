#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a C program against it
# the way a user does, with pkg-config.
#   install.sh <build dir> <consumer.c> [extra compiler flags...]
set -euo pipefail
build=$1; source=$2; shift 2
prefix=$(mktemp -d); trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
pc=$(dirname "$(find "$prefix" -name velmora_common.pc | head -n1)")
export PKG_CONFIG_PATH=$pc
flags=$(pkg-config --cflags --libs velmora_common)
libdir=$(pkg-config --variable=libdir velmora_common)
test -f "$(pkg-config --variable=includedir velmora_common)/velmora_common/ptz_enum_types.h"
cc -std=c99 -Wall -Wextra -Werror "$@" "$source" -o "$prefix/consumer" $flags
LD_LIBRARY_PATH=$libdir "$prefix/consumer"
