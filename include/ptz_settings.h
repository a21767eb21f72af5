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

/* Callback of ptz_settings_iterate_group: return FALSE to stop. Both strings
 * belong to the iterator; value may be NULL. */
typedef gboolean (*PTZSettingsIterateFunc) (const gchar *name,
                                            const gchar *value,
                                            gpointer user_data);

/* Lists the files that the shell pattern(s) expand to (NULL-terminated, free
 * with g_strfreev), or NULL when nothing could be listed. */
PTZ_API gchar **ptz_settings_find_config_files (const gchar *files, gboolean required);

/* Loaders. Each replaces only its own half of the settings store. */
PTZ_API gboolean ptz_settings_load_config_ext (const PTZSettingsFileExt *files,
                                               const PTZSettingsFileExt *patterns);
PTZ_API gboolean ptz_settings_load_config (const PTZSettingsFile *files,
                                           const PTZSettingsFile *patterns);
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
PTZ_API gchar **ptz_settings_get_group (const gchar *group, gint index);
PTZ_API gchar **ptz_settings_get_custom_group (const gchar *group);

PTZ_API gboolean ptz_settings_get_boolean (const gchar *group, gint index,
                                           const gchar *key, gboolean *value);
PTZ_API gboolean ptz_settings_get_custom_boolean (const gchar *group, const gchar *key,
                                                  gboolean *value);
PTZ_API gboolean ptz_settings_get_int64 (const gchar *group, gint index,
                                         const gchar *key, gint64 *value);
PTZ_API gboolean ptz_settings_get_custom_int64 (const gchar *group, const gchar *key,
                                                gint64 *value);
PTZ_API gboolean ptz_settings_get_int (const gchar *group, gint index,
                                       const gchar *key, gint *value);
PTZ_API gboolean ptz_settings_get_custom_int (const gchar *group, const gchar *key,
                                              gint *value);
/* Path forms: the expanded path is group.key, split at its last dot. */
PTZ_API gboolean ptz_settings_get_int_vp (gint *value, const gchar *path_format, ...)
    G_GNUC_PRINTF (2, 3);
PTZ_API gchar *ptz_settings_get_string (const gchar *group, gint index, const gchar *key);
PTZ_API gchar *ptz_settings_get_custom_string (const gchar *group, const gchar *key);
PTZ_API gchar *ptz_settings_get_vp (const gchar *path_format, ...) G_GNUC_PRINTF (1, 2);

/* Calls func for every key of the group, in order; TRUE when every callback
 * returned TRUE. Note the order: user data before the callback. */
PTZ_API gboolean ptz_settings_iterate_group (const gchar *group_name, gint index,
                                             gpointer user_data,
                                             PTZSettingsIterateFunc func);

G_END_DECLS

#endif /* PTZ_SETTINGS_H */
