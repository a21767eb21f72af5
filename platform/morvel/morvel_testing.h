/* Fault injection for tests of the durable file writer. Not part of the
 * device library's interface: only the bundled stand-in provides it. */
#ifndef MORVEL_TESTING_H
#define MORVEL_TESTING_H

#include <glib.h>

G_BEGIN_DECLS

/* The step of a write at which an injected fault strikes. */
typedef enum {
  MORVEL_TESTING_FAIL_CREATE, /* creating the temporary file */
  MORVEL_TESTING_FAIL_WRITE,  /* writing the data into it (after part of it is written) */
  MORVEL_TESTING_FAIL_SYNC,   /* flushing it to storage */
  MORVEL_TESTING_FAIL_RENAME  /* putting it in place of the old file */
} MorvelTestingStage;

/* Makes the next `count` calls of morvel_set_file_contents_with_sync() fail
 * at `stage` as if the system call had failed with `errno_value`. A count of
 * 0 removes a pending fault. Callable from any thread. */
void morvel_testing_fail_next(MorvelTestingStage stage, gint errno_value, guint count);

G_END_DECLS

#endif /* MORVEL_TESTING_H */
