// The status cache's call flags and value type codes, as the library uses
// them (shared by the status-cache groups and the timing and counter logs).
#pragma once

#include <glib.h>
#include <time.h>

namespace velmora::status_cache {

// sc_create_group: fail when the group exists, or open it.
inline constexpr int kCreateExclusive = 0;
inline constexpr int kCreateOrOpen = 1;
// sc_set_group: only keys the group has, or add missing keys.
inline constexpr int kSetExistingKeys = 1;
inline constexpr int kSetAddKeys = 2;
// sc_get_group: every key must exist, or skip missing keys.
inline constexpr int kGetAll = 0;
inline constexpr int kGetPresent = 1;

// Value type codes.
inline constexpr gint32 kInt = 1;
inline constexpr gint32 kFloat = 2;
inline constexpr gint32 kTimeval = 4;
inline constexpr gint32 kTimespec = 5;

// The value of type 5: seconds, then nanoseconds, 64 bits each, whatever the
// width of the system's time_t (a struct timespec has this layout only on
// 64-bit systems).
struct TimeValue16 {
  gint64 seconds;
  gint64 nanoseconds;

  static TimeValue16 from(const struct timespec &t) { return {gint64(t.tv_sec), gint64(t.tv_nsec)}; }
};
static_assert(sizeof(TimeValue16) == 16);

}  // namespace velmora::status_cache
