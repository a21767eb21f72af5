/* Access to the device's parameter service.
 *
 * Parameters are addressed by dotted paths ("root.PTZ.Driver.D0.Name"),
 * assembled from printf-style formats. Reads return newly allocated UTF-8
 * text (values stored in ISO-8859-1 are converted); writes return the
 * service's error code, 0 on success. A read of a parameter without a value
 * fails silently; a read that the service fails otherwise (its store cannot
 * be read, for one) is also logged: "Could not get parameter %s, err = %d".
 * Everything runs synchronously on the caller's thread, and any thread may
 * call: the functions keep no state. */
#ifndef PTZ_TAMSEL_H
#define PTZ_TAMSEL_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * PTZ_TAMSEL_PATH_MAX:
 *
 * The size of the path buffer of the reads and the indexed writes: a path
 * of at most `PTZ_TAMSEL_PATH_MAX - 1` (127) characters. Longer paths are
 * refused, never cut (a cut path would name another parameter).
 */
#define PTZ_TAMSEL_PATH_MAX 128

/**
 * ptz_tamsel_get_vp:
 * @path_format: a printf() format of the parameter's path, such as
 *   "root.PTZ.Driver.D%u.Name"; not %NULL (a fatal assertion)
 * @...: the format's arguments
 *
 * Reads a parameter of the parameter service. A value stored in ISO-8859-1
 * is converted to UTF-8. A path longer than 127 characters is refused
 * ("Failed to assemble path: <path> from <format>"). A parameter without a
 * value gives %NULL silently; a read the service fails otherwise logs
 * "Could not get parameter <path>, err = N", and a value that cannot be
 * converted "Could not convert value '<value>' from ISO-8859-1: <error>".
 * It blocks until the service answers; any thread may call it.
 *
 * Returns: (transfer full) (nullable): the value as UTF-8 (free it with
 *   g_free()), or %NULL
 */
PTZ_API gchar *ptz_tamsel_get_vp (const gchar *path_format, ...) G_GNUC_PRINTF (1, 2);
/**
 * ptz_tamsel_get:
 * @path_format: a printf() format of the parameter's path
 * @...: the format's arguments
 *
 * The same as ptz_tamsel_get_vp().
 *
 * Any thread may call it.
 *
 * Returns: (transfer full) (nullable): the value as UTF-8 (free it with
 *   g_free()), or %NULL
 */
PTZ_API gchar *ptz_tamsel_get (const gchar *path_format, ...) G_GNUC_PRINTF (1, 2);

/**
 * ptz_tamsel_get_int:
 * @valp: (out): the value, not %NULL (a fatal assertion); untouched on
 *   failure
 * @path_format: a printf() format of the parameter's path
 * @...: the format's arguments
 *
 * Reads a parameter holding a decimal integer (see ptz_tamsel_get_vp()).
 * The value must be an optionally signed number that fits 32 bits, with
 * blanks around it at most ("42", " -7 "); anything else ("42x", "4 2", an
 * empty value) logs "Value <value> of <path> invalid". Any thread may call
 * it.
 *
 * Returns: %TRUE when the parameter holds such a number
 */
PTZ_API gboolean ptz_tamsel_get_int (gint32 *valp, const gchar *path_format, ...) G_GNUC_PRINTF (2, 3);
/**
 * ptz_tamsel_get_bool:
 * @valp: (out): %TRUE for exactly "true" or "yes", %FALSE for any other
 *   value ("True", "1", "on"); not %NULL (a fatal assertion); untouched on
 *   failure
 * @path_format: a printf() format of the parameter's path
 * @...: the format's arguments
 *
 * Reads a boolean parameter (see ptz_tamsel_get_vp()). Any thread may call
 * it.
 *
 * Returns: %TRUE when the parameter has a value
 */
PTZ_API gboolean ptz_tamsel_get_bool (gboolean *valp, const gchar *path_format, ...) G_GNUC_PRINTF (2, 3);

/**
 * ptz_tamsel_set_vp:
 * @opt_value: an option value for the service, passed when greater than 0
 * @mode: the service's write mode (the framework uses 9 to 12; see
 *   ptz_tamsel_set())
 * @val: the value, not %NULL (a fatal assertion)
 * @path_format: a printf() format of the parameter's path (any length),
 *   not %NULL
 * @...: the format's arguments
 *
 * Writes a parameter of the parameter service, on the calling thread. When
 * the service reports a failure, the parameter is read back: if it holds
 * @val the write counts as done; otherwise "Could not set parameter
 * <path> to "<val>", err = N" is logged (warning). Nothing is retried here
 * (ptz_tamsel_async_push_set_param() retries). Any thread may call it.
 *
 * Returns: the service's error code: 0 when the value was written
 */
PTZ_API gint ptz_tamsel_set_vp (gint32 opt_value, guint32 mode, const gchar *val, const gchar *path_format, ...)
    G_GNUC_PRINTF (4, 5);

/**
 * ptz_tamsel_set:
 * @path: the parameter's complete path (not a format), not %NULL
 * @val: the value, not %NULL
 * @switch_a: chooses the mode, with @switch_b and @switch_c
 * @switch_b: see @switch_a
 * @switch_c: see @switch_a
 * @opt_value: an option value for the service, passed when greater than 0
 *
 * ptz_tamsel_set_vp() with the mode chosen by the switches: 10 when all
 * three are set, 12 for @switch_a and @switch_b only, 11 for @switch_a and
 * @switch_c only, 9 for @switch_a alone and whenever @switch_a is not set.
 * What the modes mean belongs to the parameter service. Any thread may
 * call it.
 *
 * Returns: the service's error code: 0 when the value was written
 */
PTZ_API gint ptz_tamsel_set (const gchar *path, const gchar *val, gboolean switch_a, gboolean switch_b,
                             gboolean switch_c, gint32 opt_value);

/**
 * ptz_tamsel_index_set:
 * @grp_name: the group's path, such as "root.PTZ.Driver"; not %NULL (a
 *   fatal assertion, as for the other strings)
 * @par_prefix: the prefix of the indexed part
 * @index: the index
 * @par_suffix: the parameter's name
 * @val: the value
 * @switch_ab: given to ptz_tamsel_set() as both @switch_a and @switch_b
 * @switch_c: given to ptz_tamsel_set()
 * @opt_value: given to ptz_tamsel_set()
 *
 * Writes the parameter "<grp_name>.<par_prefix><index>.<par_suffix>" (the
 * group A.B, prefix P, index 2 and suffix S write A.B.P2.S) with
 * ptz_tamsel_set(): mode 10, 12 or 9. A path of more than 127 characters
 * is not written, silently. Any thread may call it.
 *
 * Returns: %TRUE when the value was written
 */
PTZ_API gboolean ptz_tamsel_index_set (const gchar *grp_name, const gchar *par_prefix, guint32 index,
                                       const gchar *par_suffix, const gchar *val, gboolean switch_ab, gboolean switch_c,
                                       gint32 opt_value);

/**
 * ptz_tamsel_dyn_index_set:
 * @grp_name: the group's name under "root.PTZ", not %NULL (a fatal
 *   assertion, as for the other strings)
 * @index: the index
 * @par_name: the parameter's name
 * @val: the value
 * @switch_ab: given to ptz_tamsel_set() as both @switch_a and @switch_b
 * @switch_c: given to ptz_tamsel_set()
 * @opt_value: given to ptz_tamsel_set()
 *
 * Writes the parameter "root.PTZ.<grp_name>.<first letter of
 * grp_name><index>.<par_name>": the group Driver, index 3 and name Speed
 * write root.PTZ.Driver.D3.Speed (the letter keeps its case). A path of
 * more than 127 characters is not written, silently. Any thread may call
 * it.
 *
 * Returns: %TRUE when the value was written
 */
PTZ_API gboolean ptz_tamsel_dyn_index_set (const gchar *grp_name, guint32 index, const gchar *par_name,
                                           const gchar *val, gboolean switch_ab, gboolean switch_c, gint32 opt_value);

/**
 * ptz_tamsel_sync:
 * @mode: the service's synchronisation mode
 *
 * Asks the parameter service to synchronise, on the calling thread. Any
 * thread may call it.
 *
 * Returns: %TRUE when the service reports no error
 */
PTZ_API gboolean ptz_tamsel_sync (guint32 mode);

G_END_DECLS

#endif /* PTZ_TAMSEL_H */
