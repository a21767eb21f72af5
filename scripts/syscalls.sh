#!/usr/bin/env bash
# Counts the system calls of the command channel with `strace -f -c`, both
# processes together (the benchmark program and the server it starts), per
# exchange: a synchronous 64-byte round trip, and a batch of 32 asynchronous
# 64-byte commands with their replies, for the library and for its floors.
# Each kind runs twice, with N exchanges and with none (both after the same
# set-up), and the difference is divided by N, so start-up, connection and
# exit are not counted. The table replaces the generated section between the
# markers "syscalls:begin" and "syscalls:end" of docs/performance.md.
#
#   scripts/syscalls.sh            N = 20000 round trips, 1000 batches
#   scripts/syscalls.sh 5000 200   other counts
#
# Environment: SYSCALLS_REPORT (default docs/performance.md; "-" only prints).
# Builds bench_command_channel like scripts/bench.sh (Release, build/bench).
set -euo pipefail
. "$(dirname "$0")/report_section.sh"
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh --quiet
round_trips=${1:-20000}
batches=${2:-1000}
report=${SYSCALLS_REPORT:-docs/performance.md}
build=build/bench
jobs=$(nproc)
((jobs > 2)) && jobs=2
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=ON \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target bench_command_channel >/dev/null
program="$build/bench/bench_command_channel"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# count <kind> <n>: "<syscall> <calls>" lines of one run of n exchanges.
count() {
  local out="$scratch/$1.$2"
  strace -f -c -o "$out" "$program" --count "$1" "$2"
  # strace's summary: "% time seconds usecs/call calls [errors] syscall".
  awk '$1 ~ /^[0-9.]+$/ && NF >= 5 && $NF != "total" { print $NF, $4 }' "$out"
}

# row <kind> <n> <label>: one table row, the difference of the runs with n
# and 0 exchanges divided by n, the calls by name largest first.
row() {
  local kind=$1 n=$2 label=$3
  count "$kind" "$n" >"$scratch/with"
  count "$kind" 0 >"$scratch/without"
  awk -v n="$n" -v label="$label" '
    FNR == NR { base[$1] = $2; next }
    { calls[$1] = $2 - base[$1] }
    END {
      for (name in base) if (!(name in calls)) calls[name] = -base[name]
      total = 0
      count = 0
      for (name in calls) {
        each = calls[name] / n
        total += each
        if (each >= 0.05 || each <= -0.05) { names[++count] = name; per[name] = each }
      }
      # largest first (a plain insertion sort: awk has no portable sort)
      for (i = 2; i <= count; i++)
        for (j = i; j > 1 && per[names[j]] > per[names[j - 1]]; j--) { t = names[j]; names[j] = names[j - 1]; names[j - 1] = t }
      line = ""
      for (i = 1; i <= count; i++) line = line sprintf("%s%s %.2f", i > 1 ? ", " : "", names[i], per[names[i]])
      printf "| %s | %.2f | %s |\n", label, total, line
    }' "$scratch/without" "$scratch/with"
}

generated="$scratch/generated"
{
  echo "<!-- syscalls:begin (written by scripts/syscalls.sh; edit the text outside the markers) -->"
  echo "Counted by \`scripts/syscalls.sh $round_trips $batches\` on $(date -u '+%Y-%m-%d %H:%M UTC') at commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown):"
  echo "\`strace -f -c\` over both processes, $round_trips round trips and $batches batches less a run of none."
  echo
  echo "| Exchange (64-byte payloads) | System calls, both processes | By name |"
  echo "|---|---:|---|"
  row sync-library "$round_trips" "Synchronous round trip, library client and server"
  row sync-loop "$round_trips" "Synchronous round trip, blocking client and main-loop server (floor)"
  row sync-blocking "$round_trips" "Synchronous round trip, blocking ping-pong"
  row async-library "$batches" "32 asynchronous commands and replies, library client and server"
  row async-loop "$batches" "32 asynchronous commands and replies, main-loop receivers reading one reply per dispatch (floor)"
  row async-batched "$batches" "32 asynchronous commands and replies, main-loop receiver reading every waiting reply per dispatch"
  echo "<!-- syscalls:end -->"
} >"$generated"
cat "$generated"

[ "$report" = "-" ] && exit 0
if replace_section syscalls "$generated" "$report"; then
  echo "== written: $report"
else
  echo "== $report has no syscalls:begin/end markers; nothing written"
fi
