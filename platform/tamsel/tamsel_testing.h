/* Fault injection and observation for tests of parameter-service users. Not
 * part of the device library's interface: only the bundled stand-in provides
 * it. The state is per process; callable from any thread. */
#ifndef TAMSEL_TESTING_H
#define TAMSEL_TESTING_H

#include <glib.h>

#include "tamsel.h"

G_BEGIN_DECLS

/* Makes the next `count` calls of cli_setCustomParam() report
 * TAMSEL_ERR_REFUSED. With `value_stored` the value reaches the store all the
 * same (the service failed after writing); without it the store is left as
 * it was. A count of 0 removes a pending fault. */
void tamsel_testing_fail_next_writes(guint count, gboolean value_stored);

/* One call of cli_setCustomParam() as the service saw it. */
typedef struct {
  guint32 mode;
  gint32 opt_value;
  gint err;            /* what the call reported */
  gint64 monotonic_us; /* g_get_monotonic_time() when it was made */
} TamselTestingWrite;

/* Calls of cli_setCustomParam() and cli_getCustomParam() in this process. */
guint tamsel_testing_write_count(void);
guint tamsel_testing_read_count(void);

/* The write with number `n` (0 for the first), when it is among the last 64;
 * FALSE otherwise. */
gboolean tamsel_testing_get_write(guint n, TamselTestingWrite *out);

/* The largest number of cli_setCustomParam() calls that were in progress at
 * the same moment in this process. */
guint tamsel_testing_max_concurrent_writes(void);

/* The mode of the last successful cli_sync(), or TAMSEL_DEFAULT_MODE. */
guint32 tamsel_testing_last_sync_mode(void);

G_END_DECLS

#endif /* TAMSEL_TESTING_H */
