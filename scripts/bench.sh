#!/usr/bin/env bash
# Builds the benchmarks (Release, build/bench), runs every one of them, and
# writes the table of ratios of each path to its floor, with its goal, into
# docs/performance.md between the generated-section markers (the text around
# them is kept). The command channel runs twice: as the scheduler places the
# two processes, and with both pinned to one CPU.
#
#   scripts/bench.sh                    the whole suite
#   scripts/bench.sh --benchmark_filter=Sync   extra arguments go to every program
#
# Environment: BENCH_REPETITIONS (default 5; the median counts), BENCH_MIN_TIME
# (seconds per repetition, default 0.2), BENCH_CPU (the CPU of the pinned run,
# default 0), BENCH_REPORT (default docs/performance.md).
set -euo pipefail
. "$(dirname "$0")/report_section.sh"
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh

build=build/bench
report=${BENCH_REPORT:-docs/performance.md}
repetitions=${BENCH_REPETITIONS:-5}
min_time=${BENCH_MIN_TIME:-0.2}
cpu=${BENCH_CPU:-0}
jobs=$(nproc)
((jobs > 2)) && jobs=2

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=ON \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target \
  bench_command_channel bench_held_connections bench_status_cache bench_settings bench_dynamical_properties bench_driver_parameter_item

results="$build/results"
rm -rf "$results"
mkdir -p "$results"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
common=(--benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true
        --benchmark_min_time="$min_time" --benchmark_report_aggregates_only=true)

# run <output name> <program> [arguments...]
run() {
  local name=$1 program=$2
  shift 2
  echo "== $program $*"
  "$build/bench/$program" "${common[@]}" "$@" | tee "$results/$name.txt"
  order+=("$results/$name.txt")
}
order=()
run command_channel bench_command_channel "$@"
run command_channel_pinned bench_command_channel --pin-cpu="$cpu" "$@"
run held_connections bench_held_connections "$@"
run status_cache bench_status_cache "$@"
run settings bench_settings "$@"
run dynamical_properties bench_dynamical_properties "$@"
run driver_parameter_item bench_driver_parameter_item "$@"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

command="scripts/bench.sh${*:+ $*}"
[ "$repetitions" != 5 ] && command="BENCH_REPETITIONS=$repetitions $command"
[ "$min_time" != 0.2 ] && command="BENCH_MIN_TIME=$min_time $command"
cpu_model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)

generated=$(mktemp)
trap 'rm -f "$generated"' EXIT
{
  echo "<!-- bench:begin (written by scripts/bench.sh; edit the text outside the markers) -->"
  echo "Produced by \`$command\` on $(date -u '+%Y-%m-%d %H:%M UTC') at commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)."
  echo
  echo "Machine: $(nproc) CPUs ($cpu_model), $(uname -sr), load average $load_before before the run and $load_after after it."
  if ((repetitions > 1)); then
    timing="Times are medians of $repetitions repetitions of at least $min_time s each, run in random order"
  else
    timing="Times are single runs of at least $min_time s each"
  fi
  echo "$timing; in-process paths use CPU time, the command channel wall-clock time (the other process works while this one waits)."
  echo
  echo "| Path against its floor | Path (ns) | Floor (ns) | Goal | Measured | Result | CPU ratio, both processes |"
  echo "|---|---:|---:|---|---:|---|---:|"
  cat "${order[@]}" | grep '^ratio|' | sed -e 's/|<= /|≤ /' -e 's/|>= /|≥ /' |
    awk -F'|' '{ printf "| %s | %s | %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, $6, $7, $8 }'
  echo "<!-- bench:end -->"
} >"$generated"

mkdir -p "$(dirname "$report")"
if ! replace_section bench "$generated" "$report"; then
  { echo "# Performance"; echo; cat "$generated"; } >"$report"
fi
echo "== written: $report"
misses=$(cat "${order[@]}" | grep -c '^ratio|.*|miss|' || true)
echo "== goals missed: $misses"
