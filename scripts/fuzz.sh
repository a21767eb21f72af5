#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded number of inputs
# starting from its seed corpus (fuzz/corpus/<name>/).
#   scripts/fuzz.sh [runs per target, default 20000]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh
runs=${1:-20000}
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_BUILD_FUZZ=ON -DVELMORA_SANITIZE=address,undefined \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_EXAMPLES=OFF > /dev/null
targets=$(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
cmake --build build/fuzz --target $targets -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
for t in $targets; do
  name=${t#fuzz_}
  corpus=$(mktemp -d)
  cp -r "fuzz/corpus/$name/." "$corpus/" 2>/dev/null || true
  echo "== $t: $runs runs"
  "build/fuzz/fuzz/$t" -runs="$runs" -max_len=4096 -timeout=10 -print_final_stats=0 \
    "$corpus" > "build/fuzz/$t.log" 2>&1 || { tail -n 60 "build/fuzz/$t.log"; rm -rf "$corpus"; exit 1; }
  rm -rf "$corpus"
done
echo "fuzzing: no findings"
