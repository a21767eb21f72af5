#!/usr/bin/env bash
# Installs the Debian 12 packages the build, tests, demo and benchmarks need,
# and any named as arguments, when any of them is missing. Needs root (or
# sudo) only when it installs.
set -euo pipefail
packages=("$@"
  cmake ninja-build g++ pkg-config
  libglib2.0-dev libglib2.0-dev-bin libglib2.0-bin
  libgtest-dev libgmock-dev libbenchmark-dev
  dbus-daemon
  clang libclang-rt-14-dev
  locales
  abigail-tools
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # .ci/run updates the package lists itself, once, before calling this.
  [ -n "${VELMORA_APT_UPDATED:-}" ] || $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
