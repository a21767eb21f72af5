/* Durable file writing.
 *
 * morvel_set_file_contents_with_sync() replaces the contents of the file at
 * `path` with `length` bytes of `data` (all of `data` up to its NUL byte when
 * `length` is negative). The new contents reach storage before the call
 * returns; a reader of `path` sees either the complete old contents or the
 * complete new ones. On failure the old file is left as it was, nothing else
 * is left behind, and `error` (G_FILE_ERROR domain) says why. */
#ifndef MORVEL_H
#define MORVEL_H

#include <glib.h>

G_BEGIN_DECLS

gboolean morvel_set_file_contents_with_sync(const gchar *path, const gchar *data, gssize length, GError **error);

G_END_DECLS

#endif /* MORVEL_H */
