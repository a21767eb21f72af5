#!/usr/bin/env bash
# Builds the library and runs every test.
#   scripts/test.sh            normal build (build/default), the API reference included
#   scripts/test.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer (build/asan)
#   scripts/test.sh tsan       ThreadSanitizer, threaded tests only (build/tsan)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh
variant=${1:-default}
jobs=$(nproc)
case "$variant" in
  default) flags=(-DVELMORA_DOCS=ON) ; ctest_args=() ; target=all ;;
  asan) flags=(-DVELMORA_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug) ; ctest_args=() ; target=all ;;
  tsan) flags=(-DVELMORA_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug) ; ctest_args=(-L threaded) ; target=threaded_tests ;;
  *) echo "unknown variant: $variant" >&2; exit 2 ;;
esac
cmake -S . -B "build/$variant" -G Ninja "${flags[@]}" >/dev/null
cmake --build "build/$variant" -j "$jobs" --target "$target"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# GLib's slice allocator hides allocations from the sanitizers.
export G_SLICE=always-malloc
# GLib hands its own allocations (idle sources, callback records) between
# threads under futex-based locks that ThreadSanitizer cannot see; what GLib
# does inside itself is not reported, the library's own accesses stay checked.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$here/tests/support/tsan.supp}
# The bus tests get a private system bus of their own from the CTest fixture
# "system_bus" (tests/CMakeLists.txt).
ctest --test-dir "build/$variant" --output-on-failure -j "$jobs" "${ctest_args[@]}"
