#!/usr/bin/env bash
# Installs the Debian 12 packages the build, tests, demo and benchmarks need,
# and any named as arguments, when any of them is missing. Needs root (or
# sudo) only when it installs.
# Ends with one line: "packages: N present, M installed" or
# "packages: N present, installed M (names...)".
#   deps.sh [PACKAGE...]           the package manager's output as it comes
#   deps.sh --quiet [PACKAGE...]   only that line; the package manager's
#                                  output is shown when it fails
set -euo pipefail
quiet=false
[ "${1:-}" = "--quiet" ] && { quiet=true; shift; }
packages=("$@"
  cmake ninja-build g++ pkg-config
  libglib2.0-dev libglib2.0-dev-bin libglib2.0-bin
  libgtest-dev libgmock-dev libbenchmark-dev libjson-glib-dev
  dbus-daemon
  clang libclang-rt-14-dev clang-format
  locales man-db
  abigail-tools strace
  gobject-introspection libgirepository1.0-dev gir1.2-glib-2.0 python3-gi
  gi-docgen
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
install() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # .ci/run updates the package lists itself, once, before calling this.
  [ -n "${VELMORA_APT_UPDATED:-}" ] || $sudo apt-get update -qq
  $sudo apt-get -o DPkg::Lock::Timeout=1200 install -y -qq --no-install-recommends "${missing[@]}"
}
if ((${#missing[@]})); then
  if $quiet; then
    log=$(mktemp)
    if ! install > "$log" 2>&1; then
      cat "$log" >&2
      rm -f "$log"
      echo "packages: installing ${missing[*]} failed" >&2
      exit 1
    fi
    rm -f "$log"
  else
    install
  fi
  echo "packages: $((${#packages[@]} - ${#missing[@]})) present, installed ${#missing[@]} (${missing[*]})"
else
  echo "packages: ${#packages[@]} present, 0 installed"
fi
