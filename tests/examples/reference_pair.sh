#!/usr/bin/env bash
# Runs the driver and the client of the API reference's examples against
# each other, as real processes on the private system bus, and checks what
# the client reports.
#   reference_pair.sh <ptz_ref_driver> <ptz_ref_client>
set -euo pipefail
driver=$1; client=$2
work=$(mktemp -d /tmp/velmora-reference-XXXXXX)
tag=$(basename "$work")
driver_pid=""
cleanup() {
  [ -n "$driver_pid" ] && kill -TERM "$driver_pid" 2>/dev/null && wait "$driver_pid" 2>/dev/null || true
  rm -rf "$work" /dev/shm/"$tag".*
}
trap cleanup EXIT

cat > "$work/driver.conf" <<CONF
[RefDriver]
Socket=$work/driver.sock
Index=3
Name=ref-head
Speed=50
CONF
# The status-cache stand-in keeps its groups under this prefix.
export DURNIK_PREFIX="/$tag."
"$driver" "$work/driver.conf" > "$work/driver.log" 2>&1 &
driver_pid=$!
for _ in $(seq 100); do grep -q "^driver ref-head ready" "$work/driver.log" && break; sleep 0.1; done
grep -q "^driver ref-head ready" "$work/driver.log" || { echo "the driver did not start:"; cat "$work/driver.log"; exit 1; }

status=0
"$client" "$work/driver.conf" > "$work/client.log" 2> "$work/client.err" || status=$?
cat "$work/client.log"
[ "$status" -eq 0 ] || { echo "the client exited with $status"; cat "$work/client.err" "$work/driver.log"; exit 1; }
for expected in \
  "driver name: ref-head" \
  "position: pan -45.50, tilt 20.00" \
  "status cache: pan -45.50, tilt 20.00, pan idle" \
  "speed: 50" \
  "SetConfigurationEntry 500 refused: GDBus.Error:org.freedesktop.DBus.Error.InvalidArgs: Speed is an int from 1 to 100" \
  "a command to no driver fails: ok" \
  "done"; do
  grep -qxF -- "$expected" "$work/client.log" || { echo "missing: '$expected'"; exit 1; }
done
# A failure is visible to the program through the log hook.
grep -q "^library (priority 4): socket_write: not opened $work/driver.sock.absent$" "$work/client.err" \
  || { echo "the client's log hook did not show why the command failed:"; cat "$work/client.err"; exit 1; }
grep -qx "speed set to 80" "$work/driver.log" || { echo "the driver saw no speed change"; cat "$work/driver.log"; exit 1; }
