/* Parameter writes that the caller does not wait for.
 *
 * ptz_tamsel_async_push_set_param() queues a write of `value` to the
 * parameter whose path `path_format` and its arguments give, and returns at
 * once. One worker thread of the process performs the queued writes in the
 * order they were pushed; a failed write is tried again, ten attempts in
 * all, with a pause of 0, 1, 2, ... 9 seconds after the first, second, third
 * ... tenth failure. A path must not contain a colon (such a push is refused).
 * Pushes may come from any thread. */

/**
 * ptz_tamsel_async_push_set_param:
 * @value: (nullable): the value to write
 * @path_format: (nullable): a printf() format of the parameter's path
 * @...: the format's arguments
 *
 * Queues a write of @value to the parameter whose path @path_format and its
 * arguments give, and returns at once. One worker thread of the process,
 * started by the first push and kept until the process ends, performs the
 * queued writes one after another in push order, with
 * ptz_tamsel_set_vp() in mode 12. A failed write is tried again, ten
 * attempts in all, pausing 0, 1, 2, ... 9 seconds after the first, second,
 * ... tenth failure (45 seconds in all), then given up silently; a
 * parameter that keeps failing holds the later writes back meanwhile. The
 * log lines of the writes come from the worker thread.
 *
 * A %NULL argument logs "ptz_tamsel_async_push_set_param: NULL pointer in
 * argument"; a path containing a colon logs "ptz_tamsel_async_push_set_param:
 * parameter path <path> contains a colon"; a worker that cannot be started
 * logs "ptz_tamsel_async_get_thread_pool: <error>". Nothing is queued then.
 *
 * Any thread may push.
 */
#ifndef PTZ_TAMSEL_ASYNC_H
#define PTZ_TAMSEL_ASYNC_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

PTZ_API void ptz_tamsel_async_push_set_param (const gchar *value, const gchar *path_format, ...) G_GNUC_PRINTF (2, 3);

G_END_DECLS

#endif /* PTZ_TAMSEL_ASYNC_H */
