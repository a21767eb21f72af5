// Gives a test process status cache groups of its own (a name prefix through
// the stand-in's DURNIK_PREFIX), so tests running in parallel never meet, and
// removes them when the test ends. Forked children share the prefix.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/durnik/durnik_testing.h"

namespace velmora::testing {

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
