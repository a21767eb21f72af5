/* Preset persistence with the library's versioned key files. */
#include "ptz_sim_presets.h"

#include <math.h>

#include "ptz_sim_key_file.h"

#define FORMAT_MAJOR 1
#define FORMAT_MINOR 0

struct _PtzSimPresets {
  gchar *path;
  GKeyFile *file;
};

PtzSimPresets *
ptz_sim_presets_open (const gchar *path)
{
  PtzSimPresets *presets = g_new0 (PtzSimPresets, 1);
  presets->path = g_strdup (path);
  presets->file = ptz_sim_key_file_open (path, FORMAT_MAJOR, FORMAT_MINOR, "presets");
  return presets;
}

void
ptz_sim_presets_free (PtzSimPresets *presets)
{
  if (presets == NULL)
    return;
  g_key_file_free (presets->file);
  g_free (presets->path);
  g_free (presets);
}

guint
ptz_sim_presets_count (PtzSimPresets *presets)
{
  gsize count = 0, i;
  gchar **groups = g_key_file_get_groups (presets->file, &count);
  guint presets_found = 0;
  for (i = 0; i < count; i++)
    if (g_str_has_prefix (groups[i], "Preset:"))
      presets_found++;
  g_strfreev (groups);
  return presets_found;
}

gboolean
ptz_sim_presets_store (PtzSimPresets *presets, const gchar *name, double pan, double tilt,
                       double zoom, GError **error)
{
  gchar *group = g_strconcat ("Preset:", name, NULL);
  /* Written into a copy, so a failed write leaves the set as it was. */
  GKeyFile *copy = ptz_sim_key_file_copy (presets->file);
  g_key_file_set_double (copy, group, "Pan", pan);
  g_key_file_set_double (copy, group, "Tilt", tilt);
  g_key_file_set_double (copy, group, "Zoom", zoom);
  g_free (group);
  return ptz_sim_key_file_replace (presets->path, &presets->file, copy, error);
}

static gboolean
read_number (GKeyFile *file, const gchar *group, const gchar *key, double *value)
{
  GError *error = NULL;
  double number = g_key_file_get_double (file, group, key, &error);
  if (error != NULL) {
    g_error_free (error);
    return FALSE;
  }
  if (!isfinite (number))
    return FALSE;
  *value = number;
  return TRUE;
}

gboolean
ptz_sim_presets_lookup (PtzSimPresets *presets, const gchar *name, double *pan, double *tilt,
                        double *zoom)
{
  gchar *group = g_strconcat ("Preset:", name, NULL);
  double p, t, z;
  gboolean ok = read_number (presets->file, group, "Pan", &p) &&
                read_number (presets->file, group, "Tilt", &t) &&
                read_number (presets->file, group, "Zoom", &z);
  g_free (group);
  if (ok) {
    *pan = p;
    *tilt = t;
    *zoom = z;
  }
  return ok;
}
