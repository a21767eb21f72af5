// Gives a test process status cache groups of its own (a name prefix through
// the stand-in's DURNIK_PREFIX), so tests running in parallel never meet, and
// removes them when the test ends. Forked children share the prefix.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/durnik/durnik_testing.h"

namespace velmora::testing {

// A 16-byte time value of the status cache (type 5) as its readers see it:
// 64-bit seconds, then 64-bit nanoseconds, on every system (a struct timespec
// has 8 bytes where time_t is 32 bits wide).
struct TimeValue16 {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;
  int64_t ns() const { return seconds * 1000000000 + nanoseconds; }
};

class DurnikIsolation {
 public:
  DurnikIsolation() {
    std::string prefix = "/velmora-test." + std::to_string(getpid()) + ".";
    setenv("DURNIK_PREFIX", prefix.c_str(), 1);
  }
  ~DurnikIsolation() { durnik_testing_remove_all(); }
  DurnikIsolation(const DurnikIsolation &) = delete;
  DurnikIsolation &operator=(const DurnikIsolation &) = delete;
};

}  // namespace velmora::testing
