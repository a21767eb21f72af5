/* Shell-style configuration: files of KEY=VALUE lines (the kind a shell
 * script sources) in a process-wide store of their own, with string and
 * boolean queries whose key is given as a printf-style format. The store
 * has its own lock, independent of the settings store's: any thread may
 * load or query. */
#ifndef PTZ_SHELL_SETTINGS_H
#define PTZ_SHELL_SETTINGS_H

#include <glib.h>

#include "ptz_export.h"
#include "ptz_settings.h"

G_BEGIN_DECLS

/**
 * ptz_settings_shell_load_config: (skip)
 * @files: (nullable): a list of file paths, ended by an entry whose name is
 *   %NULL (patterns are not expanded); %NULL or an empty list leaves the
 *   store empty
 *
 * Replaces the shell store with the contents of the files: lines
 * KEY=VALUE, blank lines and comment lines starting with "#". A value may
 * be quoted with double or single quotes; the quotes are removed when it is
 * read. Keys repeated across files read with the value of the later file.
 * A file that is not valid UTF-8 as a whole is converted from ISO-8859-1.
 *
 * A file that is not required and cannot be opened is skipped silently.
 * The load fails, with the store left empty, when a required file cannot be
 * opened ("could not open file '<path>': <error>"), read ("failed reading
 * file '<path>': <error>") or converted ("could not convert file '<path>'
 * from ISO-8859-1: <error>"). Any other line (a shell statement such as
 * `if`) fails it with "could not load settings: <error>", the store then
 * holding what was parsed before it; a line [NAME] hides the keys after it.
 *
 * The load holds the shell lock throughout; any thread may call it.
 *
 * Returns: %TRUE when every required file was loaded
 */
PTZ_API gboolean ptz_settings_shell_load_config (const PTZSettingsFile *files);

/**
 * ptz_settings_shell_get_string:
 * @format: (nullable): a printf() format of the key, such as "PORT%d_MODE"
 * @...: the format's arguments
 *
 * Reads the value of the key that @format expands to from the shell store,
 * without its quotes (see ptz_settings_get_string()). Any thread may call
 * it.
 *
 * Returns: (transfer full) (nullable): the value (free it with g_free()),
 *   or %NULL when there is none (also before any load, and for a %NULL
 *   @format)
 */
PTZ_API gchar *ptz_settings_shell_get_string (const gchar *format, ...) G_GNUC_PRINTF (1, 2);

/**
 * ptz_settings_shell_get_boolean:
 * @value: (out): %TRUE when the value starts with T, t, Y or y, %FALSE for
 *   any other start; untouched on failure
 * @format: (nullable): a printf() format of the key
 * @...: the format's arguments
 *
 * Reads a boolean from the shell store. Any thread may call it.
 *
 * Returns: %TRUE when the key has a value that is not empty
 */
PTZ_API gboolean ptz_settings_shell_get_boolean (gboolean *value, const gchar *format, ...) G_GNUC_PRINTF (2, 3);

G_END_DECLS

#endif /* PTZ_SHELL_SETTINGS_H */
