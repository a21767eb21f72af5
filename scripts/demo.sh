#!/usr/bin/env bash
# Builds what the demo needs and runs it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh
cmake -S . -B build/demo -G Ninja -DVELMORA_BUILD_TESTS=OFF > /dev/null
cmake --build build/demo --target vocabulary_tour -j "$(nproc)"
exec build/demo/examples/vocabulary_tour
