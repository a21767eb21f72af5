// Internals of the settings store shared by the queries and by the other
// configuration readers of this folder. Not installed.
#pragma once

#include <glib.h>

#include "common/ptz_mutex.h"
#include "ptz_settings.h"

// Guards both settings stores: held for a whole load and around each lookup.
// The shell-style store has a lock of its own.
extern velmora::Mutex settings_lock;

// The group name without one leading "root." or "ROOT." (the result points
// into the argument; NULL stays NULL).
const gchar *settings_normalize_group(const gchar *group);

// The store holding a group of exactly this name: the key-file store first,
// then the parsed store, else NULL.
GKeyFile *settings_lookup_group(const gchar *group) VELMORA_REQUIRES(settings_lock);

// The value of `key` in group `group` (followed by `index` in decimal when
// index >= 0), quotes stripped; NULL when missing or unreadable.
gchar *settings_fetch_value(const gchar *group, gint index, const gchar *key);
gchar *settings_fetch_custom_value(const gchar *group, const gchar *key);

// Takes ownership of `value` and returns the string to hand out: a value
// enclosed in matching double or single quotes loses them, and C-style
// escapes inside are resolved. NULL stays NULL.
gchar *settings_unquote(gchar *value);

// TRUE when the text starts with T, t, Y or y; FALSE otherwise (also for
// NULL or an empty text).
gboolean settings_parse_boolean(const gchar *text);

// Outcome of reading one configuration file as raw bytes.
enum class SettingsRead {
  ok,       // *text holds the whole file (g_free), *length its size
  skipped,  // an optional file that cannot be opened: nothing logged
  failed,   // logged ("could not open file '%s': %s" or "failed reading file '%s': %s")
};

// Opens `path` for reading as a GIOChannel without encoding, so no character
// set conversion takes place, and reads it whole.
SettingsRead settings_read_file(const gchar *path, gboolean required, gchar **text,
                                gsize *length);
