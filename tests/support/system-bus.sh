#!/usr/bin/env bash
# The private D-Bus "system" bus of a test run, started and stopped by the
# CTest fixture "system_bus" (tests/CMakeLists.txt):
#   system-bus.sh start DIR CONFIG DBUS_DAEMON   dbus-daemon from CONFIG, on DIR/socket
#   system-bus.sh stop DIR                       stops the daemon started in DIR
# The socket's path is fixed per build directory, so the tests learn the
# address from their ENVIRONMENT property; builds in other directories have
# buses of their own.
set -euo pipefail
action=$1 dir=$2

# Stops the daemon whose pid DIR/pid holds, if it is the one started here
# (a pid file left by an interrupted run may name another process by now).
stop() {
  local pid
  pid=$(cat "$dir/pid" 2>/dev/null || true)
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = dbus-daemon ] &&
    tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "--config-file=$dir/bus.conf"; then
    kill "$pid"
    # Gone, or a zombie that nobody reaps (a container's first process may not).
    for _ in $(seq 100); do
      state=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -c1)
      [ -z "$state" ] || [ "$state" = Z ] && break
      sleep 0.05
    done
  fi
  rm -f "$dir/pid" "$dir/socket"
}

case $action in
  start)
    config=$3 daemon=${4:-dbus-daemon}
    if ! command -v "$daemon" > /dev/null; then
      echo "dbus-daemon is not installed (scripts/deps.sh installs it)" >&2
      exit 1
    fi
    mkdir -p "$dir"
    stop  # one left behind by a run that was interrupted
    sed "s|<listen>.*</listen>|<listen>unix:path=$dir/socket</listen>|" "$config" > "$dir/bus.conf"
    "$daemon" --config-file="$dir/bus.conf" --fork --print-pid=3 3> "$dir/pid" < /dev/null > "$dir/log" 2>&1 || {
      cat "$dir/log" >&2
      exit 1
    }
    # The daemon listens before it forks; its socket is there.
    test -S "$dir/socket"
    echo "system bus at unix:path=$dir/socket, pid $(cat "$dir/pid")"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: system-bus.sh start DIR CONFIG [DBUS_DAEMON] | stop DIR" >&2
    exit 2
    ;;
esac
