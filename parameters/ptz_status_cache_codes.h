// The status cache's call flags and value type codes, as the library uses
// them (shared by the status-cache groups and the timing and counter logs).
#pragma once

#include <glib.h>

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

}  // namespace velmora::status_cache
