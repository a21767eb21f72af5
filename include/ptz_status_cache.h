/* Publication of live PTZ values in the device's shared status cache.
 *
 * A group description names one status-cache group ("PTZ_POSITION_IS%u",
 * "PTZ_PRESET_IS%u", "PTZ_VARIOUS_IS%u", "PTZ_LIMIT_IS%u") and lists values of
 * it, each pointing at one of the caller's variables. Updating writes those
 * variables into the cache (creating the group when it is missing), fetching
 * reads the cache back into them. Values are never copied by the description:
 * the variables must stay alive and in place until the group has been
 * written or read. A description is used by one thread at a time. */
#ifndef PTZ_STATUS_CACHE_H
#define PTZ_STATUS_CACHE_H

#include <glib.h>

#include "ptz_enum_types.h"
#include "ptz_export.h"

G_BEGIN_DECLS

/* One value as the status cache reads it (32 bytes on a 64-bit system, 24 on
 * 32-bit Arm). Time values: type 4 is two 32-bit integers (seconds, then
 * microseconds), type 5 two 64-bit integers (seconds, then nanoseconds) on
 * every system; a struct timespec has that layout only where time_t and long
 * are 64 bits wide. */
typedef struct _PTZStatusCacheEntry {
  const gchar *key;  /* the value's key inside the group */
  guint64 size;      /* size of the value in bytes */
  gpointer data;     /* the caller's variable */
  gint32 type;       /* 1 integer, 2 float, 4 8-byte time value, 5 16-byte time value */
} PTZStatusCacheEntry;

typedef struct _PTZStatusCacheGroup {
  gint32 group;                  /* a PTZSCGroup */
  gchar *name;                   /* the group's name in the cache */
  gint32 size;                   /* the group's size in the cache, bytes */
  guint32 index;                 /* the number after "IS" in the name */
  gint32 count;                  /* entries added */
  gint32 capacity;               /* most entries that may be added; a fetch
                                    replaces it with the number of values read */
  PTZStatusCacheEntry **entries; /* the entries, NULL after the last */
  /*< private >*/
  guint32 slots;                 /* entry pointers allocated, the NULL one included */
} PTZStatusCacheGroup;

/**
 * ptz_status_cache_setup_group: (skip)
 * @group: the group type
 * @index: the number after "IS" in the group's name
 * @capacity: the most entries that may be added
 *
 * Language bindings read with ptz_status_cache_fetch_values().
 *
 * Returns: a new description with no entries (free it with
 *   ptz_status_cache_free_group()), or %NULL for an unknown group
 */
PTZ_API PTZStatusCacheGroup *ptz_status_cache_setup_group (PTZSCGroup group,
                                                           guint32 index,
                                                           guint32 capacity);
/**
 * ptz_status_cache_add_param: (skip)
 * @group: a description
 * @param: a #PTZSCParam
 * @data: the caller's variable, of the value's type and size (see
 *   ptz_status_cache_param_info())
 *
 * Returns: %FALSE when the group has no such value or no room left
 */
PTZ_API gboolean ptz_status_cache_add_param (PTZStatusCacheGroup *group,
                                             guint32 param,
                                             gpointer data);
/**
 * ptz_status_cache_update_group: (skip)
 * @group: a description
 *
 * Writes the variables into the cache, creating the group when needed.
 *
 * Returns: %TRUE when the values were written
 */
PTZ_API gboolean ptz_status_cache_update_group (PTZStatusCacheGroup *group);
/**
 * ptz_status_cache_fetch_group: (skip)
 * @group: a description
 *
 * Reads the cache into the variables.
 *
 * Returns: %TRUE when the values were read
 */
PTZ_API gboolean ptz_status_cache_fetch_group (PTZStatusCacheGroup *group);
/**
 * ptz_status_cache_free_group: (skip)
 * @group: (nullable): a description
 *
 * Frees the description (not the caller's variables).
 */
PTZ_API void ptz_status_cache_free_group (PTZStatusCacheGroup *group);
/* Writes the default values of a Position, Various or Limit group with this
 * index (creating it when needed); FALSE for a Preset or unknown group. */
PTZ_API gboolean ptz_status_cache_create_group (PTZSCGroup group, guint32 index);

/**
 * PTZStatusCacheValueType:
 * @PTZ_STATUS_CACHE_VALUE_INT: a signed 32-bit integer, 4 bytes
 * @PTZ_STATUS_CACHE_VALUE_FLOAT: a single-precision floating-point number
 *   (C `float`), 4 bytes
 * @PTZ_STATUS_CACHE_VALUE_TIMEVAL: a time of 8 bytes: seconds, then
 *   microseconds, as two unsigned 32-bit integers
 * @PTZ_STATUS_CACHE_VALUE_TIMESPEC: a time of 16 bytes: seconds, then
 *   nanoseconds, as two signed 64-bit integers (a `struct timespec` as
 *   clock_gettime() fills it)
 *
 * The status cache's type codes of the values this library publishes: the
 * `type` of a #PTZStatusCacheEntry. The variable an entry points at must
 * have the size that goes with its type.
 */
typedef enum {
  PTZ_STATUS_CACHE_VALUE_INT = 1,
  PTZ_STATUS_CACHE_VALUE_FLOAT = 2,
  PTZ_STATUS_CACHE_VALUE_TIMEVAL = 4,
  PTZ_STATUS_CACHE_VALUE_TIMESPEC = 5
} PTZStatusCacheValueType;

/**
 * ptz_status_cache_param_info:
 * @group: a #PTZSCGroup
 * @param: a #PTZSCParam (58, the overview mode of the Various group, is
 *   accepted although it has no registered value)
 * @key: (out) (optional) (transfer none): the value's key in the group
 * @type: (out) (optional): the value's type
 * @size: (out) (optional): the value's size in bytes
 *
 * Tells whether groups of type @group hold the parameter @param and, when
 * they do, under which key, of which type and size: what
 * ptz_status_cache_add_param() expects the caller's variable to be. The
 * answer comes from the library's own table. Any thread may call it.
 *
 * Returns: %TRUE when @group holds @param; otherwise %FALSE, the outputs
 *   untouched and nothing logged
 */
PTZ_API gboolean ptz_status_cache_param_info (PTZSCGroup group, guint32 param, const gchar **key,
                                              PTZStatusCacheValueType *type, gsize *size);

/**
 * ptz_status_cache_key_info:
 * @key: a value's key, such as "PAN_DEG"
 * @group: (out) (optional): the type of the groups that hold the key
 * @param: (out) (optional): the #PTZSCParam published under the key
 * @type: (out) (optional): the value's type
 * @size: (out) (optional): the value's size in bytes
 *
 * Looks a status-cache key of this library up (keys are unique across the
 * group types). Any thread may call it.
 *
 * Returns: %TRUE when @key is one of the library's keys; otherwise %FALSE,
 *   the outputs untouched and nothing logged
 */
PTZ_API gboolean ptz_status_cache_key_info (const gchar *key, PTZSCGroup *group, guint32 *param,
                                            PTZStatusCacheValueType *type, gsize *size);

/**
 * ptz_status_cache_fetch_values:
 * @group: the #PTZSCGroup to read
 * @index: the group's index (the number after "IS" in its name)
 * @params: (array length=n_params): the #PTZSCParam values to read
 * @n_params: the number of @params, at least 1
 *
 * Reads values of the status-cache group @group with @index in one go and
 * returns them by key, for callers that cannot lend the library variables
 * (language bindings): a dictionary of type `a{sv}` mapping each key to
 * its value, an `i` for an integer, a `d` for a floating-point value, a
 * `(uu)` for an 8-byte time value and an `(xx)` for a 16-byte one (see
 * #PTZStatusCacheValueType). Any thread may call it.
 *
 * Returns: (transfer full) (nullable): the values, or %NULL when groups of
 *   type @group do not hold one of @params or the group cannot be read (it
 *   does not exist yet, or lacks one of the keys); each failure is logged
 */
PTZ_API GVariant *ptz_status_cache_fetch_values (PTZSCGroup group, guint32 index, const guint32 *params,
                                                 gsize n_params);

/* g_autoptr() support: the cleanup is ptz_status_cache_free_group(). */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZStatusCacheGroup, ptz_status_cache_free_group)

G_END_DECLS

#endif /* PTZ_STATUS_CACHE_H */
