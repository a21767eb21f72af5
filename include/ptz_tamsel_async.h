/* Parameter writes that the caller does not wait for.
 *
 * ptz_tamsel_async_push_set_param() queues a write of `value` to the
 * parameter whose path `path_format` and its arguments give, and returns at
 * once. One worker thread of the process performs the queued writes in the
 * order they were pushed; a failed write is tried again, ten attempts in
 * all, with a pause of 0, 1, 2, ... 9 seconds after the first, second, third
 * ... tenth failure. A path must not contain a colon (such a push is refused).
 * Pushes may come from any thread. */
#ifndef PTZ_TAMSEL_ASYNC_H
#define PTZ_TAMSEL_ASYNC_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

PTZ_API void ptz_tamsel_async_push_set_param (const gchar *value, const gchar *path_format, ...)
    G_GNUC_PRINTF (2, 3);

G_END_DECLS

#endif /* PTZ_TAMSEL_ASYNC_H */
