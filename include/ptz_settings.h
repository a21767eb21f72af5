/* Process-wide settings: finding and loading configuration files into the
 * settings store, and typed queries on it by group and key. */
#ifndef PTZ_SETTINGS_H
#define PTZ_SETTINGS_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/* One entry of a file list (a file path) or of a pattern list (shell
 * patterns). A list is a contiguous array ending at the first entry whose
 * name is NULL. The loaders copy the names; the caller keeps its lists. */
typedef struct _PTZSettingsFile {
  const gchar *name;
  gboolean required;
} PTZSettingsFile;

/* The same with a per-file choice of ISO-8859-1 conversion: values that are
 * not valid UTF-8 are converted to UTF-8 before they are stored. */
typedef struct _PTZSettingsFileExt {
  const gchar *name;
  gboolean required;
  gboolean convert_latin1;
} PTZSettingsFileExt;

/**
 * PTZSettingsIterateFunc:
 * @name: the key's full name, "<group><index>.<key>"; belongs to the
 *   iterator
 * @value: (nullable): its value; belongs to the iterator
 * @user_data: (closure): the data given to ptz_settings_iterate_group()
 *
 * Receives one key of a group.
 *
 * Returns: %FALSE to stop the iteration
 */
typedef gboolean (*PTZSettingsIterateFunc) (const gchar *name,
                                            const gchar *value,
                                            gpointer user_data);

/**
 * ptz_settings_find_config_files:
 * @files: one or more shell patterns, separated by blanks
 * @required: whether a listing that finds nothing is logged
 *
 * Lists the files that the shell pattern(s) expand to.
 *
 * Returns: (transfer full) (array zero-terminated=1) (nullable): the paths
 *   (free with g_strfreev()), or %NULL when nothing could be listed
 */
PTZ_API gchar **ptz_settings_find_config_files (const gchar *files, gboolean required);

/**
 * ptz_settings_load_config_ext: (skip)
 * @files: (nullable): a list of file paths, ended by an entry whose name
 *   is %NULL
 * @patterns: (nullable): a list of shell patterns, ended the same way
 *
 * Loads structured configuration files into the structured half of the
 * settings store, replacing it; values that are not UTF-8 are converted
 * from ISO-8859-1 for the entries that ask for it. Language bindings use
 * ptz_settings_load_config_strv().
 *
 * Returns: %TRUE when every required file was loaded (a failure is logged)
 */
PTZ_API gboolean ptz_settings_load_config_ext (const PTZSettingsFileExt *files,
                                               const PTZSettingsFileExt *patterns);

/**
 * ptz_settings_load_config: (skip)
 * @files: (nullable): a list of file paths, ended by an entry whose name
 *   is %NULL
 * @patterns: (nullable): a list of shell patterns, ended the same way
 *
 * ptz_settings_load_config_ext() with the ISO-8859-1 conversion for every
 * file. Language bindings use ptz_settings_load_config_strv().
 *
 * Returns: %TRUE when every required file was loaded (a failure is logged)
 */
PTZ_API gboolean ptz_settings_load_config (const PTZSettingsFile *files,
                                           const PTZSettingsFile *patterns);

/**
 * ptz_settings_load_config_gkf: (skip)
 * @files: (nullable): a list of file paths, ended by an entry whose name
 *   is %NULL
 * @patterns: (nullable): a list of shell patterns, ended the same way
 *
 * Loads key files, parsed as one document, into the key-file half of the
 * settings store, replacing it. Language bindings use
 * ptz_settings_load_config_gkf_strv().
 *
 * Returns: %TRUE when every required file was loaded and at least one was
 *   read (a failure is logged)
 */
PTZ_API gboolean ptz_settings_load_config_gkf (const PTZSettingsFile *files,
                                               const PTZSettingsFile *patterns);

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
 * Strings and string arrays returned are new copies (g_free / g_strfreev). */
PTZ_API gboolean ptz_settings_has_group (const gchar *group, gint index);
PTZ_API gboolean ptz_settings_has_custom_group (const gchar *group);

/**
 * ptz_settings_get_group:
 * @group: the group's name
 * @index: appended to @group in decimal when 0 or more
 *
 * Returns: (transfer full) (array zero-terminated=1) (nullable): the keys
 *   of the group (free with g_strfreev()), or %NULL when there is no such
 *   group
 */
PTZ_API gchar **ptz_settings_get_group (const gchar *group, gint index);

/**
 * ptz_settings_get_custom_group:
 * @group: the group's full name
 *
 * Returns: (transfer full) (array zero-terminated=1) (nullable): the keys
 *   of the group (free with g_strfreev()), or %NULL when there is no such
 *   group
 */
PTZ_API gchar **ptz_settings_get_custom_group (const gchar *group);

/**
 * ptz_settings_get_boolean:
 * @group: the group's name
 * @index: appended to @group in decimal when 0 or more
 * @key: the key
 * @value: (out): the value; untouched on failure
 *
 * Returns: %TRUE when the key holds a boolean
 */
PTZ_API gboolean ptz_settings_get_boolean (const gchar *group, gint index,
                                           const gchar *key, gboolean *value);

/**
 * ptz_settings_get_custom_boolean:
 * @group: the group's full name
 * @key: the key
 * @value: (out): the value; untouched on failure
 *
 * Returns: %TRUE when the key holds a boolean
 */
PTZ_API gboolean ptz_settings_get_custom_boolean (const gchar *group, const gchar *key,
                                                  gboolean *value);

/**
 * ptz_settings_get_int64:
 * @group: the group's name
 * @index: appended to @group in decimal when 0 or more
 * @key: the key
 * @value: (out): the value; untouched on failure
 *
 * Returns: %TRUE when the key holds a 64-bit integer
 */
PTZ_API gboolean ptz_settings_get_int64 (const gchar *group, gint index,
                                         const gchar *key, gint64 *value);

/**
 * ptz_settings_get_custom_int64:
 * @group: the group's full name
 * @key: the key
 * @value: (out): the value; untouched on failure
 *
 * Returns: %TRUE when the key holds a 64-bit integer
 */
PTZ_API gboolean ptz_settings_get_custom_int64 (const gchar *group, const gchar *key,
                                                gint64 *value);

/**
 * ptz_settings_get_int:
 * @group: the group's name
 * @index: appended to @group in decimal when 0 or more
 * @key: the key
 * @value: (out): the value; untouched on failure
 *
 * Returns: %TRUE when the key holds an integer
 */
PTZ_API gboolean ptz_settings_get_int (const gchar *group, gint index,
                                       const gchar *key, gint *value);

/**
 * ptz_settings_get_custom_int:
 * @group: the group's full name
 * @key: the key
 * @value: (out): the value; untouched on failure
 *
 * Returns: %TRUE when the key holds an integer
 */
PTZ_API gboolean ptz_settings_get_custom_int (const gchar *group, const gchar *key,
                                              gint *value);
/* Path forms: the expanded path is group.key, split at its last dot. */
PTZ_API gboolean ptz_settings_get_int_vp (gint *value, const gchar *path_format, ...)
    G_GNUC_PRINTF (2, 3);
PTZ_API gchar *ptz_settings_get_string (const gchar *group, gint index, const gchar *key);
PTZ_API gchar *ptz_settings_get_custom_string (const gchar *group, const gchar *key);
PTZ_API gchar *ptz_settings_get_vp (const gchar *path_format, ...) G_GNUC_PRINTF (1, 2);

/**
 * ptz_settings_iterate_group: (skip)
 * @group_name: the group's name
 * @index: appended to @group_name in decimal when 0 or more
 * @user_data: data passed to @func
 * @func: (scope call) (closure user_data): called for every key of the
 *   group, in order
 *
 * Note the order of the arguments: user data before the callback, which
 * language bindings cannot follow; they list the keys with
 * ptz_settings_get_group() and read each.
 *
 * Returns: %TRUE when the group exists and every call of @func returned
 *   %TRUE
 */
PTZ_API gboolean ptz_settings_iterate_group (const gchar *group_name, gint index,
                                             gpointer user_data,
                                             PTZSettingsIterateFunc func);

G_END_DECLS

#endif /* PTZ_SETTINGS_H */
