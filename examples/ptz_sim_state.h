/* The driver's state: settings changed at run time (over D-Bus), kept in a
 * versioned key file (version 1.0, group "Settings", one key per setting)
 * so that they survive a restart. Read back at start over the values of the
 * configuration. */
#ifndef PTZ_SIM_STATE_H
#define PTZ_SIM_STATE_H

#include <velmora_common.h>

#include "ptz_sim_settings_bus.h"

G_BEGIN_DECLS

typedef struct _PtzSimState PtzSimState;

/* Opens the state file at `path`; NULL (keeping nothing) when `path` is
 * NULL. A missing file is an empty state; an unreadable or incompatible one
 * is set aside (see ptz_sim_key_file_open). */
PtzSimState *ptz_sim_state_open (const gchar *path);
void ptz_sim_state_free (PtzSimState *state);

/* Sets each of `names` that the state holds, with the type the setting has
 * in `settings`, when `check` accepts it; a value refused (a file edited by
 * hand, or written for other limits) is reported on stderr and the setting
 * keeps its value. Returns the number of settings restored. */
guint ptz_sim_state_restore (PtzSimState *state, PTZDynamicalProperties *settings,
                             const gchar *const *names, PtzSimSettingCheck check, gpointer data);

/* Keeps `value` (int, boolean or string) as the setting `name`: the file is
 * written durably when the value differs from the one kept. TRUE also for a
 * NULL state. */
gboolean ptz_sim_state_save (PtzSimState *state, const gchar *name, const GValue *value,
                             GError **error);

G_END_DECLS

#endif /* PTZ_SIM_STATE_H */
