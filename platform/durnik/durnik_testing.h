/* Test-only interface of the status cache stand-in: removal of groups, a look
 * at a group's size, injected call failures and deliberately damaged groups.
 * The device's own status cache has none of this. */
#ifndef DURNIK_TESTING_H
#define DURNIK_TESTING_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Removes one group; processes that still use it see it as missing. */
int durnik_testing_remove_group(const char *name);
/* Removes every group under the current name prefix (DURNIK_PREFIX). */
int durnik_testing_remove_all(void);
/* The data size the group was created with, or -1 with errno. */
int64_t durnik_testing_group_size(const char *name);
/* Number of keys in the group's directory, or -1 with errno. */
int durnik_testing_key_count(const char *name);

typedef enum {
  DURNIK_TESTING_CREATE,
  DURNIK_TESTING_SET,
  DURNIK_TESTING_GET
} durnik_testing_call;

/* In this process, the nth next call of that kind (1: the very next) fails
 * with `error` before touching anything. nth 0 cancels. */
void durnik_testing_fail_call(durnik_testing_call call, unsigned nth, int error);

/* Takes the group's lock and begins a write, and keeps both: a child that
 * calls this and exits leaves the lock to be recovered by the next writer,
 * and readers are told to try again (EAGAIN) until then. */
int durnik_testing_lock_and_keep(const char *name);

/* The next sc_create_group of this process ends the process (SIGKILL) once
 * the new object has its size but is not complete yet, as a creator killed
 * half-way would. */
void durnik_testing_die_in_next_create(void);

/* Overwrites part of a group the way a faulty process might. */
typedef enum {
  DURNIK_DAMAGE_MAGIC,        /* header no longer recognised */
  DURNIK_DAMAGE_KEY_COUNT,    /* directory claims far more keys than it holds */
  DURNIK_DAMAGE_DATA_SIZE,    /* header claims more data than the object holds */
  DURNIK_DAMAGE_VALUE_OFFSET, /* every key's value lies outside the group */
  DURNIK_DAMAGE_VALUE_SIZE,   /* every key's size is enormous */
  DURNIK_DAMAGE_KEY_TEXT      /* every key loses its terminating NUL */
} durnik_damage;
int durnik_testing_damage(const char *name, durnik_damage damage);

#ifdef __cplusplus
}
#endif

#endif /* DURNIK_TESTING_H */
