/* The driver's state file. */
#include "ptz_sim_state.h"

#include <stdio.h>

#include "ptz_sim_key_file.h"

#define FORMAT_MAJOR 1
#define FORMAT_MINOR 0
#define GROUP "Settings"

struct _PtzSimState {
  gchar *path;
  GKeyFile *file;
};

PtzSimState *
ptz_sim_state_open (const gchar *path)
{
  PtzSimState *state;
  if (path == NULL)
    return NULL;
  state = g_new0 (PtzSimState, 1);
  state->path = g_strdup (path);
  state->file = ptz_sim_key_file_open (path, FORMAT_MAJOR, FORMAT_MINOR, "state");
  return state;
}

void
ptz_sim_state_free (PtzSimState *state)
{
  if (state == NULL)
    return;
  g_key_file_free (state->file);
  g_free (state->path);
  g_free (state);
}

/* The kept value of `name` as a new heap GValue of `type`, or NULL when
 * none is kept or it is not of that type. */
static GValue *
kept_value (GKeyFile *file, const gchar *name, GType type)
{
  GError *error = NULL;
  GValue *value = g_new0 (GValue, 1);
  g_value_init (value, type);
  if (type == G_TYPE_INT)
    g_value_set_int (value, g_key_file_get_integer (file, GROUP, name, &error));
  else if (type == G_TYPE_BOOLEAN)
    g_value_set_boolean (value, g_key_file_get_boolean (file, GROUP, name, &error));
  else if (type == G_TYPE_STRING)
    g_value_take_string (value, g_key_file_get_string (file, GROUP, name, &error));
  else
    g_set_error_literal (&error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_INVALID_VALUE,
                         "unsupported type");
  if (error != NULL) {
    g_error_free (error);
    g_value_unset (value);
    g_free (value);
    return NULL;
  }
  return value;
}

static void
free_value (gpointer value)
{
  g_value_unset (value);
  g_free (value);
}

guint
ptz_sim_state_restore (PtzSimState *state, PTZDynamicalProperties *settings,
                       const gchar *const *names, PtzSimSettingCheck check, gpointer data)
{
  GPtrArray *pending_names, *pending_values;
  gboolean progress = TRUE;
  guint restored = 0, i;

  if (state == NULL)
    return 0;
  pending_names = g_ptr_array_new ();
  pending_values = g_ptr_array_new_with_free_func (free_value);
  for (; *names != NULL; names++) {
    const GValue *current = ptz_dynamical_properties_get (settings, *names);
    GValue *value;
    if (current == NULL || !g_key_file_has_key (state->file, GROUP, *names, NULL))
      continue;
    value = kept_value (state->file, *names, G_VALUE_TYPE (current));
    if (value == NULL) {
      fprintf (stderr, "state: %s: %s is not a %s; the configuration's value stays\n", state->path,
               *names, g_type_name (G_VALUE_TYPE (current)));
      continue;
    }
    g_ptr_array_add (pending_names, (gpointer) *names);
    g_ptr_array_add (pending_values, value);
  }
  /* Each value is judged against the settings as they are now; a value that
   * only fits together with another one (a minimum above the configured
   * maximum, with its new maximum) is tried again after the others. */
  while (progress) {
    progress = FALSE;
    for (i = 0; i < pending_names->len;) {
      const gchar *name = g_ptr_array_index (pending_names, i);
      gchar *refusal = check (name, g_ptr_array_index (pending_values, i), data);
      if (refusal != NULL) {
        g_free (refusal);
        i++;
        continue;
      }
      ptz_dynamical_properties_set (settings, name, g_ptr_array_steal_index (pending_values, i));
      g_ptr_array_remove_index (pending_names, i);
      restored++;
      progress = TRUE;
    }
  }
  for (i = 0; i < pending_names->len; i++) {
    const gchar *name = g_ptr_array_index (pending_names, i);
    gchar *refusal = check (name, g_ptr_array_index (pending_values, i), data);
    fprintf (stderr, "state: %s: %s is refused (%s); the configuration's value stays\n",
             state->path, name, refusal);
    g_free (refusal);
  }
  if (restored > 0)
    printf ("state: %u setting%s restored from %s\n", restored, restored == 1 ? "" : "s",
            state->path);
  g_ptr_array_free (pending_names, TRUE);
  g_ptr_array_free (pending_values, TRUE);
  return restored;
}

gboolean
ptz_sim_state_save (PtzSimState *state, const gchar *name, const GValue *value, GError **error)
{
  GKeyFile *copy;
  gchar *before, *after;
  gboolean same;

  if (state == NULL || value == NULL)
    return TRUE;
  copy = ptz_sim_key_file_copy (state->file);
  if (G_VALUE_HOLDS_INT (value))
    g_key_file_set_integer (copy, GROUP, name, g_value_get_int (value));
  else if (G_VALUE_HOLDS_BOOLEAN (value))
    g_key_file_set_boolean (copy, GROUP, name, g_value_get_boolean (value));
  else if (G_VALUE_HOLDS_STRING (value))
    g_key_file_set_string (copy, GROUP, name,
                           g_value_get_string (value) ? g_value_get_string (value) : "");
  /* Restoring at start sets the kept values again: nothing to write. */
  before = g_key_file_to_data (state->file, NULL, NULL);
  after = g_key_file_to_data (copy, NULL, NULL);
  same = g_str_equal (before, after);
  g_free (before);
  g_free (after);
  if (same) {
    g_key_file_free (copy);
    return TRUE;
  }
  return ptz_sim_key_file_replace (state->path, &state->file, copy, error);
}
