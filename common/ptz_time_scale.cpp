#include "common/ptz_time_scale.h"

#include <atomic>

namespace velmora {
namespace {
std::atomic<double> factor{1.0};
}

guint64 scaled_ms(guint64 milliseconds) {
  if (milliseconds == 0) return 0;
  double f = factor.load(std::memory_order_relaxed);
  if (f == 1.0) return milliseconds;
  double v = static_cast<double>(milliseconds) * f;
  return v < 1.0 ? 1 : static_cast<guint64>(v);
}

gint64 scaled_us(gint64 microseconds) {
  if (microseconds <= 0) return microseconds;
  double f = factor.load(std::memory_order_relaxed);
  if (f == 1.0) return microseconds;
  double v = static_cast<double>(microseconds) * f;
  return v < 1.0 ? 1 : static_cast<gint64>(v);
}

namespace testing {
void set_time_scale(double f) { factor.store(f > 0 ? f : 1.0, std::memory_order_relaxed); }
double time_scale() { return factor.load(std::memory_order_relaxed); }
}  // namespace testing

}  // namespace velmora
