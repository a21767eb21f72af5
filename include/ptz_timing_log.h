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
 * leaves the statistic as it was. Any process and thread may call them;
 * they keep no state of their own, and their reads and writes of a group
 * are not atomic as a whole (two processes stopping one timer at once may
 * both write, the later one winning). */
#ifndef PTZ_TIMING_LOG_H
#define PTZ_TIMING_LOG_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * log_time_reset:
 * @group: (nullable): the timing group's name; %NULL does nothing
 *
 * Creates the timing group (220 bytes) when it does not exist and clears
 * its four values, so that it can be started again.
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_reset (const gchar *group);
/**
 * log_time_start:
 * @group: (nullable): the timing group's name; %NULL does nothing
 *
 * Stores the monotonic clock's time and the calling process as the start,
 * unless the timer has been started since its last reset (or the group
 * does not exist or cannot be read).
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_start (const gchar *group);
/**
 * log_time_stop:
 * @group: (nullable): the timing group's name; %NULL does nothing
 * @other_process: 0: only the process that started the timer may stop it;
 *   any other value: only another process may
 *
 * Stores the monotonic clock's time and the calling process as the stop of
 * a started timer that has not been stopped since its last reset.
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_stop (const gchar *group, gint32 other_process);
/**
 * log_time_start_process_timer:
 * @group: (nullable): the timing group's name; %NULL does nothing
 *
 * log_time_start() with the calling process's processor-time clock.
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_start_process_timer (const gchar *group);
/**
 * log_time_stop_process_timer:
 * @group: (nullable): the timing group's name; %NULL does nothing
 *
 * Stores the processor time of the process that started the timer (or the
 * caller's, when that process cannot be found) and the calling process as
 * the stop of a started processor-time timer not yet stopped. Any process
 * may stop it.
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_stop_process_timer (const gchar *group);

/**
 * log_time_start_driver_req:
 * @driver: the driver's number; its last decimal digit picks the group
 *   ("_d1" for 1, "_d2" for 2, none otherwise)
 *
 * log_time_start() of "ptzdt_driver_req_d1" or "ptzdt_driver_req_d2".
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_start_driver_req (gint32 driver);
/**
 * log_time_stop_driver_req:
 * @driver: the driver's number (see log_time_start_driver_req())
 *
 * log_time_stop() of the driver's request group, by the process that
 * started it.
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_stop_driver_req (gint32 driver);
/**
 * log_time_start_driver_move:
 * @driver: the driver's number (see log_time_start_driver_req())
 *
 * log_time_start() of "ptzdt_driver_move_d1" or "ptzdt_driver_move_d2".
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_start_driver_move (gint32 driver);
/**
 * log_time_stop_driver_move:
 * @driver: the driver's number (see log_time_start_driver_req())
 *
 * log_time_stop() of the driver's move group, by the process that started
 * it.
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_stop_driver_move (gint32 driver);
/**
 * log_time_start_driver_reply:
 * @driver: the driver's number (see log_time_start_driver_req())
 *
 * log_time_start() of "ptzdt_driver_reply_d1" or "ptzdt_driver_reply_d2".
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_start_driver_reply (gint32 driver);
/**
 * log_time_stop_driver_reply:
 * @driver: the driver's number (see log_time_start_driver_req())
 *
 * log_time_stop() of the driver's reply group, by the process that started
 * it.
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_stop_driver_reply (gint32 driver);
/**
 * log_time_start_process_timer_driver:
 * @driver: the driver's number (see log_time_start_driver_req())
 *
 * log_time_start_process_timer() of "ptzdt_driver_process_d1" or
 * "ptzdt_driver_process_d2"; stop it with log_time_stop_process_timer()
 * and the group's name.
 *
 * Any process and thread may call it.
 */
PTZ_API void log_time_start_process_timer_driver (gint32 driver);

/**
 * log_counter_reset:
 * @counter: the counter's number
 * @prefix: (nullable): the counter group's prefix; the group is named
 *   "<prefix><counter>". %NULL does nothing
 *
 * Claims the counter for the calling process and sets it to 0, creating
 * its group (78 bytes) when needed. With more than one driver configured
 * (the setting "NbrOfDrivers" of the group "PTZDriverManager"), a process
 * that finds counter 1 of a prefix existing claims counter 2 instead, when
 * that one is new. When the number of drivers cannot be read,
 * "log_counter_reset: Failed to get NbrOfDrivers" is logged (warning) and
 * one driver is assumed.
 *
 * Any process and thread may call it.
 */
PTZ_API void log_counter_reset (gint32 counter, const gchar *prefix);
/**
 * log_counter_update:
 * @counter: the counter's number
 * @prefix: (nullable): the counter group's prefix; %NULL does nothing
 * @value: the value to store
 *
 * Stores @value in the counter when the calling process owns it (it
 * claimed it last with log_counter_reset()); with more than one driver, an
 * update of counter 1 by the owner of counter 2 goes there. Otherwise
 * nothing is written.
 *
 * Any process and thread may call it.
 */
PTZ_API void log_counter_update (gint32 counter, const gchar *prefix, guint16 value);

G_END_DECLS

#endif /* PTZ_TIMING_LOG_H */
