/* Where the library's diagnostic lines go.
 *
 * Every failure the library reports (a FALSE, NULL or -1 result) is
 * described by one line, and so are refused or retried work and a few
 * notices. By default each line goes to the system log with syslog(3) at
 * its priority: LOG_ERR for failures, LOG_WARNING for refused, partial or
 * retried work, LOG_INFO for listings and notices. A program can take the
 * lines itself with ptz_log_set_handler(), for instance to show them on a
 * terminal, and chain to ptz_log_default_handler() to keep the system log.
 *
 * When the environment variable VELMORA_LOG_STDERR is set to anything but
 * "" or "0" when the library logs its first line, every line is also
 * written to standard error as "velmora[<pid>]: <priority>: <line>", in
 * addition to the handler; useful where no syslog daemon runs (containers,
 * developer machines). */
#ifndef PTZ_LOGGING_H
#define PTZ_LOGGING_H

#include <glib.h>
#include <syslog.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * PTZLogHandler:
 * @priority: the line's syslog(3) priority: `LOG_ERR`, `LOG_WARNING`,
 *   `LOG_INFO` or `LOG_DEBUG`
 * @line: the text of the line, without a trailing newline; valid only
 *   during the call
 * @user_data: (closure): the data given to ptz_log_set_handler()
 *
 * Receives one line the library logs. It runs on the thread that logs:
 * the caller's thread for most functions, the worker thread of the
 * asynchronous parameter writes for theirs, so it must be thread-safe. A
 * library call made inside the handler that logs again sends that line to
 * the default writer, never back into the handler.
 */
typedef void (*PTZLogHandler) (int priority, const gchar *line, gpointer user_data);

/**
 * ptz_log_set_handler:
 * @handler: (nullable) (scope notified) (closure user_data) (destroy destroy):
 *   the function that receives every line from now on, or %NULL to
 *   restore the default writer, ptz_log_default_handler()
 * @user_data: (nullable): data passed to @handler
 * @destroy: (nullable): releases @user_data once @handler is no longer
 *   used
 *
 * Replaces the handler of the library's log lines for the whole process.
 *
 * Any thread may call this at any time, also while other threads log.
 * The replaced handler's @destroy runs once no thread is inside that
 * handler any more: at once, on the calling thread, or when the last call
 * still running returns, on that call's thread; the replaced handler is
 * never called after its @destroy. With @handler %NULL, @destroy (when
 * given) is called with @user_data at once.
 */
PTZ_API void ptz_log_set_handler (PTZLogHandler handler, gpointer user_data, GDestroyNotify destroy);

/**
 * ptz_log_default_handler:
 * @priority: the line's syslog(3) priority
 * @line: the text of the line
 * @user_data: (nullable): ignored
 *
 * The default writer: sends @line to the system log with syslog(3) at
 * @priority (so openlog(3) and setlogmask(3) of the program apply). A
 * handler may call it to keep the lines in the system log. Thread-safe.
 */
PTZ_API void ptz_log_default_handler (int priority, const gchar *line, gpointer user_data);

G_END_DECLS

#endif /* PTZ_LOGGING_H */
