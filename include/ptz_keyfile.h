/* Versioned key files: GLib key files that carry their format version in the
 * group "Header" (keys "VersionMajor" and "VersionMinor"). */
#ifndef PTZ_KEYFILE_H
#define PTZ_KEYFILE_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * ptz_config_init_key_file:
 * @path: the key file's path
 * @major: the major version the caller writes
 * @minor: the minor version the caller writes
 * @compatible: (out) (optional): %TRUE when the file's major version equals
 *   @major and its minor version is at least @minor
 * @error: return location for a #GError
 *
 * Opens the key file at @path, or starts a new one holding only the version
 * header @major.@minor when nothing exists there (nothing is written). An
 * incompatible file is returned too: the caller decides what to do with it.
 * Comments of the file are not kept. Nothing is logged. Any thread may
 * call it.
 *
 * Returns: (transfer full) (nullable): the key file (free it with
 *   g_key_file_free()), or %NULL with @error set when the file cannot be
 *   loaded or lacks a readable version header
 */
PTZ_API GKeyFile *ptz_config_init_key_file (const gchar *path, gint major, gint minor, gboolean *compatible,
                                            GError **error);

/**
 * ptz_config_store_key_file:
 * @path: the file's path
 * @key_file: the key file to write
 * @error: return location for a #GError
 *
 * Writes @key_file durably to @path: the whole new text replaces the file
 * at once, synchronised to storage, so a crash leaves the old file or the
 * new one, never a mix. Missing parent folders are created (mode 0775). A
 * key file without any group deletes the file at @path instead. Comments
 * are not kept. Nothing is logged. Any thread may call it.
 *
 * Returns: %TRUE on success; %FALSE with @error set when the key file
 *   cannot be written
 */
PTZ_API gboolean ptz_config_store_key_file (const gchar *path, GKeyFile *key_file, GError **error);

G_END_DECLS

#endif /* PTZ_KEYFILE_H */
