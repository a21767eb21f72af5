/* Shared status cache: named groups of named, typed values in shared memory,
 * written by the account that created them (and, when configured, one writer
 * group) and readable by every account.
 *
 * A group has a fixed data size chosen when it is created and its own key
 * directory. Each value is described by an sc_entry (key, size, the caller's
 * buffer, type code); calls take a NULL-terminated array of entry pointers.
 * Every call returns a negative number on failure with the cause in errno.
 * See docs/platform-durnik.md for the flags and the layout. */
#ifndef DURNIK_H
#define DURNIK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One value of a group. */
typedef struct sc_entry {
  const char *key; /* at most SC_KEY_MAX bytes, NUL-terminated */
  uint64_t size;   /* size of the value in bytes */
  void *data;      /* read from by sc_set_group, written to by sc_get_group */
  int32_t type;    /* type code, stored with the key and checked on access */
} sc_entry;

/* Longest key, without its terminating NUL. */
#define SC_KEY_MAX 63
/* Most entries one call may pass. */
#define SC_ENTRIES_MAX 1024
/* Largest data size of a group. */
#define SC_GROUP_SIZE_MAX (16 * 1024 * 1024)

/* Type codes the framework uses (any positive code is accepted). */
#define SC_TYPE_INT 1
#define SC_TYPE_FLOAT 2
#define SC_TYPE_TIMEVAL 4
#define SC_TYPE_TIMESPEC 5

/* sc_create_group flags. */
#define SC_CREATE_EXCLUSIVE 0 /* fail with EEXIST when the group exists */
#define SC_CREATE_OPEN 1      /* an existing group of ours is success, as it is */
/* sc_set_group flags. */
#define SC_SET_EXISTING 1 /* every key must already be in the group */
#define SC_SET_ADD 2      /* keys not yet in the group are added */
/* sc_get_group flags. */
#define SC_GET_ALL 0     /* every key must be in the group */
#define SC_GET_PRESENT 1 /* keys not in the group are skipped */

/* Creates the group `name` with `size` bytes of value storage. Returns 0. */
int sc_create_group(const char *name, int64_t size, int flag);
/* Writes every listed value into the group, all or nothing. Returns the
 * number of values written. */
int sc_set_group(const char *name, sc_entry **entries, int flag);
/* Reads the listed values of the group into the entries' buffers, all or
 * nothing. Returns the number of values read. */
int sc_get_group(const char *name, sc_entry **entries, int flag);

/* Optional: a status-cache library need not offer it, so callers that can do
 * without it should reference it weakly and check it for NULL.
 *
 * Called by sc_list_groups for each group: its name and data size. A non-zero
 * result ends the listing. */
typedef int (*sc_group_func)(const char *name, int64_t size, void *data);
/* Calls `func` once for each complete group, in no particular order; objects
 * that are not (or not yet) complete groups are skipped. Returns the number of
 * groups reported. */
int sc_list_groups(sc_group_func func, void *data);

#ifdef __cplusplus
}
#endif

#endif /* DURNIK_H */
