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

/* A new description with room for `capacity` entries, or NULL for an unknown
 * group. Free it with ptz_status_cache_free_group. */
PTZ_API PTZStatusCacheGroup *ptz_status_cache_setup_group (PTZSCGroup group,
                                                           guint32 index,
                                                           guint32 capacity);
/* Adds `param` (a PTZSCParam) with a pointer to the caller's variable of the
 * value's size. FALSE when the group has no such value or no room left. */
PTZ_API gboolean ptz_status_cache_add_param (PTZStatusCacheGroup *group,
                                             guint32 param,
                                             gpointer data);
/* Writes the variables into the cache, creating the group when needed. */
PTZ_API gboolean ptz_status_cache_update_group (PTZStatusCacheGroup *group);
/* Reads the cache into the variables. */
PTZ_API gboolean ptz_status_cache_fetch_group (PTZStatusCacheGroup *group);
/* Frees the description (not the caller's variables); NULL is allowed. */
PTZ_API void ptz_status_cache_free_group (PTZStatusCacheGroup *group);
/* Writes the default values of a Position, Various or Limit group with this
 * index (creating it when needed); FALSE for a Preset or unknown group. */
PTZ_API gboolean ptz_status_cache_create_group (PTZSCGroup group, guint32 index);

G_END_DECLS

#endif /* PTZ_STATUS_CACHE_H */
