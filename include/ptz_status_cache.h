/* Publication of live PTZ values in the device's shared status cache.
 *
 * A group description names one status-cache group ("PTZ_POSITION_IS%u",
 * "PTZ_PRESET_IS%u", "PTZ_VARIOUS_IS%u", "PTZ_LIMIT_IS%u") and lists values of
 * it, each pointing at one of the caller's variables. Updating writes those
 * variables into the cache (creating the group when it is missing), fetching
 * reads the cache back into them. Values are never copied by the description:
 * the variables must stay alive and in place until the group has been
 * written or read. A description is used by one thread at a time. The keys,
 * types and sizes of every value are listed on the reference's page
 * "Status-cache keys", generated from the library's own table. */
#ifndef PTZ_STATUS_CACHE_H
#define PTZ_STATUS_CACHE_H

#include <glib.h>

#include "ptz_enum_types.h"
#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * PTZStatusCacheEntry:
 * @key: the value's key inside the group (one of the library's constant
 *   texts)
 * @size: the size of the value in bytes
 * @data: the caller's variable that holds the value: read from when the
 *   group is written, written to when it is read
 * @type: the value's type, a #PTZStatusCacheValueType
 *
 * One value of a group description, in the form the status cache reads
 * (32 bytes on a 64-bit system, 24 on 32-bit Arm). Time values: type 4 is
 * two 32-bit integers (seconds, then microseconds), type 5 two 64-bit
 * integers (seconds, then nanoseconds) on every system; a struct timespec
 * has that layout only where time_t and long are 64 bits wide.
 * ptz_status_cache_add_param() fills it.
 */
typedef struct _PTZStatusCacheEntry
{
  const gchar *key;
  guint64 size;
  gpointer data;
  gint32 type;
} PTZStatusCacheEntry;

/**
 * PTZStatusCacheGroup:
 * @group: the group type, a #PTZSCGroup
 * @name: the group's name in the cache, such as "PTZ_POSITION_IS0"; owned
 * @size: the group's size in the cache, in bytes
 * @index: the number after "IS" in the name
 * @count: the number of entries added
 * @capacity: the most entries that may be added; a successful fetch
 *   replaces it with the number of values read
 * @entries: the entries added, in order, %NULL after the last; owned
 *
 * A group description: one status-cache group and the values of it that a
 * publisher writes or a reader reads, each pointing at one of the caller's
 * variables. Make it with ptz_status_cache_setup_group(), add values with
 * ptz_status_cache_add_param(), then write them with
 * ptz_status_cache_update_group() or read them with
 * ptz_status_cache_fetch_group() as often as needed; free it with
 * ptz_status_cache_free_group(). The fields are for reading.
 *
 * A description has no lock: use it on one thread at a time. Different
 * descriptions may be used on different threads and in different
 * processes at once; the status cache keeps each group consistent.
 */
typedef struct _PTZStatusCacheGroup
{
  gint32 group;
  gchar *name;
  gint32 size;
  guint32 index;
  gint32 count;
  gint32 capacity;
  PTZStatusCacheEntry **entries;
  /*< private >*/
  guint32 slots; /* entry pointers allocated, the NULL one included */
} PTZStatusCacheGroup;

/**
 * ptz_status_cache_setup_group: (skip)
 * @group: the group type
 * @index: the number after "IS" in the group's name
 * @capacity: the most entries that may be added, at most 2^20
 *
 * Makes a description of the group "PTZ_POSITION_IS<index>",
 * "PTZ_PRESET_IS<index>", "PTZ_VARIOUS_IS<index>" or "PTZ_LIMIT_IS<index>"
 * with room for @capacity values. Nothing is read or written yet. An
 * unknown group logs "Could not setup status cache group. No such group
 * N!", a capacity above 2^20 "Could not setup status cache group N.
 * Capacity C is too large!". Any thread may call it. Language bindings
 * read with ptz_status_cache_fetch_values().
 *
 * Returns: (transfer full) (nullable): a new description with no entries
 *   (free it with ptz_status_cache_free_group()), or %NULL
 */
PTZ_API PTZStatusCacheGroup *ptz_status_cache_setup_group (PTZSCGroup group, guint32 index, guint32 capacity);
/**
 * ptz_status_cache_add_param: (skip)
 * @group: a description
 * @param: a #PTZSCParam
 * @data: the caller's variable, of the value's type and size (see
 *   ptz_status_cache_param_info()): a `gint32`, a `gfloat`, two `guint32`
 *   or two `gint64` (a `struct timespec` only where `time_t` and `long` are
 *   64 bits wide). It must stay alive and in place while the
 *   description is used: the library never copies the value
 *
 * Adds the value @param to the description, pointing at @data. It fails,
 * leaving the description as it was, when @group is %NULL ("Could not add
 * parameter N. No group setup!"), when there is no room left ("Could not
 * add parameter N. No space left in group <name>!"), and when groups of
 * this type do not hold @param ("Could not add parameter to group G. No
 * such parameter N!"). The Preset group holds no values this library
 * publishes: adding to it fails silently.
 *
 * Use the description on one thread at a time.
 *
 * Returns: %TRUE when the value was added
 */
PTZ_API gboolean ptz_status_cache_add_param (PTZStatusCacheGroup *group, guint32 param, gpointer data);
/**
 * ptz_status_cache_update_group: (skip)
 * @group: a description
 *
 * Writes the current values of the variables into the cache, creating the
 * group with the size of its type when it does not exist yet. With the
 * bundled status cache (docs/security.md) a group belongs to the account of
 * the process that created it, or to the group of accounts the status cache
 * is configured with: another account cannot write it, and readers in
 * other processes see the values before or after a write, never a mix.
 *
 * It fails when @group is %NULL ("Could not update status cache. No group
 * setup!"), when the group cannot be created ("Could not create status
 * cache group <name>. <error>!") and when it cannot be written ("Could
 * not set status cache parameter group <name>. <error>!", for instance a
 * group of another account). Use the description on one thread at a time.
 *
 * Returns: %TRUE when the values were written
 */
PTZ_API gboolean ptz_status_cache_update_group (PTZStatusCacheGroup *group);
/**
 * ptz_status_cache_fetch_group: (skip)
 * @group: a description
 *
 * Reads the cache into the variables. Every value added must exist in the
 * group. On success the description's capacity becomes the number of
 * values read. It fails when @group is %NULL ("Could not fetch status
 * cache. No group setup!") and when the group does not exist yet or lacks
 * a value ("Could not get status cache parameter group <name>. <error>!"):
 * the variables and the capacity are then unchanged, so a reader that
 * comes before its publisher can try again. Use the description on one
 * thread at a time.
 *
 * Returns: %TRUE when the values were read
 */
PTZ_API gboolean ptz_status_cache_fetch_group (PTZStatusCacheGroup *group);
/**
 * ptz_status_cache_free_group: (skip)
 * @group: (nullable): a description
 *
 * Frees the description (not the caller's variables, and not the group in
 * the cache, which outlives the process). %NULL does nothing.
 *
 * Use the description on one thread at a time.
 */
PTZ_API void ptz_status_cache_free_group (PTZStatusCacheGroup *group);
/**
 * ptz_status_cache_create_group:
 * @group: the group type
 * @index: the number after "IS" in the group's name
 *
 * Writes the default values of a Position, Various or Limit group with
 * @index, creating it when needed; a driver does it once per index at its
 * start. The defaults: positions, fields of view and times 0, "ZOOM_MAG"
 * 1.0, "ZOOM_KOVIR", "IRIS_KOVIR", "FOCUS_KOVIR" and "BRIGHTNESS_KOVIR" 1,
 * every motion status %PTZ_MOVE_STATUS_INVALID, "UPDATE_RATE" 30,
 * "TIME_VAL" the current time of the monotonic clock; every Various value 0
 * ("OVERVIEW_MODE" is not created); the limits -180 and 180 for pan and
 * tilt, 1 and 19999 for zoom, 1 and 9999 for the others. A failed write is
 * logged (see ptz_status_cache_update_group()) and still returns %TRUE.
 * Any thread may call it.
 *
 * Returns: %TRUE for the Position, Various and Limit groups; %FALSE for the
 *   Preset group (silently) and for an unknown group ("Could not create
 *   status cache group. No such group N!")
 */
PTZ_API gboolean ptz_status_cache_create_group (PTZSCGroup group, guint32 index);

/**
 * PTZStatusCacheValueType:
 * @PTZ_STATUS_CACHE_VALUE_NONE: no value type; never the type of an entry.
 *   Language bindings see it in the type output of
 *   ptz_status_cache_param_info() and ptz_status_cache_key_info() when
 *   they answer %FALSE
 * @PTZ_STATUS_CACHE_VALUE_INT: a signed 32-bit integer, 4 bytes
 * @PTZ_STATUS_CACHE_VALUE_FLOAT: a single-precision floating-point number
 *   (C `float`), 4 bytes
 * @PTZ_STATUS_CACHE_VALUE_TIMEVAL: a time of 8 bytes: seconds, then
 *   microseconds, as two unsigned 32-bit integers
 * @PTZ_STATUS_CACHE_VALUE_TIMESPEC: a time of 16 bytes: seconds, then
 *   nanoseconds, as two signed 64-bit integers on every system (the layout
 *   of a `struct timespec` only where `time_t` and `long` are 64 bits wide)
 *
 * The status cache's type codes of the values this library publishes: the
 * `type` of a #PTZStatusCacheEntry. The variable an entry points at must
 * have the size that goes with its type.
 */
typedef enum {
  PTZ_STATUS_CACHE_VALUE_NONE = 0,
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
