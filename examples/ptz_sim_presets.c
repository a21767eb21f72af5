/* Preset persistence with the library's versioned key files. */
#include "ptz_sim_presets.h"

#include <math.h>
#include <stdio.h>

#include <glib/gstdio.h>
#include <velmora_common.h>

#define FORMAT_MAJOR 1
#define FORMAT_MINOR 0

struct _PtzSimPresets {
  gchar *path;
  GKeyFile *file;
};

static GKeyFile *
empty_file (void)
{
  GKeyFile *file = g_key_file_new ();
  g_key_file_set_integer (file, "Header", "VersionMajor", FORMAT_MAJOR);
  g_key_file_set_integer (file, "Header", "VersionMinor", FORMAT_MINOR);
  return file;
}

/* Moves a file this driver cannot use out of the way, so that storing the
 * next preset does not destroy it (it may come from a newer driver). */
static void
set_aside (const gchar *path, const gchar *why)
{
  gchar *aside = g_strconcat (path, ".unusable", NULL);
  if (g_rename (path, aside) == 0)
    fprintf (stderr, "presets: %s: %s; moved to %s, starting without presets\n", path, why, aside);
  else
    fprintf (stderr, "presets: %s: %s; starting without presets\n", path, why);
  g_free (aside);
}

PtzSimPresets *
ptz_sim_presets_open (const gchar *path)
{
  PtzSimPresets *presets = g_new0 (PtzSimPresets, 1);
  GError *error = NULL;
  gboolean compatible = FALSE;

  presets->path = g_strdup (path);
  presets->file = ptz_config_init_key_file (path, FORMAT_MAJOR, FORMAT_MINOR, &compatible, &error);
  if (presets->file == NULL) {
    set_aside (path, error != NULL ? error->message : "unreadable");
    g_clear_error (&error);
    presets->file = empty_file ();
  } else if (!compatible) {
    set_aside (path, "incompatible format version");
    g_key_file_free (presets->file);
    presets->file = empty_file ();
  }
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
ptz_sim_presets_store (PtzSimPresets *presets, const gchar *name, double pan, double tilt, double zoom,
                       GError **error)
{
  gchar *group = g_strconcat ("Preset:", name, NULL);
  /* Written into a copy, so a failed write leaves the set as it was. */
  gchar *text = g_key_file_to_data (presets->file, NULL, NULL);
  GKeyFile *copy = g_key_file_new ();
  gboolean ok = g_key_file_load_from_data (copy, text, (gsize) -1, G_KEY_FILE_NONE, error);

  if (ok) {
    g_key_file_set_double (copy, group, "Pan", pan);
    g_key_file_set_double (copy, group, "Tilt", tilt);
    g_key_file_set_double (copy, group, "Zoom", zoom);
    ok = ptz_config_store_key_file (presets->path, copy, error);
  }
  if (ok) {
    g_key_file_free (presets->file);
    presets->file = copy;
  } else {
    g_key_file_free (copy);
  }
  g_free (text);
  g_free (group);
  return ok;
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
