/* Process-wide settings: finding and loading configuration files into the
 * settings store, and typed queries on it by group and key. The store has
 * two halves, each filled by its loader: the key-file half (searched first)
 * and the structured-configuration half. One lock guards both: any thread
 * may load or query. See the guide "Settings". */
#ifndef PTZ_SETTINGS_H
#define PTZ_SETTINGS_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * PTZSettingsFile:
 * @name: a file path (in a list of files) or shell patterns (in a list of
 *   patterns); %NULL ends the list
 * @required: for a file: failing to open it fails the whole load; for a
 *   pattern: a listing that finds nothing is logged, and every file it
 *   finds inherits the flag
 *
 * One entry of a file list or of a pattern list. A list is a contiguous
 * array ending at the first entry whose @name is %NULL, for instance
 * `PTZSettingsFile files[] = { { "/etc/ptz/driver.conf", TRUE }, { NULL,
 * FALSE } };`. The loaders copy the names; the caller keeps its lists.
 */
typedef struct _PTZSettingsFile
{
  const gchar *name;
  gboolean required;
} PTZSettingsFile;

/**
 * PTZSettingsFileExt:
 * @name: as in #PTZSettingsFile
 * @required: as in #PTZSettingsFile
 * @convert_latin1: values of this file (or of every file the pattern
 *   finds) that are not valid UTF-8 are converted from ISO-8859-1 to UTF-8
 *   before they are stored
 *
 * #PTZSettingsFile with a per-file choice of ISO-8859-1 conversion, for
 * ptz_settings_load_config_ext().
 */
typedef struct _PTZSettingsFileExt
{
  const gchar *name;
  gboolean required;
  gboolean convert_latin1;
} PTZSettingsFileExt;

/**
 * PTZSettingsIterateFunc:
 * @name: the key's full name, "<group><index>.<key>"; belongs to the
 *   iterator
 * @value: (nullable): its value, quotes stripped; belongs to the iterator
 * @user_data: (closure): the data given to ptz_settings_iterate_group()
 *
 * Receives one key of a group, on the thread that iterates. No lock is
 * held: it may call any settings query.
 *
 * Returns: %FALSE to stop the iteration
 */
typedef gboolean (*PTZSettingsIterateFunc) (const gchar *name, const gchar *value, gpointer user_data);

/**
 * ptz_settings_find_config_files:
 * @files: one or more shell patterns, separated by blanks, such as
 *   "/etc/ptz/driver-*.conf"; %NULL is refused with a critical
 * @required: whether a listing that finds nothing is logged
 *
 * Lists the files that the shell pattern(s) expand to, by running
 * `ls -1 <files>` through the shell: @files comes from the program and is
 * trusted; never pass text from elsewhere. A pattern must expand to file
 * paths (a folder followed by a wildcard), not to a folder. Paths of 199
 * characters or more are left out. The listing is all or nothing: when one
 * pattern finds nothing, nothing is listed, and "ptz_settings_find_config_files:
 * Files not found: '<files>'" is logged when @required is %TRUE. A shell
 * that cannot be started logs "...: Error listing files: '<files>'".
 *
 * Any thread may call it; it takes no lock.
 *
 * Returns: (transfer full) (array zero-terminated=1) (nullable): the paths,
 *   possibly none (free with g_strfreev()), or %NULL when nothing could be
 *   listed
 */
PTZ_API gchar **ptz_settings_find_config_files (const gchar *files, gboolean required);

/**
 * ptz_settings_load_config_ext: (skip)
 * @files: (nullable): a list of file paths, ended by an entry whose name
 *   is %NULL
 * @patterns: (nullable): a list of shell patterns, ended the same way
 *
 * Loads structured configuration files (see docs/structured-config.md for
 * their grammar) into the structured half of the settings store, replacing
 * it. The files named in @files come first, in order, then the files each
 * pattern finds (ptz_settings_find_config_files()); a key set in several
 * files keeps the value of the last. A value without text is stored as the
 * empty string; values that are not UTF-8 are converted from ISO-8859-1
 * for the entries that ask for it. Group and key names that a key file
 * cannot hold (empty, with brackets or control characters, a key with "="
 * or blanks around it) are skipped. The key-file half is left as it is.
 *
 * A file that is not required and cannot be opened is skipped silently; a
 * required pattern that finds nothing is logged but does not fail the
 * load. A required file that cannot be opened ("could not open file
 * '<path>': <error>") or a value that cannot be converted ("could not
 * convert file '<path>' from ISO-8859-1: <error>") fails it: the
 * structured half then keeps what was stored before the failure.
 *
 * Two %NULL lists succeed and leave the structured half empty. The load
 * holds the settings lock throughout (queries on other threads wait); any
 * thread may call it. Language bindings use
 * ptz_settings_load_config_strv().
 *
 * Returns: %TRUE when every required file was loaded
 */
PTZ_API gboolean ptz_settings_load_config_ext (const PTZSettingsFileExt *files, const PTZSettingsFileExt *patterns);

/**
 * ptz_settings_load_config: (skip)
 * @files: (nullable): a list of file paths, ended by an entry whose name
 *   is %NULL
 * @patterns: (nullable): a list of shell patterns, ended the same way
 *
 * ptz_settings_load_config_ext() with the ISO-8859-1 conversion for every
 * file. Any thread may call it. Language bindings use
 * ptz_settings_load_config_strv().
 *
 * Returns: %TRUE when every required file was loaded (a failure is logged)
 */
PTZ_API gboolean ptz_settings_load_config (const PTZSettingsFile *files, const PTZSettingsFile *patterns);

/**
 * ptz_settings_load_config_gkf: (skip)
 * @files: (nullable): a list of file paths, ended by an entry whose name
 *   is %NULL
 * @patterns: (nullable): a list of shell patterns, ended the same way
 *
 * Loads GLib key files into the key-file half of the settings store,
 * replacing it. The files (named ones first, then what each pattern finds)
 * are read as raw bytes and parsed as one document, each followed by a
 * newline: a group may continue over several files, and of keys repeated
 * in a group the last counts. Nothing is converted: a value that is not
 * UTF-8 reads as missing. The structured half is left as it is.
 *
 * A file that is not required and cannot be opened is skipped silently.
 * The load fails, with the key-file half absent, when a required file
 * cannot be opened ("could not open file '<path>': <error>") or a file
 * cannot be read ("failed reading file '<path>': <error>"), and when no
 * file was read at all ("ptz_settings_load_config_gkf: no data to read").
 * Text that does not parse fails it too ("could not load settings:
 * <error>"), the half then holding what the parser kept.
 *
 * The load holds the settings lock throughout; any thread may call it.
 * Language bindings use ptz_settings_load_config_gkf_strv().
 *
 * Returns: %TRUE when every required file was loaded and at least one was
 *   read
 */
PTZ_API gboolean ptz_settings_load_config_gkf (const PTZSettingsFile *files, const PTZSettingsFile *patterns);

/**
 * ptz_settings_load_config_strv:
 * @paths: (array zero-terminated=1) (nullable): the paths of structured
 *   configuration files, in load order; %NULL loads nothing
 * @required: whether a file that cannot be opened fails the load (%FALSE:
 *   it is skipped)
 *
 * ptz_settings_load_config() with a plain array of paths (no patterns),
 * for callers that cannot build #PTZSettingsFile lists (language
 * bindings). Replaces the structured half of the settings store; takes the
 * settings lock, so any thread may call it.
 *
 * Returns: %TRUE when every required file was loaded; the reason for a
 *   failure is logged
 */
PTZ_API gboolean ptz_settings_load_config_strv (const gchar *const *paths, gboolean required);

/**
 * ptz_settings_load_config_gkf_strv:
 * @paths: (array zero-terminated=1) (nullable): the paths of key files, in
 *   load order
 * @required: whether a file that cannot be opened fails the load (%FALSE:
 *   it is skipped)
 *
 * ptz_settings_load_config_gkf() with a plain array of paths (no
 * patterns), for callers that cannot build #PTZSettingsFile lists
 * (language bindings). Replaces the key-file half of the settings store;
 * takes the settings lock, so any thread may call it.
 *
 * Returns: %TRUE when every required file was loaded and at least one file
 *   was read; the reason for a failure is logged
 */
PTZ_API gboolean ptz_settings_load_config_gkf_strv (const gchar *const *paths, gboolean required);

/* Queries. Indexed forms name the group `group` followed by `index` in
 * decimal (index >= 0) or `group` itself (index < 0); custom forms take the
 * group's full name. A leading "root." or "ROOT." of a group is ignored.
 * Strings and string arrays returned are new copies (g_free / g_strfreev).
 * Each query takes the settings lock only around its lookup: any thread may
 * query. */

/**
 * ptz_settings_has_group:
 * @group: (nullable): the group's name
 * @index: appended to @group in decimal when 0 or more
 *
 * Tells whether the settings store holds the group @group followed by
 * @index (Channel with 2 names Channel2; with -1, Channel). A leading
 * "root." or "ROOT." of @group is ignored. Any thread may call it.
 *
 * Returns: %TRUE when one of the halves holds the group; %FALSE for %NULL
 */
PTZ_API gboolean ptz_settings_has_group (const gchar *group, gint index);
/**
 * ptz_settings_has_custom_group:
 * @group: (nullable): the group's full name
 *
 * ptz_settings_has_group() without index. Any thread may call it.
 *
 * Returns: %TRUE when one of the halves holds the group; %FALSE for %NULL
 */
PTZ_API gboolean ptz_settings_has_custom_group (const gchar *group);

/**
 * ptz_settings_get_group:
 * @group: (nullable): the group's name
 * @index: appended to @group in decimal when 0 or more
 *
 * Lists the keys of a group, in the order the store holds them, from the
 * half that holds the group (the key-file half when both do). Any thread
 * may call it.
 *
 * Returns: (transfer full) (array zero-terminated=1) (nullable): the keys
 *   of the group (free with g_strfreev()), or %NULL when there is no such
 *   group
 */
PTZ_API gchar **ptz_settings_get_group (const gchar *group, gint index);

/**
 * ptz_settings_get_custom_group:
 * @group: (nullable): the group's full name
 *
 * ptz_settings_get_group() without index. Any thread may call it.
 *
 * Returns: (transfer full) (array zero-terminated=1) (nullable): the keys
 *   of the group (free with g_strfreev()), or %NULL when there is no such
 *   group
 */
PTZ_API gchar **ptz_settings_get_custom_group (const gchar *group);

/**
 * ptz_settings_get_boolean:
 * @group: (nullable): the group's name
 * @index: appended to @group in decimal when 0 or more
 * @key: (nullable): the key
 * @value: (out): the value; untouched on failure
 *
 * Reads a boolean: a value whose first character is T, t, Y or y is
 * %TRUE ("true", "Yes"), any other is %FALSE ("1", "on", "no"). Only the
 * half that holds the group is asked, even when it lacks the key. Any
 * thread may call it.
 *
 * Returns: %TRUE when the key has a value that is not empty
 */
PTZ_API gboolean ptz_settings_get_boolean (const gchar *group, gint index, const gchar *key, gboolean *value);

/**
 * ptz_settings_get_custom_boolean:
 * @group: (nullable): the group's full name
 * @key: (nullable): the key
 * @value: (out): the value; untouched on failure
 *
 * ptz_settings_get_boolean() without index. Any thread may call it.
 *
 * Returns: %TRUE when the key has a value that is not empty
 */
PTZ_API gboolean ptz_settings_get_custom_boolean (const gchar *group, const gchar *key, gboolean *value);

/**
 * ptz_settings_get_int64:
 * @group: (nullable): the group's name
 * @index: appended to @group in decimal when 0 or more
 * @key: (nullable): the key
 * @value: (out): the value; untouched when the key is missing or empty
 *
 * Reads a 64-bit integer with g_ascii_strtoll() in base 0: decimal, 0x for
 * hexadecimal, a leading 0 for octal, leading blanks and a sign allowed.
 * The number ends at the first character that does not belong to it (12abc
 * reads 12), and numbers out of range are clamped. A non-empty value
 * without digits writes 0 to @value and fails. Any thread may call it.
 *
 * Returns: %TRUE when the value begins with a number
 */
PTZ_API gboolean ptz_settings_get_int64 (const gchar *group, gint index, const gchar *key, gint64 *value);

/**
 * ptz_settings_get_custom_int64:
 * @group: (nullable): the group's full name
 * @key: (nullable): the key
 * @value: (out): the value; untouched when the key is missing or empty
 *
 * ptz_settings_get_int64() without index. Any thread may call it.
 *
 * Returns: %TRUE when the value begins with a number
 */
PTZ_API gboolean ptz_settings_get_custom_int64 (const gchar *group, const gchar *key, gint64 *value);

/**
 * ptz_settings_get_int:
 * @group: (nullable): the group's name
 * @index: appended to @group in decimal when 0 or more
 * @key: (nullable): the key
 * @value: (out): the value; untouched on failure
 *
 * ptz_settings_get_int64() for a number that fits 32 bits
 * (-2147483648 to 2147483647); a number out of that range fails like a
 * missing one. Any thread may call it.
 *
 * Returns: %TRUE when the value begins with a number that fits
 */
PTZ_API gboolean ptz_settings_get_int (const gchar *group, gint index, const gchar *key, gint *value);

/**
 * ptz_settings_get_custom_int:
 * @group: (nullable): the group's full name
 * @key: (nullable): the key
 * @value: (out): the value; untouched on failure
 *
 * ptz_settings_get_int() without index. Any thread may call it.
 *
 * Returns: %TRUE when the value begins with a number that fits
 */
PTZ_API gboolean ptz_settings_get_custom_int (const gchar *group, const gchar *key, gint *value);
/**
 * ptz_settings_get_int_vp:
 * @value: (out): the value; untouched on failure
 * @path_format: a printf() format of the path "<group>.<key>", not %NULL
 *   (a fatal assertion)
 * @...: the format's arguments
 *
 * ptz_settings_get_custom_int() with the path that @path_format expands
 * to, split at its last dot: "root.PTZ.Driver%d.Speed" with 1 reads the
 * key Speed of the group PTZ.Driver1. A path without a dot fails. Any
 * thread may call it.
 *
 * Returns: %TRUE when the value begins with a number that fits 32 bits
 */
PTZ_API gboolean ptz_settings_get_int_vp (gint *value, const gchar *path_format, ...) G_GNUC_PRINTF (2, 3);
/**
 * ptz_settings_get_string:
 * @group: (nullable): the group's name
 * @index: appended to @group in decimal when 0 or more
 * @key: (nullable): the key
 *
 * Reads a value as text. A value between matching double or single quotes
 * loses them, and C escapes inside them (`\t`, `\n`, `\"`, octal) are
 * resolved; any other value is returned as it is. Only the half that holds
 * the group is asked. Any thread may call it.
 *
 * Returns: (transfer full) (nullable): the value (free it with g_free()),
 *   or %NULL when the group or the key is missing
 */
PTZ_API gchar *ptz_settings_get_string (const gchar *group, gint index, const gchar *key);
/**
 * ptz_settings_get_custom_string:
 * @group: (nullable): the group's full name
 * @key: (nullable): the key
 *
 * ptz_settings_get_string() without index. Any thread may call it.
 *
 * Returns: (transfer full) (nullable): the value (free it with g_free()),
 *   or %NULL when the group or the key is missing
 */
PTZ_API gchar *ptz_settings_get_custom_string (const gchar *group, const gchar *key);
/**
 * ptz_settings_get_vp:
 * @path_format: a printf() format of the path "<group>.<key>", not %NULL
 *   (a fatal assertion)
 * @...: the format's arguments
 *
 * ptz_settings_get_custom_string() with the path that @path_format expands
 * to, split at its last dot (see ptz_settings_get_int_vp()). A path without
 * a dot gives %NULL; one that ends with a dot asks for the empty key. Any
 * thread may call it.
 *
 * Returns: (transfer full) (nullable): the value (free it with g_free()),
 *   or %NULL
 */
PTZ_API gchar *ptz_settings_get_vp (const gchar *path_format, ...) G_GNUC_PRINTF (1, 2);

/**
 * ptz_settings_iterate_group: (skip)
 * @group_name: the group's name; %NULL is refused with a critical
 * @index: appended to @group_name in decimal when 0 or more
 * @user_data: data passed to @func
 * @func: (scope call) (closure user_data): called for every key of the
 *   group, in order
 *
 * Calls @func with the full name "<group_name><index>.<key>" (formatted
 * from @group_name as given, a "root." prefix included, and @index even
 * when it is negative) and the value of every key of the group, in the
 * order ptz_settings_get_group() lists them. When @func returns %FALSE the
 * walk stops and "ptz_settings_iterate_group: Error iterating parameter
 * group <group_name><index>" is logged. It works on its own copy of the key
 * list and holds no lock while @func runs. Any thread may call it.
 *
 * Note the order of the arguments: user data before the callback, which
 * language bindings cannot follow; they list the keys with
 * ptz_settings_get_group() and read each.
 *
 * Returns: %TRUE when the group exists and every call of @func returned
 *   %TRUE (also for a group without keys)
 */
PTZ_API gboolean ptz_settings_iterate_group (const gchar *group_name, gint index, gpointer user_data,
                                             PTZSettingsIterateFunc func);

G_END_DECLS

#endif /* PTZ_SETTINGS_H */
