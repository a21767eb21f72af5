#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (every module and stand-in of the library is
# compiled on the way, with clang's thread-safety analysis as an error), and
# runs each for a bounded number of inputs
# starting from its seed corpus (fuzz/corpus/<name>/). New inputs go to a
# scratch copy of the corpus; an input that fails is kept in
# build/fuzz/artifacts/ and its log tail printed.
#   scripts/fuzz.sh [runs per target, default 20000] [target names...]
# With the default, building and running every target stays within about
# ten minutes on two cores; each target also stops after 60 seconds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh
runs=${1:-20000}
shift || true
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_BUILD_FUZZ=ON -DVELMORA_SANITIZE=address,undefined \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_EXAMPLES=OFF > /dev/null
if (($#)); then
  targets=$(printf 'fuzz_%s\n' "$@")
else
  targets=$(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
fi
cmake --build build/fuzz --target $targets -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
for t in $targets; do
  name=${t#fuzz_}
  corpus=$(mktemp -d)
  cp -r "fuzz/corpus/$name/." "$corpus/" 2>/dev/null || true
  echo "== $t: $runs runs"
  if ! "build/fuzz/fuzz/$t" -runs="$runs" -max_total_time=60 -max_len=4096 -timeout=10 \
      -print_final_stats=0 -artifact_prefix="$artifacts/$t-" "$corpus" > "build/fuzz/$t.log" 2>&1; then
    tail -n 60 "build/fuzz/$t.log"
    echo "fuzzing: $t failed; input kept in $artifacts/"
    rm -rf "$corpus"
    exit 1
  fi
  rm -rf "$corpus"
done
echo "fuzzing: no findings"
