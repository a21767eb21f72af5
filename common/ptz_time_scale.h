// Long time limits of the library (command timeouts, expiry, retry pauses) are
// constants; tests scale them down through this seam instead of waiting.
#pragma once

#include <glib.h>

namespace velmora {

// A duration in milliseconds after applying the current scale (never below 1
// unless the duration itself is 0).
guint64 scaled_ms(guint64 milliseconds);
// The same for microseconds.
gint64 scaled_us(gint64 microseconds);

namespace testing {
// 1.0 is real time; 0.01 turns a 360 s limit into 3.6 s.
void set_time_scale(double factor);
double time_scale();
}  // namespace testing

}  // namespace velmora
