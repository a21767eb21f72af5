#!/usr/bin/env bash
# Measures what the library costs on each architecture and writes it into
# docs/performance.md between the footprint markers (the text around them,
# and the benchmark table, are kept):
#
# - the stripped size of libvelmora_common.so and of each stand-in, built
#   with the release flags below, and the libraries it needs;
# - the resident memory of the example driver while it serves: started on a
#   private bus, commanded through a whole run of the example commander,
#   sampled every 0.2 s.
#
#   scripts/footprint.sh [x86_64] [armhf] [arm64]    (default: all three)
#
# Release flags: -O2 with -ffunction-sections -fdata-sections and
# -Wl,--gc-sections. -O2 is what a device's distribution builds with (the
# command channel's round trip is the hot path; -O3 only grows the code),
# and the linker then drops every internal function nothing reaches. For
# 64-bit Arm also -Wl,-z,max-page-size=4096: Debian's linker aligns for
# kernels with 64 KiB pages there and pads the file with up to 64 KiB of
# zeros; a device's firmware is linked for its own kernel, and 4 KiB pages
# are the arm64 kernel's default (and what armhf and x86-64 align to anyway).
#
# Arm programs run under qemu-user. Their resident memory is that of the
# emulated program alone: the emulator is told where to put the program's
# address space (-B, -R) and only the pages inside it are counted; the
# emulator's own memory (translated code, its heap) is left out.
# Environment: FOOTPRINT_REPORT (default docs/performance.md).
set -euo pipefail
. "$(dirname "$0")/report_section.sh"
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

if [ "${1:-}" = "--serve" ]; then
  # Second stage, on the private bus: serve, command, sample.
  #   --serve <work dir> <emulator or ""> <commander> <driver command...>
  work=$2 emulator=$3 commander=$4
  shift 4
  # Status-cache groups and parameters of this run alone: the stand-ins'
  # data is laid out for one architecture.
  export DURNIK_PREFIX="/$(basename "$work").$$." TAMSEL_STORE="$work/parameters.$$"
  base=$((0x100000000000)) size=$((0x100000000))
  "$@" --config "$work/driver.conf" > "$work/driver.log" 2>&1 &
  driver=$!
  for _ in $(seq 300); do [ -s "$work/driver.pid" ] && break; sleep 0.1; done
  # Resident kB: of the whole process natively, of the guest's address
  # space under the emulator.
  resident() {
    if [ "$1" = native ]; then
      sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$driver/status"
      return
    fi
    local total=0 inside=0 first second start
    while read -r first second _; do
      case "$first" in
        Rss:) ((inside)) && total=$((total + second)) ;;
        [0-9a-f]*-[0-9a-f]*) start=$((16#${first%-*})); inside=$((start >= base && start < base + size)) ;;
      esac
    done < "/proc/$driver/smaps"
    echo "$total"
  }
  case "$1" in *qemu-*) kind=guest ;; *) kind=native ;; esac
  peak=0
  $emulator "$commander" --socket "$work/driver.sock" --index 0 --service VelmoraFootprint --wait-ms 30000 \
    > "$work/commander.log" 2>&1 &
  commanding=$!
  while kill -0 "$commanding" 2>/dev/null && kill -0 "$driver" 2>/dev/null; do
    now=$(resident "$kind")
    ((now > peak)) && peak=$now
    sleep 0.2
  done
  status=0
  wait "$commanding" || status=$?
  settled=$(resident "$kind")
  kill -TERM "$driver" 2>/dev/null || true
  wait "$driver" || true
  if ((status != 0)); then
    tail -n 20 "$work/commander.log" "$work/driver.log" >&2
    echo "footprint: the commander failed ($status)" >&2
    exit 1
  fi
  echo "$peak $settled"
  exit 0
fi

arches=("$@")
((${#arches[@]})) || arches=(x86_64 armhf arm64)
report=${FOOTPRINT_REPORT:-docs/performance.md}
bash scripts/deps.sh
jobs=$(nproc)
((jobs > 2)) && jobs=2
flags="-O2 -ffunction-sections -fdata-sections -DNDEBUG"
stand_ins=(tamsel durnik quiral morvel qenta)
goal_kb=250

work=$(mktemp -d /tmp/velmora-footprint-XXXXXX)
cleanup() { rm -rf "$work"; rm -f /dev/shm/"$(basename "$work")".*; }
trap cleanup EXIT

# build <arch>: the release build in build/footprint-<arch>.
build() {
  local arch=$1 toolchain=() link="-Wl,--gc-sections"
  case "$arch" in
    x86_64) ;;
    armhf) toolchain=(--toolchain "$here/cmake/arm-linux-gnueabihf.cmake" -DVELMORA_BINFMT=ON) ;;
    arm64) toolchain=(--toolchain "$here/cmake/aarch64-linux-gnu.cmake" -DVELMORA_BINFMT=ON)
      link+=" -Wl,-z,max-page-size=4096" ;;
    *) echo "footprint: unknown architecture $arch" >&2; exit 2 ;;
  esac
  [ "$arch" = x86_64 ] || bash scripts/cross.sh "$arch" --setup-only >/dev/null
  cmake -S . -B "build/footprint-$arch" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="$flags" -DCMAKE_CXX_FLAGS_RELEASE="$flags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$link" -DCMAKE_EXE_LINKER_FLAGS="$link" \
    -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_EXAMPLES=ON -DVELMORA_SANITIZE= >/dev/null
  cmake --build "build/footprint-$arch" -j "$jobs" --target velmora_common "${stand_ins[@]}" \
    ptz_sim_driver ptz_commander >/dev/null
}

# Sizes in kB of 1000 bytes, as the goal is given.
kb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1000 }'; }

stripped_bytes() {
  local strip=$1 file=$2
  "$strip" -o "$work/stripped" "$file"
  stat -c %s "$work/stripped"
}

cat > "$work/driver.conf" <<CONF
[PTZSimDriver]
Name=footprint-head
Socket=$work/driver.sock
PresetFile=$work/presets/presets.conf
PidFile=$work/driver.pid
Service=VelmoraFootprint
Speed=60
StatusIndex=0
DriverNumber=1
UpdateIntervalMs=50

[PTZDriverManager]
NbrOfDrivers=1
CONF

rows=()
needed_lines=()
for arch in "${arches[@]}"; do
  echo "== footprint $arch"
  build "$arch"
  dir=build/footprint-$arch
  # The commander is of the driver's architecture (the stand-ins' shared data
  # is laid out for one), its memory is not measured.
  case "$arch" in
    x86_64) strip=strip emulator="" driver=("$dir/examples/ptz_sim_driver") ;;
    armhf) strip=arm-linux-gnueabihf-strip emulator=qemu-arm-static
      driver=(qemu-arm-static -B 0x100000000000 "$dir/examples/ptz_sim_driver") ;;
    arm64) strip=aarch64-linux-gnu-strip emulator=qemu-aarch64-static
      driver=(qemu-aarch64-static -B 0x100000000000 -R 0x100000000 "$dir/examples/ptz_sim_driver") ;;
  esac
  library=$(stripped_bytes "$strip" "$dir/libvelmora_common.so")
  row="| $arch | $(kb "$library")"
  for name in "${stand_ins[@]}"; do
    row+=" | $(kb "$(stripped_bytes "$strip" "$dir/platform/$name/lib$name.so")")"
  done
  rm -f "$work/driver.pid"
  memory=$(bash scripts/with-private-bus.sh bash "$0" --serve "$work" "$emulator" \
    "$dir/examples/ptz_commander" "${driver[@]}")
  read -r peak settled <<< "$memory"
  row+=" | $peak | $settled |"
  if [ "$arch" != x86_64 ]; then
    if ((library < goal_kb * 1000)); then row+=" met |"; else row+=" **missed** |"; fi
  else
    row+=" - |"
  fi
  rows+=("$row")
  needed=$(readelf -d "$dir/libvelmora_common.so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -sd' ')
  needed_lines+=("- $arch: $needed")
  echo "$row"
done

generated=$work/section
{
  echo "<!-- footprint:begin (written by scripts/footprint.sh; edit the text outside the markers) -->"
  echo "Produced by \`scripts/footprint.sh${*:+ $*}\` on $(date -u '+%Y-%m-%d %H:%M UTC') at commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown), with \`$flags\` and \`-Wl,--gc-sections\` (64-bit Arm: also \`-Wl,-z,max-page-size=4096\`; $(gcc --version | head -n1) and its Debian cross compilers)."
  echo
  echo "| Architecture | Library, stripped (kB) | libtamsel | libdurnik | libquiral | libmorvel | libqenta | Driver resident, peak (KiB) | Driver resident, after the run (KiB) | Goal: library under $goal_kb kB |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "Libraries the library needs (DT_NEEDED):"
  echo
  printf '%s\n' "${needed_lines[@]}"
  echo "<!-- footprint:end -->"
} > "$generated"

if ! replace_section footprint "$generated" "$report"; then
  { echo; echo "## Footprint"; echo; cat "$generated"; } >> "$report"
fi
echo "== written: $report"
