/* The versioned key files the simulated driver keeps (its presets and its
 * state), opened and stored with the library's key-file persistence. */
#ifndef PTZ_SIM_KEY_FILE_H
#define PTZ_SIM_KEY_FILE_H

#include <glib.h>

G_BEGIN_DECLS

/* Opens the key file at `path` of format `major`.`minor`. A missing file
 * gives a new one holding only the version header. An unreadable or
 * incompatible file is renamed to "<path>.unusable" (so that the next store
 * does not destroy what a newer driver wrote), reported on stderr under
 * `what`, and a new one is returned. Never NULL. */
GKeyFile *ptz_sim_key_file_open (const gchar *path, gint major, gint minor, const gchar *what);

/* A copy of `file` to change before storing it. */
GKeyFile *ptz_sim_key_file_copy (GKeyFile *file);

/* Stores `changed` durably at `path`; on success it takes the place of
 * *file (whose old contents are freed), otherwise it is freed and *file
 * stays as it was. `changed` is taken over either way. */
gboolean ptz_sim_key_file_replace (const gchar *path, GKeyFile **file, GKeyFile *changed,
                                   GError **error);

G_END_DECLS

#endif /* PTZ_SIM_KEY_FILE_H */
