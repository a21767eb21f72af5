#!/usr/bin/env bash
# Runs a command with a private D-Bus "system" bus of its own: starts
# dbus-daemon from tests/support/system-bus.conf, exports its address as
# DBUS_SYSTEM_BUS_ADDRESS, and stops the daemon when the command ends.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mktemp -d /tmp/velmora-bus-XXXXXX)
sed "s|@BUS_DIR@|$dir|g" "$here/tests/support/system-bus.conf" > "$dir/bus.conf"
dbus-daemon --config-file="$dir/bus.conf" --fork --print-address=3 --print-pid=4 \
  3>"$dir/address" 4>"$dir/pid"
pid=$(cat "$dir/pid")
cleanup() { kill "$pid" 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT
export DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$dir/address")
"$@"
