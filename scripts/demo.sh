#!/usr/bin/env bash
# The library in use: builds and installs libvelmora_common into a private
# prefix, builds the example driver and commander against that installed copy
# with pkg-config (as an outside user would), and runs them on a private
# system bus: commands and replies, positions read back from the status cache
# while the simulated head moves, a setting changed over D-Bus, and a restart
# of the driver in the middle of the run, which keeps the setting. Everything
# the run creates (sockets, status-cache groups, parameter store, preset and
# state files, bus) lives in a temporary place that is removed afterwards.
#
# It prints one line for the packages, one for each build step, then the
# transcript of the run; a step that fails shows its output.
#
# For another machine (scripts/cross.sh): DEMO_BUILD names a configured build
# tree to install from, CC and PKG_CONFIG build the examples for its target,
# and DEMO_RUN (an emulator command) runs them where the kernel cannot.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

if [ "${1:-}" = "--run" ]; then
  # Second stage, on the private bus: run the driver and the commander.
  work=$2
  bin=$work/bin
  # The driver manager's part: start the driver, and start it again when it
  # stops, until the run is over.
  supervise() {
    while [ ! -e "$work/stop" ]; do
      set +e
      ${DEMO_RUN:-} "$bin/ptz_sim_driver" --config "$work/driver.conf" 2>&1 | sed -u 's/^/            [driver] /'
      status=${PIPESTATUS[0]}
      set -e
      [ -e "$work/stop" ] && break
      [ "$status" -eq 2 ] && { echo "[demo] the driver's configuration is wrong"; break; }
      echo "[demo] driver exited (status $status); starting it again"
      sleep 0.2
    done
  }
  supervise &
  supervisor=$!
  # The driver writes its pid file once it serves; the commander would wait
  # for it anyway (its client reconnects once a second).
  for _ in $(seq 50); do [ -s "$work/driver.pid" ] && break; sleep 0.1; done
  set +e
  ${DEMO_RUN:-} "$bin/ptz_commander" --socket "$work/driver.sock" --index 0 --service VelmoraDemo \
    --restart-hook "kill -TERM \$(cat '$work/driver.pid')" --wait-ms 10000
  result=$?
  set -e
  touch "$work/stop"
  [ -s "$work/driver.pid" ] && kill -TERM "$(cat "$work/driver.pid")" 2>/dev/null || true
  wait "$supervisor" || true
  echo
  echo "[demo] preset file kept by the driver (versioned key file):"
  sed 's/^/         /' "$work/presets/presets.conf"
  echo "[demo] state file kept by the driver (settings changed over D-Bus, read back at its restart):"
  sed 's/^/         /' "$work/state/driver.state"
  exit "$result"
fi

# step TEXT COMMAND...: runs COMMAND with its output set aside; prints TEXT
# (and how long it took) when it succeeds, its output when it fails.
step() {
  local text=$1 log start status
  shift
  log=$(mktemp)
  start=$SECONDS
  if "$@" > "$log" 2>&1; then
    echo "[demo] $text ($((SECONDS - start)) s)"
    rm -f "$log"
  else
    status=$?
    echo "[demo] FAILED: $text; its output:"
    sed 's/^/         /' "$log"
    rm -f "$log"
    exit "$status"
  fi
}

# (The functions run as conditions of step, where set -e does not hold.)
build=${DEMO_BUILD:-build/demo}
pkg_config=${PKG_CONFIG:-pkg-config}
build_library() {
  if [ -z "${DEMO_BUILD:-}" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_EXAMPLES=OFF || return 1
  fi
  cmake --build "$build" -j "$(nproc)"
}

# The examples, built as an outside user builds them: against the installed
# copy, with pkg-config.
build_examples() {
  local libdir
  PKG_CONFIG_PATH=$(dirname "$(find "$work/prefix" -name velmora_common.pc | head -n1)")
  export PKG_CONFIG_PATH
  libdir=$($pkg_config --variable=libdir velmora_common) || return 1
  mkdir -p "$work/bin" || return 1
  build_example() {
    local name=$1
    shift
    ${CC:-cc} -std=c99 -O2 -Wall -Wextra -Werror "$@" -o "$work/bin/$name" \
      $($pkg_config --cflags --libs velmora_common) -Wl,-rpath,"$libdir"
  }
  build_example ptz_sim_driver examples/ptz_sim_driver.c examples/ptz_sim_head.c \
    examples/ptz_sim_presets.c examples/ptz_sim_state.c examples/ptz_sim_key_file.c \
    examples/ptz_sim_publisher.c examples/ptz_sim_settings_bus.c examples/ptz_sim_protocol.c &
  build_example ptz_commander examples/ptz_commander.c examples/ptz_sim_protocol.c &
  wait %1 && wait %2
}

bash scripts/deps.sh --quiet
step "library built ($build)" build_library

work=$(mktemp -d /tmp/velmora-demo-XXXXXX)
tag=$(basename "$work")
cleanup() {
  touch "$work/stop" 2>/dev/null || true
  [ -s "$work/driver.pid" ] && kill -TERM "$(cat "$work/driver.pid")" 2>/dev/null || true
  rm -rf "$work"
  rm -f /dev/shm/"$tag".*
}
trap cleanup EXIT

step "library installed into $work/prefix" cmake --install "$build" --prefix "$work/prefix"
step "driver and commander built against the installed library with pkg-config" build_examples

cat > "$work/driver.conf" <<CONF
[PTZSimDriver]
Name=demo-head
Socket=$work/driver.sock
PresetFile=$work/presets/presets.conf
PidFile=$work/driver.pid
StateFile=$work/state/driver.state
Service=VelmoraDemo
Speed=60
StatusIndex=0
DriverNumber=1
UpdateIntervalMs=50

[PTZDriverManager]
NbrOfDrivers=1
CONF

# The status-cache and parameter-store stand-ins keep their data where
# these say; the library itself reads no environment.
export DURNIK_PREFIX="/$tag."
export TAMSEL_STORE="$work/parameters"
echo "[demo] running the driver and the commander on a private system bus"
echo
bash scripts/with-private-bus.sh bash "$0" --run "$work"
