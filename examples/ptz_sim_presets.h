/* The driver's presets: named positions kept in a versioned key file
 * (version 1.0), one group "Preset:<name>" with the keys Pan, Tilt and
 * Zoom each. */
#ifndef PTZ_SIM_PRESETS_H
#define PTZ_SIM_PRESETS_H

#include <glib.h>

G_BEGIN_DECLS

typedef struct _PtzSimPresets PtzSimPresets;

/* Loads the presets at `path`. A missing file gives an empty set; an
 * unreadable or incompatible one is renamed to "<path>.unusable", reported
 * on stderr, and the set starts empty. */
PtzSimPresets *ptz_sim_presets_open (const gchar *path);
void ptz_sim_presets_free (PtzSimPresets *presets);
guint ptz_sim_presets_count (PtzSimPresets *presets);
/* Stores a preset durably; FALSE (with the set unchanged) when the file
 * cannot be written. */
gboolean ptz_sim_presets_store (PtzSimPresets *presets, const gchar *name, double pan, double tilt,
                                double zoom, GError **error);
/* FALSE when there is no such preset or its values are unusable. */
gboolean ptz_sim_presets_lookup (PtzSimPresets *presets, const gchar *name, double *pan,
                                 double *tilt, double *zoom);

G_END_DECLS

#endif /* PTZ_SIM_PRESETS_H */
