#!/usr/bin/env bash
# Builds for an Arm target with Debian's cross compilers and runs the whole
# test suite and the demo there under user-mode emulation.
#
#   scripts/cross.sh armhf|arm64 [--emulator] [--build-only | --setup-only]
#
# Installs what it needs (the target architecture for dpkg, the cross
# compiler, the target's GLib and GoogleTest, qemu-user-static), builds the
# library, the stand-ins, the tests, the examples and the tool in
# build/cross-<arch> (RelWithDebInfo; build/cross-<arch>-emulator with
# --emulator), then runs every test on a private system bus and the demo
# with the examples built against an installed copy.
# The bus daemon, gdbus-codegen and the other generators are the build
# machine's; every program of the project runs as an Arm binary.
#
# How Arm programs run: as root, the script mounts binfmt_misc when needed
# and registers the emulator with the kernel, so Arm programs run like any
# other (also when a test starts one or a program re-executes itself). Where
# that is impossible, or with --emulator, CMake's CMAKE_CROSSCOMPILING_EMULATOR
# runs them and scripts in <build>/emulated/ start the programs that tests
# execute. --build-only stops after the build, --setup-only after the
# packages and the registration.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

arch=${1:-}
case "$arch" in
  armhf) triplet=arm-linux-gnueabihf; qemu=arm ;;
  arm64) triplet=aarch64-linux-gnu; qemu=aarch64 ;;
  *) echo "usage: scripts/cross.sh armhf|arm64 [--emulator] [--build-only | --setup-only]" >&2; exit 2 ;;
esac
shift
mode=binfmt
run_tests=1
setup_only=0
for option in "$@"; do
  case "$option" in
    --emulator) mode=emulator ;;
    --build-only) run_tests=0 ;;
    --setup-only) setup_only=1 ;;
    *) echo "unknown option: $option" >&2; exit 2 ;;
  esac
done

step_start=$SECONDS
step() {
  local now=$SECONDS
  [ -n "${step_name:-}" ] && echo "== cross $arch: $step_name took $((now - step_start)) s"
  step_name=$1
  step_start=$now
  echo "== cross $arch: $step_name"
}

step "packages"
# A new architecture needs its package lists, whatever was updated before.
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo dpkg --add-architecture "$arch"
  unset VELMORA_APT_UPDATED
fi
bash scripts/deps.sh "g++-$triplet" qemu-user-static \
  "libglib2.0-dev:$arch" "libgtest-dev:$arch" "libgmock-dev:$arch" "libstdc++6:$arch" \
  "libjson-glib-dev:$arch"

# The kernel runs Arm programs through the emulator when it is registered
# with binfmt_misc (F: the kernel keeps the emulator open, so it works in
# other mount namespaces and chroots too).
register_binfmt() {
  local misc=/proc/sys/fs/binfmt_misc
  [ -e "$misc/register" ] || mount -t binfmt_misc binfmt_misc "$misc" 2>/dev/null || return 1
  [ -e "$misc/qemu-$qemu" ] && return 0
  [ -w "$misc/register" ] || return 1
  local rule
  rule=$(grep -v '^#' "/usr/lib/binfmt.d/qemu-$qemu.conf" | head -n1)
  printf '%s' "$rule" > "$misc/register" 2>/dev/null || return 1
}
if [ "$mode" = binfmt ] && ! register_binfmt; then
  echo "== cross $arch: binfmt_misc is not available; running through CMAKE_CROSSCOMPILING_EMULATOR"
  mode=emulator
fi
if [ "$mode" = binfmt ]; then binfmt=ON; else binfmt=OFF; fi
echo "== cross $arch: Arm programs run through $mode"
((setup_only)) && exit 0

step "configure and build"
build=build/cross-$arch
[ "$mode" = emulator ] && build+=-emulator
jobs=$(nproc)
((jobs > 2)) && jobs=2
cmake -S . -B "$build" -G Ninja --toolchain "$here/cmake/$triplet.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BINFMT=$binfmt >/dev/null
cmake --build "$build" -j "$jobs"
"$triplet-readelf" -h "$build/libvelmora_common.so" | grep -q -E 'Machine:.*(ARM|AArch64)' \
  || { echo "cross $arch: the library is not an Arm binary" >&2; exit 1; }
((run_tests)) || exit 0

step "test suite"
# As in scripts/test.sh: GLib's slice allocator off, so that every test runs
# with plain malloc as under the sanitizers.
export G_SLICE=always-malloc
bash scripts/with-private-bus.sh ctest --test-dir "$build" --output-on-failure -j "$jobs"

step "demo"
emulator=""
[ "$mode" = emulator ] && emulator="qemu-$qemu-static"
DEMO_BUILD="$build" CC="$triplet-gcc" PKG_CONFIG="$triplet-pkg-config" DEMO_RUN="$emulator" \
  bash scripts/demo.sh
step "done"
