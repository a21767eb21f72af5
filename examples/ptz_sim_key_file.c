/* Versioned key files of the simulated driver. */
#include "ptz_sim_key_file.h"

#include <stdio.h>

#include <glib/gstdio.h>
#include <velmora_common.h>

static GKeyFile *
empty_file (gint major, gint minor)
{
  GKeyFile *file = g_key_file_new ();
  g_key_file_set_integer (file, "Header", "VersionMajor", major);
  g_key_file_set_integer (file, "Header", "VersionMinor", minor);
  return file;
}

static void
set_aside (const gchar *path, const gchar *why, const gchar *what)
{
  gchar *aside = g_strconcat (path, ".unusable", NULL);
  if (g_rename (path, aside) == 0)
    fprintf (stderr, "%s: %s: %s; moved to %s, starting without it\n", what, path, why, aside);
  else
    fprintf (stderr, "%s: %s: %s; starting without it\n", what, path, why);
  g_free (aside);
}

GKeyFile *
ptz_sim_key_file_open (const gchar *path, gint major, gint minor, const gchar *what)
{
  GError *error = NULL;
  gboolean compatible = FALSE;
  GKeyFile *file = ptz_config_init_key_file (path, major, minor, &compatible, &error);

  if (file == NULL) {
    set_aside (path, error != NULL ? error->message : "unreadable", what);
    g_clear_error (&error);
    return empty_file (major, minor);
  }
  if (!compatible) {
    set_aside (path, "incompatible format version", what);
    g_key_file_free (file);
    return empty_file (major, minor);
  }
  return file;
}

GKeyFile *
ptz_sim_key_file_copy (GKeyFile *file)
{
  gchar *text = g_key_file_to_data (file, NULL, NULL);
  GKeyFile *copy = g_key_file_new ();
  /* The text of a key file always loads. */
  g_key_file_load_from_data (copy, text, (gsize) -1, G_KEY_FILE_NONE, NULL);
  g_free (text);
  return copy;
}

gboolean
ptz_sim_key_file_replace (const gchar *path, GKeyFile **file, GKeyFile *changed, GError **error)
{
  if (!ptz_config_store_key_file (path, changed, error)) {
    g_key_file_free (changed);
    return FALSE;
  }
  g_key_file_free (*file);
  *file = changed;
  return TRUE;
}
