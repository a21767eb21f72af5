/* Access to the device's parameter service.
 *
 * Parameters are addressed by dotted paths ("root.PTZ.Driver.D0.Name"),
 * assembled from printf-style formats. Reads return newly allocated UTF-8
 * text (values stored in ISO-8859-1 are converted); writes return the
 * service's error code, 0 on success. A read of a parameter without a value
 * fails silently; a read that the service fails otherwise (its store cannot
 * be read, for one) is also logged: "Could not get parameter %s, err = %d".
 * Everything runs synchronously on the caller's thread. */
#ifndef PTZ_TAMSEL_H
#define PTZ_TAMSEL_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/* Longest path the reads and the indexed writes accept, with its NUL. */
#define PTZ_TAMSEL_PATH_MAX 128

/* The parameter's value as UTF-8 (free with g_free), or NULL. */
PTZ_API gchar *ptz_tamsel_get_vp (const gchar *path_format, ...) G_GNUC_PRINTF (1, 2);
PTZ_API gchar *ptz_tamsel_get (const gchar *path_format, ...) G_GNUC_PRINTF (1, 2);

/* TRUE with *valp set when the parameter holds a decimal integer. */
PTZ_API gboolean ptz_tamsel_get_int (gint32 *valp, const gchar *path_format, ...)
    G_GNUC_PRINTF (2, 3);
/* TRUE when the parameter has a value; *valp is TRUE for "true" or "yes". */
PTZ_API gboolean ptz_tamsel_get_bool (gboolean *valp, const gchar *path_format, ...)
    G_GNUC_PRINTF (2, 3);

/* Writes `val` with the given mode; `opt_value` is passed when greater than 0.
 * Returns the service's error code (0: written). */
PTZ_API gint ptz_tamsel_set_vp (gint32 opt_value, guint32 mode, const gchar *val,
                                const gchar *path_format, ...) G_GNUC_PRINTF (4, 5);

/* Writes `val` to the complete `path` with the mode the switches choose. */
PTZ_API gint ptz_tamsel_set (const gchar *path, const gchar *val, gboolean switch_a,
                             gboolean switch_b, gboolean switch_c, gint32 opt_value);

/* Writes "<grp_name>.<par_prefix><index>.<par_suffix>". */
PTZ_API gboolean ptz_tamsel_index_set (const gchar *grp_name, const gchar *par_prefix,
                                       guint32 index, const gchar *par_suffix, const gchar *val,
                                       gboolean switch_ab, gboolean switch_c, gint32 opt_value);

/* Writes "root.PTZ.<grp_name>.<first letter of grp_name><index>.<par_name>". */
PTZ_API gboolean ptz_tamsel_dyn_index_set (const gchar *grp_name, guint32 index,
                                           const gchar *par_name, const gchar *val,
                                           gboolean switch_ab, gboolean switch_c,
                                           gint32 opt_value);

/* Asks the service to synchronise; TRUE when it reports no error. */
PTZ_API gboolean ptz_tamsel_sync (guint32 mode);

G_END_DECLS

#endif /* PTZ_TAMSEL_H */
