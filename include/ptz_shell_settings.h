/* Shell-style configuration: files of KEY=VALUE lines (the kind a shell
 * script sources) in a process-wide store of their own, with string and
 * boolean queries whose key is given as a printf-style format. */
#ifndef PTZ_SHELL_SETTINGS_H
#define PTZ_SHELL_SETTINGS_H

#include <glib.h>

#include "ptz_export.h"
#include "ptz_settings.h"

G_BEGIN_DECLS

/**
 * ptz_settings_shell_load_config: (skip)
 * @files: (nullable): a list of file paths, ended by an entry whose name is
 *   %NULL (patterns are not expanded)
 *
 * Replaces the shell store with the contents of the files. Files that are
 * not valid UTF-8 are converted from ISO-8859-1. A file that is not
 * KEY=VALUE text fails the load.
 *
 * Returns: %TRUE when every required file was loaded (a failure is logged)
 */
PTZ_API gboolean ptz_settings_shell_load_config (const PTZSettingsFile *files);

/* The value of the key that `format` expands to, quotes removed (free with
 * g_free); NULL when there is none. */
PTZ_API gchar *ptz_settings_shell_get_string (const gchar *format, ...) G_GNUC_PRINTF (1, 2);

/* Writes TRUE to `value` when the value starts with T, t, Y or y, FALSE for
 * any other start; fails (FALSE, `value` untouched) when the key is missing
 * or its value empty. */
PTZ_API gboolean ptz_settings_shell_get_boolean (gboolean *value, const gchar *format, ...)
    G_GNUC_PRINTF (2, 3);

G_END_DECLS

#endif /* PTZ_SHELL_SETTINGS_H */
