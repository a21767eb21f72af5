// Status cache groups: the framework's status-cache vocabulary mapped onto
// group names, value keys, sizes and type codes, and the descriptions that
// point the status cache at the caller's variables.
#include "ptz_status_cache.h"

#include <errno.h>
#include <time.h>

#include <cstddef>
#include <cstring>

#include "common/ptz_log.h"
#include "durnik.h"
#include "parameters/ptz_status_cache_codes.h"

namespace {

// The status cache reads our entries as its own.
static_assert(sizeof(PTZStatusCacheEntry) == sizeof(sc_entry));
static_assert(offsetof(PTZStatusCacheEntry, key) == offsetof(sc_entry, key));
static_assert(offsetof(PTZStatusCacheEntry, size) == offsetof(sc_entry, size));
static_assert(offsetof(PTZStatusCacheEntry, data) == offsetof(sc_entry, data));
static_assert(offsetof(PTZStatusCacheEntry, type) == offsetof(sc_entry, type));

using namespace velmora::status_cache;

// A description never holds more entries than this, whatever is asked.
constexpr guint32 kMaxCapacity = 1u << 20;

struct GroupSpec {
  const char *word;  // the name is "PTZ_<word>_IS<index>"
  gint32 size;
};

constexpr GroupSpec kGroups[] = {
    {"POSITION", 1536},
    {"PRESET", 64},
    {"VARIOUS", 228},
    {"LIMIT", 512},
};

const GroupSpec *group_spec(gint32 group) {
  if (group < 0 || group >= gint32(G_N_ELEMENTS(kGroups))) return nullptr;
  return &kGroups[group];
}

struct ValueSpec {
  const char *key;
  guint32 size;
  gint32 type;
};

#define INT4(key) \
  { key, 4, kInt }
#define FLOAT4(key) \
  { key, 4, kFloat }
#define TIMESPEC(key) \
  { key, 16, kTimespec }

// Position values, by PTZSCParam 0 to 46.
constexpr ValueSpec kPositionValues[] = {
    FLOAT4("PAN_DEG"),
    FLOAT4("TILT_DEG"),
    INT4("PAN_MECH_STEPS"),
    INT4("TILT_MECH_STEPS"),
    INT4("FIXED_PAN"),
    INT4("FIXED_TILT"),
    FLOAT4("ZOOM_MAG"),
    INT4("ZOOM_KOVIR"),
    FLOAT4("ZOOM_HFOV"),
    FLOAT4("ZOOM_VFOV"),
    FLOAT4("ZOOM_MASK_HFOV"),
    FLOAT4("ZOOM_MASK_VFOV"),
    INT4("IRIS_KOVIR"),
    INT4("FOCUS_KOVIR"),
    INT4("BRIGHTNESS_KOVIR"),
    INT4("PAN_STATUS"),
    INT4("TILT_STATUS"),
    INT4("ZOOM_STATUS"),
    INT4("IRIS_STATUS"),
    INT4("FOCUS_STATUS"),
    INT4("BRIGHTNESS_STATUS"),
    INT4("UPDATE_RATE"),
    {"TIME_VAL", 8, kTimeval},
    TIMESPEC("PAN_STATUS_IDLE_TIME"),
    TIMESPEC("PAN_STATUS_MOVING_TIME"),
    TIMESPEC("TILT_STATUS_IDLE_TIME"),
    TIMESPEC("TILT_STATUS_MOVING_TIME"),
    TIMESPEC("ZOOM_STATUS_IDLE_TIME"),
    TIMESPEC("ZOOM_STATUS_MOVING_TIME"),
    TIMESPEC("IRIS_STATUS_IDLE_TIME"),
    TIMESPEC("IRIS_STATUS_MOVING_TIME"),
    TIMESPEC("FOCUS_STATUS_IDLE_TIME"),
    TIMESPEC("FOCUS_STATUS_MOVING_TIME"),
    TIMESPEC("BRIGHT_STATUS_IDLE_TIME"),
    TIMESPEC("BRIGHT_STATUS_MOVING_TIME"),
    TIMESPEC("GM_PAN_STATUS_IDLE_TIME"),
    TIMESPEC("GM_PAN_STATUS_MOVING_TIME"),
    TIMESPEC("GM_TILT_STATUS_IDLE_TIME"),
    TIMESPEC("GM_TILT_STATUS_MOVING_TIME"),
    TIMESPEC("GM_ZOOM_STATUS_IDLE_TIME"),
    TIMESPEC("GM_ZOOM_STATUS_MOVING_TIME"),
    TIMESPEC("GM_IRIS_STATUS_IDLE_TIME"),
    TIMESPEC("GM_IRIS_STATUS_MOVING_TIME"),
    TIMESPEC("GM_FOCUS_STATUS_IDLE_TIME"),
    TIMESPEC("GM_FOCUS_STATUS_MOVING_TIME"),
    TIMESPEC("GM_BRIGHT_STATUS_IDLE_TIME"),
    TIMESPEC("GM_BRIGHT_STATUS_MOVING_TIME"),
};
static_assert(G_N_ELEMENTS(kPositionValues) == 47);

// Various values, by PTZSCParam 49 to 58 (58, the overview mode, has no
// registered PTZSCParam value but is accepted).
constexpr guint32 kFirstVarious = 49;
constexpr ValueSpec kVariousValues[] = {
    INT4("PAN_FLIPPED"), INT4("TILT_FLIPPED"), INT4("CAM_FLIPPED"), INT4("AUTO_FLIPPING"), INT4("PT_PRESET_MOVE"),
    INT4("AUTO_FOCUS"),  INT4("AUTO_IRIS"),    INT4("BACKLIGHT"),   INT4("IR_CUT_FILTER"), INT4("OVERVIEW_MODE"),
};

// Limit values, by PTZSCParam 59 to 72.
constexpr guint32 kFirstLimit = 59;
constexpr ValueSpec kLimitValues[] = {
    INT4("MIN_PAN"),         INT4("MAX_PAN"),         INT4("MIN_TILT"),       INT4("MAX_TILT"),       INT4("MIN_ZOOM"),
    INT4("MAX_ZOOM"),        INT4("MIN_IRIS"),        INT4("MAX_IRIS"),       INT4("MIN_FOCUS"),      INT4("MAX_FOCUS"),
    INT4("MIN_FIELD_ANGLE"), INT4("MAX_FIELD_ANGLE"), INT4("MIN_BRIGHTNESS"), INT4("MAX_BRIGHTNESS"),
};

#undef INT4
#undef FLOAT4
#undef TIMESPEC

template <size_t N>
const ValueSpec *value_in(const ValueSpec (&table)[N], guint32 first, guint32 param) {
  return param >= first && param - first < N ? &table[param - first] : nullptr;
}

// The value `param` of a group that holds values, or NULL.
const ValueSpec *value_spec(gint32 group, guint32 param) {
  switch (group) {
    case PTZ_SC_GROUP_POSITION:
      return value_in(kPositionValues, 0, param);
    case PTZ_SC_GROUP_VARIOUS:
      return value_in(kVariousValues, kFirstVarious, param);
    case PTZ_SC_GROUP_LIMIT:
      return value_in(kLimitValues, kFirstLimit, param);
    default:
      return nullptr;
  }
}

// Entries that may be added: the capacity, but never past the slots that
// were allocated (a fetch may have changed the capacity).
gint32 room(const PTZStatusCacheGroup *group) {
  gint32 allocated = gint32(group->slots) - 1;
  return MIN(group->capacity, allocated);
}

// The entry list handed to the status cache, NULL-terminated after the last
// entry; NULL when the counts do not describe the allocation.
sc_entry **terminated_entries(PTZStatusCacheGroup *group) {
  if (group->count < 0 || group->count >= gint32(group->slots)) return nullptr;
  group->entries[group->count] = nullptr;
  return reinterpret_cast<sc_entry **>(group->entries);
}

}  // namespace

PTZStatusCacheGroup *ptz_status_cache_setup_group(PTZSCGroup group, guint32 index, guint32 capacity) {
  const GroupSpec *layout = group_spec(group);
  if (layout == nullptr) {
    PTZ_LOG_ERR("Could not setup status cache group. No such group %d!", gint(group));
    return nullptr;
  }
  if (capacity > kMaxCapacity) {
    PTZ_LOG_ERR("Could not setup status cache group %d. Capacity %u is too large!", gint(group), capacity);
    return nullptr;
  }
  auto *description = g_new0(PTZStatusCacheGroup, 1);
  description->group = group;
  description->name = g_strdup_printf("PTZ_%s_IS%u", layout->word, index);
  description->size = layout->size;
  description->index = index;
  description->count = 0;
  description->capacity = gint32(capacity);
  description->slots = capacity + 1;
  description->entries = g_new0(PTZStatusCacheEntry *, description->slots);
  return description;
}

gboolean ptz_status_cache_add_param(PTZStatusCacheGroup *group, guint32 param, gpointer data) {
  if (group == nullptr) {
    PTZ_LOG_ERR("Could not add parameter %d. No group setup!", gint(param));
    return FALSE;
  }
  if (group->count < 0 || group->count >= room(group)) {
    PTZ_LOG_ERR("Could not add parameter %d. No space left in group %s!", gint(param), group->name);
    return FALSE;
  }
  switch (group->group) {
    case PTZ_SC_GROUP_POSITION:
    case PTZ_SC_GROUP_VARIOUS:
    case PTZ_SC_GROUP_LIMIT:
      break;
    case PTZ_SC_GROUP_PRESET:
      return FALSE;
    default:
      PTZ_LOG_ERR("Could not add parameter to status cache group. No such group %d!", group->group);
      return FALSE;
  }
  const ValueSpec *layout = value_spec(group->group, param);
  if (layout == nullptr) {
    PTZ_LOG_ERR("Could not add parameter to group %d. No such parameter %d!", group->group, gint(param));
    return FALSE;
  }
  auto *entry = g_new(PTZStatusCacheEntry, 1);
  *entry = {layout->key, layout->size, data, layout->type};
  group->entries[group->count++] = entry;
  return TRUE;
}

gboolean ptz_status_cache_update_group(PTZStatusCacheGroup *group) {
  if (group == nullptr) {
    PTZ_LOG_ERR("Could not update status cache. No group setup!");
    return FALSE;
  }
  sc_entry **entries = group->count > group->capacity ? nullptr : terminated_entries(group);
  if (entries == nullptr) {
    PTZ_LOG_ERR("Could not update status cache. To many parameters in group %s!", group->name);
    return FALSE;
  }
  if (sc_set_group(group->name, entries, kSetAddKeys) >= 0) return TRUE;
  // Most likely the group does not exist yet. When it does (another process
  // made it meanwhile, or the write failed for another reason) the second
  // write tells what stands in the way, a refused permission for one.
  if (sc_create_group(group->name, group->size, kCreateExclusive) < 0 && errno != EEXIST) {
    PTZ_LOG_ERR("Could not create status cache group %s. %m!", group->name);
    return FALSE;
  }
  if (sc_set_group(group->name, entries, kSetAddKeys) < 0) {
    PTZ_LOG_ERR("Could not set status cache parameter group %s. %m!", group->name);
    return FALSE;
  }
  return TRUE;
}

gboolean ptz_status_cache_fetch_group(PTZStatusCacheGroup *group) {
  if (group == nullptr) {
    PTZ_LOG_ERR("Could not fetch status cache. No group setup!");
    return FALSE;
  }
  sc_entry **entries = group->count > group->capacity ? nullptr : terminated_entries(group);
  if (entries == nullptr) {
    PTZ_LOG_ERR("Could not fetch status cache. To many parameters in group %s!", group->name);
    return FALSE;
  }
  int read = sc_get_group(group->name, entries, kGetAll);
  if (read < 0) {
    // The capacity is kept: a reader that came before the publisher must be
    // able to try again.
    PTZ_LOG_ERR("Could not get status cache parameter group %s. %m!", group->name);
    return FALSE;
  }
  group->capacity = read;
  return TRUE;
}

void ptz_status_cache_free_group(PTZStatusCacheGroup *group) {
  if (group == nullptr) return;
  g_free(group->name);
  for (guint32 i = 0; i < group->slots && group->entries[i] != nullptr; i++) g_free(group->entries[i]);
  g_free(group->entries);
  g_free(group);
}

namespace {

static_assert(PTZ_STATUS_CACHE_VALUE_INT == kInt && PTZ_STATUS_CACHE_VALUE_FLOAT == kFloat &&
              PTZ_STATUS_CACHE_VALUE_TIMEVAL == kTimeval && PTZ_STATUS_CACHE_VALUE_TIMESPEC == kTimespec);

void tell(const ValueSpec *value, const gchar **key, PTZStatusCacheValueType *type, gsize *size) {
  if (key != nullptr) *key = value->key;
  if (type != nullptr) *type = PTZStatusCacheValueType(value->type);
  if (size != nullptr) *size = value->size;
}

}  // namespace

gboolean ptz_status_cache_param_info(PTZSCGroup group, guint32 param, const gchar **key, PTZStatusCacheValueType *type,
                                     gsize *size) {
  const ValueSpec *value = value_spec(group, param);
  if (value == nullptr) return FALSE;
  tell(value, key, type, size);
  return TRUE;
}

gboolean ptz_status_cache_key_info(const gchar *key, PTZSCGroup *group, guint32 *param, PTZStatusCacheValueType *type,
                                   gsize *size) {
  if (key == nullptr) return FALSE;
  for (PTZSCGroup candidate : {PTZ_SC_GROUP_POSITION, PTZ_SC_GROUP_VARIOUS, PTZ_SC_GROUP_LIMIT}) {
    for (guint32 p = 0; p <= kFirstLimit + G_N_ELEMENTS(kLimitValues); p++) {
      const ValueSpec *value = value_spec(candidate, p);
      if (value == nullptr || strcmp(value->key, key) != 0) continue;
      if (group != nullptr) *group = candidate;
      if (param != nullptr) *param = p;
      tell(value, nullptr, type, size);
      return TRUE;
    }
  }
  return FALSE;
}

namespace {

// Storage for one default value of any kind.
union DefaultValue {
  gint32 integer;
  gfloat real;
  guint32 timeval[2];
  TimeValue16 timespec;
};

// Writes `values[i]` under the parameters `params[i]` into a new group
// description of `capacity` and frees it; the update logs its own failures.
void write_defaults(PTZSCGroup group, guint32 index, guint32 capacity, const guint32 *params, DefaultValue *values,
                    size_t n) {
  PTZStatusCacheGroup *description = ptz_status_cache_setup_group(group, index, capacity);
  for (size_t i = 0; i < n; i++) ptz_status_cache_add_param(description, params[i], &values[i]);
  ptz_status_cache_update_group(description);
  ptz_status_cache_free_group(description);
}

void create_position(guint32 index) {
  constexpr guint32 n = G_N_ELEMENTS(kPositionValues);
  guint32 params[n];
  DefaultValue values[n] = {};
  for (guint32 p = 0; p < n; p++) {
    params[p] = p;
    switch (p) {
      case PTZ_SC_PARAM_POSITION_MZOOM:
        values[p].real = 1.0f;
        break;
      case PTZ_SC_PARAM_POSITION_VZOOM:
      case PTZ_SC_PARAM_POSITION_IRIS:
      case PTZ_SC_PARAM_POSITION_FOCUS:
      case PTZ_SC_PARAM_POSITION_BRIGHTNESS:
        values[p].integer = 1;
        break;
      case PTZ_SC_PARAM_POSITION_PAN_STATUS:
      case PTZ_SC_PARAM_POSITION_TILT_STATUS:
      case PTZ_SC_PARAM_POSITION_ZOOM_STATUS:
      case PTZ_SC_PARAM_POSITION_IRIS_STATUS:
      case PTZ_SC_PARAM_POSITION_FOCUS_STATUS:
      case PTZ_SC_PARAM_POSITION_BRIGHTNESS_STATUS:
        values[p].integer = PTZ_MOVE_STATUS_INVALID;
        break;
      case PTZ_SC_PARAM_POSITION_UPDATE_RATE:
        values[p].integer = 30;
        break;
      case PTZ_SC_PARAM_POSITION_TIME_VAL: {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        values[p].timeval[0] = guint32(now.tv_sec);
        values[p].timeval[1] = guint32(now.tv_nsec / 1000);
        break;
      }
      default:
        break;  // zero: positions, fields of view, idle and moving times
    }
  }
  write_defaults(PTZ_SC_GROUP_POSITION, index, 50, params, values, n);
}

void create_various(guint32 index) {
  // The overview mode is not created.
  static constexpr guint32 params[] = {49, 50, 51, 53, 52, 54, 55, 56, 57};
  DefaultValue values[G_N_ELEMENTS(params)] = {};
  write_defaults(PTZ_SC_GROUP_VARIOUS, index, 10, params, values, G_N_ELEMENTS(params));
}

void create_limit(guint32 index) {
  static constexpr gint32 defaults[] = {-180, 180, -180, 180, 1, 19999, 1, 9999, 1, 9999, 1, 9999, 1, 9999};
  constexpr size_t n = G_N_ELEMENTS(defaults);
  static_assert(n == G_N_ELEMENTS(kLimitValues));
  guint32 params[n];
  DefaultValue values[n] = {};
  for (size_t i = 0; i < n; i++) {
    params[i] = kFirstLimit + guint32(i);
    values[i].integer = defaults[i];
  }
  write_defaults(PTZ_SC_GROUP_LIMIT, index, 19, params, values, n);
}

}  // namespace

gboolean ptz_status_cache_create_group(PTZSCGroup group, guint32 index) {
  switch (group) {
    case PTZ_SC_GROUP_POSITION:
      create_position(index);
      return TRUE;
    case PTZ_SC_GROUP_VARIOUS:
      create_various(index);
      return TRUE;
    case PTZ_SC_GROUP_LIMIT:
      create_limit(index);
      return TRUE;
    case PTZ_SC_GROUP_PRESET:
      return FALSE;
    default:
      PTZ_LOG_ERR("Could not create status cache group. No such group %d!", gint(group));
      return FALSE;
  }
}
