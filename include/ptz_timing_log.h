/* Timing and counter statistics kept in the shared status cache, where any
 * process can read them.
 *
 * A timing group holds "start_time" and "stop_time" (seconds and nanoseconds,
 * 64-bit each) with "start_pid" and "stop_pid" (low 16 bits of the process
 * id). After a reset it is started once and stopped once; a set start time
 * blocks further starts and a set stop time further stops. A counter group,
 * named by a prefix and a number ("%s%d"), holds "counter_value" and
 * "counter_pid", the process that owns it.
 *
 * Driver timers pick the group by the last decimal digit of the driver
 * number: 1 selects the "_d1" group, 2 the "_d2" group, anything else none.
 * These functions return nothing and report nothing: a missing group simply
 * leaves the statistic as it was. */
#ifndef PTZ_TIMING_LOG_H
#define PTZ_TIMING_LOG_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/* Creates the timing group when needed and clears its four values. */
PTZ_API void log_time_reset (const gchar *group);
/* Starts the monotonic timer unless it is running or stopped already. */
PTZ_API void log_time_start (const gchar *group);
/* Stops a running timer. With other_process 0 only the process that started
 * it may stop it; otherwise only another process may. */
PTZ_API void log_time_stop (const gchar *group, gint32 other_process);
/* The same with the processor time of the starting process. */
PTZ_API void log_time_start_process_timer (const gchar *group);
PTZ_API void log_time_stop_process_timer (const gchar *group);

/* Request, move and reply timers of a driver ("ptzdt_driver_req_d1", ...). */
PTZ_API void log_time_start_driver_req (gint32 driver);
PTZ_API void log_time_stop_driver_req (gint32 driver);
PTZ_API void log_time_start_driver_move (gint32 driver);
PTZ_API void log_time_stop_driver_move (gint32 driver);
PTZ_API void log_time_start_driver_reply (gint32 driver);
PTZ_API void log_time_stop_driver_reply (gint32 driver);
/* Starts "ptzdt_driver_process_d1" or "_d2"; stop it with
 * log_time_stop_process_timer and the group name. */
PTZ_API void log_time_start_process_timer_driver (gint32 driver);

/* Claims the counter for the calling process and sets it to 0. With more
 * than one driver configured, a second process claiming counter 1 of a prefix
 * gets counter 2 instead. */
PTZ_API void log_counter_reset (gint32 counter, const gchar *prefix);
/* Stores the value when the calling process owns the counter (or, with more
 * than one driver, counter 2 in place of counter 1). */
PTZ_API void log_counter_update (gint32 counter, const gchar *prefix, guint16 value);

G_END_DECLS

#endif /* PTZ_TIMING_LOG_H */
