// Shared by the benchmark programs: runs the registered benchmarks, keeps
// each one's time per iteration (the median when repetitions are asked for),
// and prints every path's ratio to its floor, with its goal, as one line
//   ratio|<what>|<path ns>|<floor ns>|<goal>|<measured>|<pass, miss or ->|<CPU ratio>
// that scripts/bench.sh gathers into the performance report. A benchmark of
// work spread over processes reports the CPU time of all of them per
// iteration in the counter "cpu_ns"; the last field is then the ratio of
// those (for in-process benchmarks, "-": it is the measured ratio). A goal
// followed by "(CPU)" is judged on that last field.
#ifndef VELMORA_BENCH_RATIO_H
#define VELMORA_BENCH_RATIO_H

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace velmora::bench {

enum class Clock {
  kCpu,
  kReal
};
enum class Goal {
  kNone,
  kAtMost,
  kAtLeast
};

// measured = time of `numerator` / time of `denominator`. For "at least N
// times faster" and for throughput the floor is the numerator.
struct Ratio {
  std::string what;
  std::string numerator;
  std::string denominator;
  Goal goal = Goal::kNone;
  double limit = 0;
  Clock clock = Clock::kCpu;
  // Which of the two is the library's path (the other is the floor).
  bool path_is_numerator = true;
  // The goal holds for the CPU time of all processes (the last field), not
  // for the measured time; the goal is printed with " (CPU)".
  bool goal_on_cpu = false;
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_None) {}

  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.error_occurred) continue;
      Times times{run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
      auto all_processes = run.counters.find("cpu_ns");
      if (all_processes != run.counters.end()) times.cpu = all_processes->second.value;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") median_[run.run_name.str()] = times;
      } else if (run.iterations > 0) {
        last_[run.run_name.str()] = times;
      }
    }
  }

  // Time per iteration in nanoseconds, or a negative number when the
  // benchmark did not run (or failed).
  double ns(const std::string &name, Clock clock) const {
    auto found = median_.find(name);
    if (found == median_.end()) found = last_.find(name);
    if (found == last_.end()) return -1;
    return clock == Clock::kCpu ? found->second.cpu : found->second.real;
  }

 private:
  struct Times {
    double cpu;
    double real;
  };
  std::map<std::string, Times> median_;
  std::map<std::string, Times> last_;
};

inline void print_ratio(const RatioReporter &reporter, const Ratio &ratio, const std::string &suffix) {
  double a = reporter.ns(ratio.numerator, ratio.clock);
  double b = reporter.ns(ratio.denominator, ratio.clock);
  double path = ratio.path_is_numerator ? a : b;
  double floor = ratio.path_is_numerator ? b : a;
  char goal[32] = "-";
  if (ratio.goal == Goal::kAtMost) snprintf(goal, sizeof goal, "<= %g", ratio.limit);
  if (ratio.goal == Goal::kAtLeast) snprintf(goal, sizeof goal, ">= %g", ratio.limit);
  if (a <= 0 && b <= 0) return;  // neither ran: not selected by a filter
  if (a <= 0 || b <= 0) {
    printf("ratio|%s%s|-|-|%s|not measured|miss|-\n", ratio.what.c_str(), suffix.c_str(), goal);
    return;
  }
  char cpu[32] = "-";
  double cpu_ratio = -1;
  if (ratio.clock == Clock::kReal) {
    double cpu_a = reporter.ns(ratio.numerator, Clock::kCpu), cpu_b = reporter.ns(ratio.denominator, Clock::kCpu);
    if (cpu_a > 0 && cpu_b > 0) cpu_ratio = cpu_a / cpu_b;
    if (cpu_ratio > 0) snprintf(cpu, sizeof cpu, "%.2f", cpu_ratio);
  }
  double measured = a / b;
  double judged = ratio.goal_on_cpu ? cpu_ratio : measured;
  if (ratio.goal_on_cpu && ratio.goal != Goal::kNone) strncat(goal, " (CPU)", sizeof goal - strlen(goal) - 1);
  const char *result = "-";
  if (ratio.goal == Goal::kAtMost) result = judged > 0 && judged <= ratio.limit ? "pass" : "miss";
  if (ratio.goal == Goal::kAtLeast) result = judged > 0 && judged >= ratio.limit ? "pass" : "miss";
  printf("ratio|%s%s|%.0f|%.0f|%s|%.2f|%s|%s\n", ratio.what.c_str(), suffix.c_str(), path, floor, goal, measured,
         result, cpu);
}

// Runs the benchmarks named on the command line (all by default) and prints
// the ratios; `suffix` is appended to every row's label.
inline int run_and_report(int argc, char **argv, const std::vector<Ratio> &ratios, const std::string &suffix = "") {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  fflush(stdout);
  for (const Ratio &ratio : ratios) print_ratio(reporter, ratio, suffix);
  fflush(stdout);
  benchmark::Shutdown();
  return 0;
}

}  // namespace velmora::bench

#endif  // VELMORA_BENCH_RATIO_H
