#!/usr/bin/env bash
# Runs the Python example against the example driver, both as real
# processes, with the library found only through GI_TYPELIB_PATH and
# LD_LIBRARY_PATH, and checks what it reports.
#   python_tour.sh <python> <ptz_sim_driver> <ptz_tour.py> <typelib dir> <library dir>
set -euo pipefail
python=$1; driver=$2; tour=$3; typelibs=$4; libdir=$5
work=$(mktemp -d /tmp/velmora-python-XXXXXX)
tag=$(basename "$work")
cleanup() {
  [ -s "$work/driver.pid" ] && kill -TERM "$(cat "$work/driver.pid")" 2>/dev/null || true
  rm -rf "$work" /dev/shm/"$tag".*
}
trap cleanup EXIT

cat > "$work/driver.conf" <<CONF
[PTZSimDriver]
Name=python-head
Socket=$work/driver.sock
PresetFile=$work/presets.conf
PidFile=$work/driver.pid
Speed=120
StatusIndex=6
PublishOnBus=false
UpdateIntervalMs=20

[PTZDriverManager]
NbrOfDrivers=1
CONF
# The stand-ins keep the status cache and the parameter store here.
export DURNIK_PREFIX="/$tag." TAMSEL_STORE="$work/parameters"
"$driver" --config "$work/driver.conf" > "$work/driver.log" 2>&1 &
for _ in $(seq 100); do [ -s "$work/driver.pid" ] && break; sleep 0.1; done

status=0
env GI_TYPELIB_PATH="$typelibs" LD_LIBRARY_PATH="$libdir" PYTHONPATH= \
  "$python" "$tour" --config "$work/driver.conf" --pan -45.5 --tilt 20 --zoom 3 \
  > "$work/tour.log" 2>&1 || status=$?
cat "$work/tour.log"
[ "$status" -eq 0 ] || { echo "ptz_tour.py exited with $status; the driver said:"; cat "$work/driver.log"; exit 1; }
for expected in \
  "vocabulary: 27 types" \
  "  PTZSCGroup (enum, 4): position=0, preset=1, various=2, limit=3" \
  "settings: socket $work/driver.sock, status-cache index 6" \
  "driver name: python-head" \
  "  parameter speed            120        general   int, writable" \
  "query position: pan -45.50, tilt 20.00, zoom 3.00, idle, idle, idle" \
  "done"; do
  grep -qxF -- "$expected" "$work/tour.log" || { echo "missing: '$expected'"; exit 1; }
done
grep -q "status cache: pan  -45.50  tilt  20.00  zoom  3.00  (idle, idle, idle)" "$work/tour.log" \
  || { echo "the status cache never showed the head at rest on the target"; exit 1; }
grep -q "^request move: ok$" "$work/driver.log" || { echo "the driver saw no move"; exit 1; }
